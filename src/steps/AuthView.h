#pragma once

#include "app/Controls.h"

namespace tomely {

// The controls of the sign-in step's view ("ACAuthViewController"). The view that the bundle
// loads for that name implements this beside View; the step reaches its controls through it.
class AuthView {
public:
    virtual ~AuthView() = default;
    [[nodiscard]] virtual TextControl& emailField() = 0;
    [[nodiscard]] virtual TextControl& emailFieldError() = 0;
    // A secure field: its text is never shown.
    [[nodiscard]] virtual TextControl& passwordField() = 0;
    [[nodiscard]] virtual TextControl& passwordFieldError() = 0;
    [[nodiscard]] virtual TextControl& incorrectCredentialsError() = 0;
    [[nodiscard]] virtual ProgressIndicator& progressBar() = 0;
    // The two links: the forgotten-password page and the registration page.
    [[nodiscard]] virtual Button& forgottenPasswordButton() = 0;
    [[nodiscard]] virtual Button& signupButton() = 0;
};

}  // namespace tomely
