#include "http/ServiceURL.h"

#include <cstdlib>

#include "http/URL.h"

namespace tomely {

std::string serviceBaseURL() {
    // Nothing in the process sets the environment after start-up, so reading it is safe.
    const char* overridden = std::getenv("TOMELY_SERVICE_URL");  // NOLINT(concurrency-mt-unsafe)
    if (overridden != nullptr && *overridden != '\0') {
        return overridden;
    }
    return TOMELY_BUILD_SERVICE_URL;
}

std::string serviceDomainName() {
    const URL base(serviceBaseURL());
    // Not a URL curl understands: show it as configured rather than nothing.
    return base.isValid() ? base.host() : base.absoluteString();
}

}  // namespace tomely
