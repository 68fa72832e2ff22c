#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/ACAppDelegate.h"
#include "shelf/SecretServiceKeychain.h"
#include "ui/QtDesktop.h"
#include "ui/QtUserDefaults.h"
#include "ui/QtViewBundle.h"

namespace tomely::ui {

// Wires the application delegate to Qt: the main loop, the desktop services, the bundle, and the
// stores of the author's credentials; the first step is the sign-in step. Needs a QApplication;
// start() is what the platform does once launching has finished. The Qt main loop stays
// installed for the life of the process: work still running when the application ends may report
// late, and those reports are dropped rather than sent nowhere.
class UploaderApplication {
public:
    // `bookPath`: the book the application was asked to open, proposed by the locate-book step.
    explicit UploaderApplication(std::optional<std::string> bookPath = std::nullopt);
    UploaderApplication(const UploaderApplication&) = delete;
    UploaderApplication& operator=(const UploaderApplication&) = delete;

    void start();
    [[nodiscard]] ACAppDelegate& delegate() { return delegate_; }

private:
    std::shared_ptr<ACStepViewController> makeFirstStep(ACMainViewController& container);

    QtDesktop desktop_;
    QtViewBundle bundle_;
    QtUserDefaults userDefaults_;
    SecretServiceKeychain keychain_;
    std::optional<std::string> bookPath_;
    ACAppDelegate delegate_;
};

}  // namespace tomely::ui
