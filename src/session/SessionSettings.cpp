#include "session/SessionSettings.h"

#include <charconv>
#include <optional>
#include <string>

#include "http/RetryPolicy.h"
#include "upload/ACMultiFileUploader.h"

namespace tomely {
namespace {

// The whole number under `key` when it lies from `least` to `most`; else `fallback`.
int number(const UserDefaults& userDefaults, std::string_view key, int least, int most, int fallback) {
    const std::optional<std::string> text = userDefaults.stringForKey(key);
    if (!text) {
        return fallback;
    }
    int value = 0;
    const auto [end, failure] = std::from_chars(text->data(), text->data() + text->size(), value);
    const bool whole = !text->empty() && failure == std::errc() && end == text->data() + text->size();
    return whole && value >= least && value <= most ? value : fallback;
}

}  // namespace

SessionSettings sessionSettings(const UserDefaults& userDefaults) {
    return {static_cast<std::size_t>(number(userDefaults, kPartsInFlightDefaultsKey, 1, kMostPartsInFlight,
                                            static_cast<int>(ACMultiFileUploader::kDefaultPartsInFlight))),
            number(userDefaults, kRetriesDefaultsKey, 0, kMostRetries, RetryPolicy::kRecommendedRetries)};
}

}  // namespace tomely
