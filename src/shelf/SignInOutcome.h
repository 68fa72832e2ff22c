#pragma once

#include "http/ServiceAPI.h"

namespace tomely {

// What the answer to the authentication call means. A call that got no response at all reports
// status 0, which is a failure like any other unexpected status.
enum class SignInOutcome {
    SignedIn,          // 2xx: the session cookies are stored; go on
    WrongCredentials,  // 403: the author may correct the form and try again
    Failed,            // anything else: the wizard cannot continue
};

[[nodiscard]] constexpr SignInOutcome signInOutcome(int responseStatusCode) {
    if (ServiceAPI::isSuccessStatus(responseStatusCode)) {
        return SignInOutcome::SignedIn;
    }
    return responseStatusCode == 403 ? SignInOutcome::WrongCredentials : SignInOutcome::Failed;
}

}  // namespace tomely
