#pragma once

#include <string>

namespace tomely {

// The Tomely service's base URL: fixed at build time (TOMELY_SERVICE_URL), overridden by the
// environment variable of the same name for development and tests.
[[nodiscard]] std::string serviceBaseURL();

// The host of the base URL, the name users see in the failure texts.
[[nodiscard]] std::string serviceDomainName();

}  // namespace tomely
