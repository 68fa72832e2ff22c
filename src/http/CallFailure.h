#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace tomely {

class HTTPRequest;

// A call to the service that got no usable answer: none at all (the transport failed, timed out
// or was cancelled) or one whose status its caller cannot use. What a failure alert, an exit code
// or a retry needs, read from the request once.
struct CallFailure {
    // The answer's status; 0 when none came.
    int statusCode = 0;
    // The URL the call went to last (after any redirect).
    std::string url;
    // Why no usable answer came; none when the service answered with a status the caller refuses.
    std::optional<Error> error;
    // The answer's "Retry-After", when it carried one.
    std::optional<std::string> retryAfter;
    // The answer came whole, with a 2xx status, but what it says cannot be followed: `error` says
    // why. Otherwise an `error` means the request itself failed, whatever status it had read.
    bool answerRefused = false;

    // Reads the outcome of `request`, which has reported. Any thread.
    [[nodiscard]] static CallFailure of(const HTTPRequest& request);
};

}  // namespace tomely
