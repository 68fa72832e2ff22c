#pragma once

#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

// Every failure of the HTTP client is in this domain. An HTTP error status is not among them: a
// 403 or a 500 is a response, and callers test the status themselves.
inline constexpr std::string_view kNetworkRequestErrorDomain = "HTTPRequestErrorDomain";
// Where a code-10 error keeps the reason of the exception that caused it.
inline constexpr std::string_view kLocalizedFailureReasonKey = "NSLocalizedFailureReason";

enum HTTPRequestErrorCode : long {
    kConnectionFailureErrorType = 1,
    kRequestTimedOutErrorType = 2,
    kAuthenticationErrorType = 3,
    kRequestCancelledErrorType = 4,
    kUnableToCreateRequestErrorType = 5,
    kInternalErrorWhileBuildingRequestType = 6,
    kInternalErrorWhileApplyingCredentialsType = 7,
    kFileManagementError = 8,
    kTooMuchRedirectionErrorType = 9,
    kUnhandledExceptionError = 10,
    kCompressionError = 11,
};

// An error of the domain above with `message` as its localized description.
[[nodiscard]] Error httpRequestError(HTTPRequestErrorCode code, std::string message);

// The shared errors with fixed wording.
[[nodiscard]] Error requestTimedOutError();
[[nodiscard]] Error authenticationError();
[[nodiscard]] Error requestCancelledError();
[[nodiscard]] Error unableToCreateRequestError();
[[nodiscard]] Error tooMuchRedirectionError();

}  // namespace tomely
