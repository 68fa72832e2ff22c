#include "steps/ACAuthViewController.h"

#include "app/BlockTimer.h"
#include "http/ServiceAPI.h"
#include "platform/SecretText.h"
#include "steps/WizardOrder.h"

namespace tomely {
namespace {

constexpr double kAutofillDelaySeconds = 0.1;

}  // namespace

ACAuthViewController::ACAuthViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                                           SignInContext context, std::shared_ptr<PublishSession> session)
    : SessionStep(std::move(view), mainViewController, std::move(session)), context_(std::move(context)) {}

void ACAuthViewController::addToMainViewController() {
    SessionStep::addToMainViewController();
    mainViewController().stepOne();
    mainViewController().setWorkingInfo(std::nullopt);
    bindContinueBlock();
    controls().forgottenPasswordButton().setAction([this] { forgottenPasswordPressed(); });
    controls().signupButton().setAction([this] { signupPressed(); });
    // A timer does not keep the step alive: once the step is gone there is no form to fill.
    std::weak_ptr<ACStepViewController> weakSelf = weak_from_this();
    BlockTimer::scheduledTimerWithTimeInterval(kAutofillDelaySeconds, false, [weakSelf](BlockTimer&) {
        if (auto self = weakSelf.lock()) {
            static_cast<ACAuthViewController&>(*self).autofillCredentials();
        }
    });
}

void ACAuthViewController::bindContinueBlock() {
    mainViewController().setContinueBlock([this](Button*) { continuePressed(); });
}

void ACAuthViewController::autofillCredentials() {
    if (std::optional<std::string> email = lastEmail(context_.stores.userDefaults)) {
        std::weak_ptr<ACStepViewController> weakSelf = weak_from_this();
        BlockTimer::scheduledTimerWithTimeInterval(
            kAutofillDelaySeconds, false, [weakSelf, email = std::move(*email)](BlockTimer&) {
                auto self = weakSelf.lock();
                if (!self) {
                    return;
                }
                auto& step = static_cast<ACAuthViewController&>(*self);
                std::optional<std::string> kept = storedPassword(step.context_.stores.keychain, email);
                step.emailField().setText(email);
                if (kept) {
                    const SecretText password(std::move(*kept));
                    step.passwordField().setText(password.text());
                }
            });
    }
    mainViewController().desktop().application.activateIgnoringOtherApps();
    context_.window.makeKeyAndOrderFront();
}

void ACAuthViewController::saveCredentials() {
    const SecretText password(passwordField().text());
    tomely::saveCredentials(context_.stores, emailField().text(), password.text());
}

void ACAuthViewController::forgottenPasswordPressed() {
    mainViewController().desktop().workspace.openURL(ServiceAPI::recoverAccountPageURL().absoluteString());
}

void ACAuthViewController::signupPressed() {
    mainViewController().desktop().workspace.openURL(ServiceAPI::registerAccountPageURL().absoluteString());
}

void ACAuthViewController::continuePressed() {
    emailFieldError().setHidden(true);
    passwordFieldError().setHidden(true);
    incorrectCredentialsError().setHidden(true);
    // Not trimmed: a blank counts as content, and the service judges it.
    const std::string email = emailField().text();
    const SecretText password(passwordField().text());
    if (email.empty()) {
        emailFieldError().setHidden(false);
    }
    if (password.empty()) {
        passwordFieldError().setHidden(false);
    }
    if (email.empty() || password.empty()) {
        return;
    }

    mainViewController().setWorkingInfo("Authenticating");
    mainViewController().setContinueButtonEnabled(false);
    progressBar().setHidden(false);
    progressBar().startAnimation();

    // Remembered before the call goes out, whatever the service will say of them.
    saveCredentials();
    session().signIn(email, password.text());
}

void ACAuthViewController::signedIn() {
    // The next step sets the bar, the working info and Continue for itself.
    WizardOrder::installLocateStep(mainViewController(), sharedSession(), context_.bookPath);
}

void ACAuthViewController::restoreForm() {
    progressBar().stopAnimation();
    progressBar().setHidden(true);
    mainViewController().setWorkingInfo(std::nullopt);
    mainViewController().setContinueButtonEnabled(true);
}

void ACAuthViewController::credentialsRefused() {
    restoreForm();
    incorrectCredentialsError().setHidden(false);
}

void ACAuthViewController::failed(const SessionFailure& failure) {
    // An answer puts the form back before its alert; without one the alert comes at once.
    if (const auto* call = std::get_if<CallFailure>(&failure.cause); call != nullptr && !call->error) {
        restoreForm();
    }
    SessionStep::failed(failure);
}

}  // namespace tomely
