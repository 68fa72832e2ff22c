#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include "app/Controls.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// One step of the list down the window's left side: a marker and the step's title in a row. The
// current step is marked "▸" and set in bold, a done step is marked "✓", a step still to come is
// faded (still readable). Screen readers hear the state as the title's description.
class QtStepIndicator final : public QtControl<StepIndicator> {
public:
    QtStepIndicator(const QString& title, QWidget* parent);
    void setState(StepState state) override;
    [[nodiscard]] StepState state() const override { return state_; }

    [[nodiscard]] QLabel* title() const { return title_; }
    [[nodiscard]] QLabel* marker() const { return marker_; }

private:
    void apply();

    QLabel* marker_;
    QLabel* title_;
    StepState state_ = StepState::Upcoming;
};

}  // namespace tomely::ui
