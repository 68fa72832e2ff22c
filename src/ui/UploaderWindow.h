#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <functional>

#include "app/UploaderWindowView.h"
#include "ui/QtControls.h"
#include "ui/QtStepIndicator.h"
#include "ui/StepArea.h"

namespace tomely::ui {

// The step area's view: the window fits itself to a step's view as soon as it is shown, so that
// no frame of the new step is drawn at the previous step's size.
class StepAreaView final : public QtView {
public:
    StepAreaView(QWidget* host, std::function<void()> shown)
        : QtView(host, Ownership::Borrowed), shown_(std::move(shown)) {}
    void addSubview(View& subview) override;

private:
    std::function<void()> shown_;
};

// The one window: step indicators down the left, the step area to the right, the working
// indicator and the Cancel and Continue buttons along the bottom, all in layouts. The window can
// be resized; its minimum follows the content (fonts, scale, the step shown) but never exceeds
// the screen, where the step area scrolls instead, so Cancel and Continue are always on screen.
// Return presses Continue and Escape presses Cancel, wherever the keyboard is in the window.
class UploaderWindow final : public UploaderWindowView {
public:
    // The step area's size by default, and its minimum where the screen has room for it.
    static constexpr QSize kStepAreaSize{595, 470};
    // The step area lies this far in from the window's right and top edges.
    static constexpr int kMargin = 20;

    UploaderWindow();

    [[nodiscard]] ContainerControls containerControls() override;
    void show() override;
    void makeKeyAndOrderFront() override;

    [[nodiscard]] QWidget* widget() const { return window_.widget(); }

    // Fits the window's minimum and size to the screen it is on: called when it is shown, and when
    // its screen or its fonts change.
    void fitToScreen();

private:
    QtView window_;
    StepArea* stepArea_;
    StepAreaView stepAreaView_;
    QtStepIndicator stepOne_, stepTwo_, stepThree_, stepFour_;
    QPushButton* continueButton_;
    QPushButton* cancelButton_;
    QProgressBar* spinner_;
    QLabel* workingLabel_;
    QtButton continue_, cancel_;
    QtSpinner workingSpinner_;
    QtLabel workingText_;
};

}  // namespace tomely::ui
