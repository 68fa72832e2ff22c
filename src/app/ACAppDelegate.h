#pragma once

#include <memory>

#include "app/ACUploaderWindow.h"
#include "app/Desktop.h"
#include "app/ViewBundle.h"

namespace tomely {

// Takes the application from launch to the first step on screen. The application ends on four
// paths, none of which waits for running work: "Yes" in the cancel confirmation, a dismissed
// failure alert, the done step's Close button, and the window closed (answered here).
class ACAppDelegate {
public:
    ACAppDelegate(ViewBundle& bundle, Desktop& desktop, ACUploaderWindow::FirstStep firstStep)
        : bundle_(bundle), desktop_(desktop), firstStep_(std::move(firstStep)) {}

    // Creates the uploader window and shows it, which installs the first step.
    void applicationDidFinishLaunching();
    [[nodiscard]] bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }

    [[nodiscard]] ACUploaderWindow* uploaderWindow() const { return uploaderWindow_.get(); }
    // The application's window, which the first step brings to the front; none before launch.
    [[nodiscard]] UploaderWindowView* window() const { return uploaderWindow_ ? &uploaderWindow_->window() : nullptr; }

private:
    ViewBundle& bundle_;
    Desktop& desktop_;
    ACUploaderWindow::FirstStep firstStep_;
    std::unique_ptr<ACUploaderWindow> uploaderWindow_;
};

}  // namespace tomely
