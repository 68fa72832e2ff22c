#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/UploaderWindowView.h"
#include "platform/NotDumpable.h"
#include "shelf/StoredCredentials.h"
#include "steps/AuthView.h"
#include "steps/SessionStep.h"

namespace tomely {

// What the sign-in step needs beyond its container. Whoever builds the application owns the
// stores and the window, which outlive every step.
struct SignInContext {
    CredentialStores stores;
    // The window the step brings to the front once it is shown.
    UploaderWindowView& window;
    // A book the application was asked to open; the locate-book step proposes it.
    std::optional<std::string> bookPath;
};

// The first step: the author's e-mail address and password, filled in from the last run,
// checked for emptiness, remembered, and signed in with through the session. Signed in leads to
// the locate-book step; refused credentials (403) show that they are wrong; anything else ends the
// wizard through the HTTP failure alert. The process is not dumpable while the step lives, and the
// copies of the password the step makes are overwritten once used. Main thread only.
class ACAuthViewController : public SessionStep {
public:
    ACAuthViewController(std::unique_ptr<View> view, ACMainViewController& mainViewController, SignInContext context,
                         std::shared_ptr<PublishSession> session);

    // Installs the step, highlights step one, binds Continue and, 0.1 s later, fills in the form.
    void addToMainViewController() override;
    void bindContinueBlock();
    // Brings the window to the front and, 0.1 s later, fills in the remembered credentials,
    // replacing whatever was typed meanwhile.
    void autofillCredentials();
    // Remembers the form's values, whatever the service will say of them.
    void saveCredentials();
    void forgottenPasswordPressed();
    void signupPressed();

    [[nodiscard]] TextControl& emailField() const { return controls().emailField(); }
    [[nodiscard]] TextControl& emailFieldError() const { return controls().emailFieldError(); }
    [[nodiscard]] TextControl& passwordField() const { return controls().passwordField(); }
    [[nodiscard]] TextControl& passwordFieldError() const { return controls().passwordFieldError(); }
    [[nodiscard]] TextControl& incorrectCredentialsError() const { return controls().incorrectCredentialsError(); }
    [[nodiscard]] ProgressIndicator& progressBar() const { return controls().progressBar(); }

private:
    [[nodiscard]] AuthView& controls() const { return viewAs<AuthView>(); }
    void continuePressed();
    // Puts the form back as it was before Continue.
    void restoreForm();

    // SessionObserver.
    void signedIn() override;
    void credentialsRefused() override;
    void failed(const SessionFailure& failure) override;

    SignInContext context_;
    // The form may hold the password for as long as the step lives.
    NotDumpableScope notDumpable_;
};

}  // namespace tomely
