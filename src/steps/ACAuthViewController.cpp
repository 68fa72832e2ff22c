#include "steps/ACAuthViewController.h"

#include "app/ACFailure.h"
#include "app/BlockTimer.h"
#include "http/ServiceAPI.h"
#include "shelf/ShelfClient.h"
#include "steps/ACLocateBookViewController.h"

namespace tomely {
namespace {

constexpr double kAutofillDelaySeconds = 0.1;

}  // namespace

ACAuthViewController::ACAuthViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController,
                                           SignInContext context)
    : ACStepViewController(std::move(view), mainViewController), context_(std::move(context)) {}

void ACAuthViewController::addToMainViewController() {
    ACStepViewController::addToMainViewController();
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
                const std::optional<std::string> password = storedPassword(step.context_.stores.keychain, email);
                step.emailField().setText(email);
                if (password) {
                    step.passwordField().setText(*password);
                }
            });
    }
    mainViewController().desktop().application.activateIgnoringOtherApps();
    context_.window.makeKeyAndOrderFront();
}

void ACAuthViewController::saveCredentials() {
    tomely::saveCredentials(context_.stores, emailField().text(), passwordField().text());
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
    const std::string password = passwordField().text();
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
    // The call holds the step until it has answered.
    auto self = std::static_pointer_cast<ACAuthViewController>(shared_from_this());
    ShelfClient().signIn(email, password, [self](SignInResult result) { self->authenticationAnswered(result); });
}

void ACAuthViewController::authenticationAnswered(const SignInResult& result) {
    if (std::holds_alternative<SignedIn>(result)) {
        // The next step sets the bar, the working info and Continue for itself.
        if (auto next = ACStepViewController::initWithNibName<ACLocateBookViewController>(
                "ACLocateBookViewController", mainViewController().mainBundle(), mainViewController(),
                context_.bookPath)) {
            next->addToMainViewController();
        }
        return;
    }
    const auto* failure = std::get_if<CallFailure>(&result);
    // Without an answer the form is left as it is: the alert ends the wizard.
    if (failure != nullptr && failure->error) {
        ACFailure::httpFailure(mainViewController().desktop(), *failure);
        return;
    }
    progressBar().stopAnimation();
    progressBar().setHidden(true);
    mainViewController().setWorkingInfo(std::nullopt);
    mainViewController().setContinueButtonEnabled(true);
    if (failure == nullptr) {
        incorrectCredentialsError().setHidden(false);
    } else {
        ACFailure::httpFailure(mainViewController().desktop(), *failure);
    }
}

}  // namespace tomely
