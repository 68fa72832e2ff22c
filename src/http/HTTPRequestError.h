#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

// Every failure of the HTTP client is in this domain. An HTTP error status is not among them: a
// 403 or a 500 is a response, and callers test the status themselves.
inline constexpr std::string_view kNetworkRequestErrorDomain = "HTTPRequestErrorDomain";
// Where a kUnhandledExceptionError keeps the reason of the exception that caused it.
inline constexpr std::string_view kLocalizedFailureReasonKey = "NSLocalizedFailureReason";

// The underlying error of a kConnectionFailureErrorType error: curl's result as the code, which keeps
// curl's own names (CURLE_COULDNT_CONNECT, ...), and curl's message as the description.
inline constexpr std::string_view kCurlErrorDomain = "CurlErrorDomain";
// Where such an error keeps the operating system's error number behind it, when there is one.
inline constexpr std::string_view kOSErrnoKey = "OSErrno";

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
    // The response's head could be framed in two ways (two lengths, a length that is not decimal,
    // a stray carriage return, white space before a colon): refused rather than guessed at.
    kAmbiguousResponseErrorType = 12,
    // A redirect from https to http was not followed: what the request carries would go out in
    // clear text.
    kInsecureRedirectErrorType = 13,
    // A request that carries credentials did not follow a redirect to another scheme, host or port.
    kCredentialsRedirectErrorType = 14,
    // The response's body passed the most the request keeps (HTTPRequest::maxResponseBodyBytes).
    kResponseTooLargeErrorType = 15,
};

// An error of the domain above with `message` as its localized description.
[[nodiscard]] Error httpRequestError(HTTPRequestErrorCode code, std::string message);

// The shared errors with fixed wording.
[[nodiscard]] Error requestTimedOutError();
[[nodiscard]] Error authenticationError();
[[nodiscard]] Error requestCancelledError();
[[nodiscard]] Error unableToCreateRequestError();
[[nodiscard]] Error tooMuchRedirectionError();
[[nodiscard]] Error insecureRedirectError();
[[nodiscard]] Error credentialsRedirectError();
// For a body larger than `limit` bytes.
[[nodiscard]] Error responseTooLargeError(std::uint64_t limit);

}  // namespace tomely
