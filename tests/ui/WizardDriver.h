#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <chrono>
#include <functional>

#include "app/ACStepViewController.h"
#include "ui/QtControls.h"
#include "ui/UploaderApplication.h"

namespace tomely::ui {

// Drives the real uploader window the way a user does: it types into the controls of the step on
// screen (found by their names), presses Return, and waits for the next step on the window's own
// events, never by sleeping.
class WizardDriver {
public:
    explicit WizardDriver(UploaderApplication& application) : application_(application) {}

    // Processes events until `condition` holds; false when `timeout` passes first.
    static bool waitUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = std::chrono::seconds(30));

    [[nodiscard]] QWidget* window() const;
    [[nodiscard]] ACStepViewController* currentStep() const;
    template <class Step>
    bool waitForStep() {
        return waitUntil([this] { return dynamic_cast<Step*>(currentStep()) != nullptr; });
    }

    // The control named `objectName` in the view of the step on screen, or nullptr.
    template <class Widget = QWidget>
    [[nodiscard]] Widget* control(const char* objectName) const {
        ACStepViewController* step = currentStep();
        return step == nullptr ? nullptr : dynamic_cast<QtView&>(step->view()).widget()->findChild<Widget*>(objectName);
    }
    // Makes the window the active one, as a window manager does with a new window; without one
    // (a bare X server) nothing else does, and the window's shortcuts would not work.
    bool activateWindow() const;
    // Replaces the text of the field `objectName` by typing `text` into it.
    void type(const char* objectName, const QString& text) const;
    // Return, wherever the keyboard is in the window.
    void pressReturn() const;
    // The window as it looks now, once everything pending has been painted.
    [[nodiscard]] QImage picture() const;

private:
    UploaderApplication& application_;
};

}  // namespace tomely::ui
