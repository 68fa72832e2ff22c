#include "http/CallFailure.h"

#include "http/HTTPRequest.h"

namespace tomely {

CallFailure CallFailure::of(const HTTPRequest& request) {
    CallFailure failure{request.responseStatusCode(), request.url().absoluteString(), request.error(), std::nullopt};
    const HTTPHeaders headers = request.responseHeaders();
    if (const auto retryAfter = headers.find("Retry-After"); retryAfter != headers.end()) {
        failure.retryAfter = retryAfter->second;
    }
    return failure;
}

}  // namespace tomely
