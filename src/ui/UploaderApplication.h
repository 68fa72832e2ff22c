#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ACAppDelegate.h"
#include "shelf/SecretServiceKeychain.h"
#include "ui/QtDesktop.h"
#include "ui/QtMainLoop.h"
#include "ui/QtUserDefaults.h"
#include "ui/QtViewBundle.h"

namespace tomely::ui {

// Wires the application delegate to Qt: the main loop, the desktop services, the bundle, and the
// stores of the author's credentials; the first step is the sign-in step. Needs a QApplication;
// start() is what the platform does once launching has finished. The Qt main loop stays
// installed for the life of the process, but closes with the application: work still running then
// may report late, and those reports are dropped rather than sent to an application on its way out.
class UploaderApplication {
public:
    // `bookPath`: the book the application was asked to open, proposed by the locate-book step.
    explicit UploaderApplication(std::optional<std::string> bookPath = std::nullopt);
    // Closes the main loop and lets go, while the QApplication still exists, of the reports
    // already on their way: they may hold steps and their widgets.
    ~UploaderApplication();
    UploaderApplication(const UploaderApplication&) = delete;
    UploaderApplication& operator=(const UploaderApplication&) = delete;

    void start();
    [[nodiscard]] ACAppDelegate& delegate() { return delegate_; }

private:
    std::shared_ptr<ACStepViewController> makeFirstStep(ACMainViewController& container);

    std::shared_ptr<QtMainLoop> loop_ = std::make_shared<QtMainLoop>();
    QtDesktop desktop_;
    QtViewBundle bundle_;
    QtUserDefaults userDefaults_;
    SecretServiceKeychain keychain_;
    std::optional<std::string> bookPath_;
    ACAppDelegate delegate_;
};

}  // namespace tomely::ui
