#include "http/HTTPRequestError.h"

namespace tomely {

Error httpRequestError(HTTPRequestErrorCode code, std::string message) {
    return Error::make(std::string(kNetworkRequestErrorDomain), code, std::move(message));
}

Error requestTimedOutError() {
    return httpRequestError(kRequestTimedOutErrorType, "The request timed out");
}

Error authenticationError() {
    return httpRequestError(kAuthenticationErrorType, "Authentication needed");
}

Error requestCancelledError() {
    return httpRequestError(kRequestCancelledErrorType, "The request was cancelled");
}

Error unableToCreateRequestError() {
    return httpRequestError(kUnableToCreateRequestErrorType, "Unable to create request (bad url?)");
}

Error tooMuchRedirectionError() {
    return httpRequestError(kTooMuchRedirectionErrorType, "The request failed because it redirected too many times");
}

Error insecureRedirectError() {
    return httpRequestError(kInsecureRedirectErrorType, "The request was not redirected from https to http");
}

Error credentialsRedirectError() {
    return httpRequestError(kCredentialsRedirectErrorType,
                            "The request carries credentials and was not redirected to another server");
}

Error responseTooLargeError(std::uint64_t limit) {
    return httpRequestError(kResponseTooLargeErrorType, "The response was refused because its body is larger than " +
                                                            std::to_string(limit) + " bytes");
}

}  // namespace tomely
