#include "ui/UploaderApplication.h"

#include <QApplication>

#include "platform/BackgroundWork.h"
#include "platform/SystemLog.h"
#include "steps/WizardOrder.h"

namespace tomely::ui {

UploaderApplication::UploaderApplication(std::optional<std::string> bookPath)
    : bookPath_(std::move(bookPath)), delegate_(bundle_, desktop_.desktop, [this](ACMainViewController& container) {
          return makeFirstStep(container);
      }) {
    MainLoop::install(loop_);
    QApplication::setQuitOnLastWindowClosed(delegate_.applicationShouldTerminateAfterLastWindowClosed());
}

UploaderApplication::~UploaderApplication() {
    loop_->close();
    QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
    // Extraction, splitting and fingerprinting stop between blocks, well within the grace; once
    // main returns, the libraries they use (OpenSSL among them) clean up after themselves.
    constexpr std::chrono::seconds kGrace{10};
    if (!BackgroundWork::stopAll(kGrace)) {
        SystemLog::write("Background work was still running when the application ended");
    }
}

std::shared_ptr<ACStepViewController> UploaderApplication::makeFirstStep(ACMainViewController& container) {
    // Called while the window loads, once the delegate knows it.
    return WizardOrder::makeSignInStep(container,
                                       SignInContext{{userDefaults_, keychain_}, *delegate_.window(), bookPath_});
}

void UploaderApplication::start() {
    delegate_.applicationDidFinishLaunching();
}

}  // namespace tomely::ui
