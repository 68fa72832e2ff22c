#pragma once

#include <cstddef>
#include <string_view>

#include "shelf/UserDefaults.h"

namespace tomely {

// What the author may set in the app's configuration file for how the session calls the service:
// "uploadPartsInFlight" (1 to 16, default 4) and "uploadRetries" (0 to 10, default 4). A value
// that is missing, not a whole number or out of bounds counts as the default.
inline constexpr std::string_view kPartsInFlightDefaultsKey = "uploadPartsInFlight";
inline constexpr std::string_view kRetriesDefaultsKey = "uploadRetries";
// The bounds of both, which the publisher's options share.
inline constexpr int kMostPartsInFlight = 16;
inline constexpr int kMostRetries = 10;

struct SessionSettings {
    std::size_t partsInFlight = 0;
    int retries = 0;
};

[[nodiscard]] SessionSettings sessionSettings(const UserDefaults& userDefaults);

}  // namespace tomely
