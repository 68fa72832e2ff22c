#pragma once

#include <memory>

#include "app/ACAppDelegate.h"
#include "ui/QtDesktop.h"
#include "ui/QtViewBundle.h"

namespace tomely::ui {

// Wires the application delegate to Qt: the main loop, the desktop services and the bundle.
// Needs a QApplication; start() is what the platform does once launching has finished. The Qt
// main loop stays installed for the life of the process: work still running when the application
// ends may report late, and those reports are dropped rather than sent nowhere.
class UploaderApplication {
public:
    UploaderApplication();
    UploaderApplication(const UploaderApplication&) = delete;
    UploaderApplication& operator=(const UploaderApplication&) = delete;

    void start();
    [[nodiscard]] ACAppDelegate& delegate() { return delegate_; }

private:
    QtDesktop desktop_;
    QtViewBundle bundle_;
    ACAppDelegate delegate_;
};

}  // namespace tomely::ui
