#include "session/SessionSettings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/MemoryStores.h"

namespace tomely {
namespace {

TEST(SessionSettingsTest, TheConfigurationFileSetsPartsInFlightAndRetriesWithinTheirBounds) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> values;
        std::size_t partsInFlight;
        int retries;
    };
    const Case cases[] = {
        {"nothing set", {}, 4, 4},
        {"one at a time, no retries", {{"uploadPartsInFlight", "1"}, {"uploadRetries", "0"}}, 1, 0},
        {"the most", {{"uploadPartsInFlight", "16"}, {"uploadRetries", "10"}}, 16, 10},
        {"past the bounds", {{"uploadPartsInFlight", "17"}, {"uploadRetries", "11"}}, 4, 4},
        {"below the bounds", {{"uploadPartsInFlight", "0"}, {"uploadRetries", "-1"}}, 4, 4},
        {"not whole numbers", {{"uploadPartsInFlight", "8 parts"}, {"uploadRetries", ""}}, 4, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::MemoryUserDefaults defaults;
        for (const auto& [key, value] : c.values) {
            defaults.setString(key, value);
        }
        const SessionSettings settings = sessionSettings(defaults);
        EXPECT_EQ(settings.partsInFlight, c.partsInFlight);
        EXPECT_EQ(settings.retries, c.retries);
    }
}

}  // namespace
}  // namespace tomely
