#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "app/UploaderWindowView.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// The one window: step indicators down the left, the step area to the right, the working
// indicator and the Continue and Cancel buttons along the bottom.
class UploaderWindow final : public UploaderWindowView {
public:
    static constexpr int kWidth = 800;
    static constexpr int kHeight = 540;

    UploaderWindow();

    [[nodiscard]] ContainerControls containerControls() override;
    void show() override;
    void makeKeyAndOrderFront() override;

    [[nodiscard]] QWidget* widget() const { return window_.widget(); }

private:
    QtView window_;
    QLabel* stepLabels_[4];
    QPushButton* continueButton_;
    QPushButton* cancelButton_;
    QProgressBar* spinner_;
    QLabel* workingLabel_;
    QtLabel stepOne_, stepTwo_, stepThree_, stepFour_;
    QtButton continue_, cancel_;
    QtSpinner workingSpinner_;
    QtLabel workingText_;
};

}  // namespace tomely::ui
