#include "support/DosDate.h"

#include <gtest/gtest.h>

#include "common/ScopedEnvironment.h"
#include "common/ZipBuilder.h"

namespace tomely {
namespace {

using test::ScopedEnvironment;
using test::ZipBuilder;

constexpr std::uint32_t kMonthZero = (0U << 25) | (0U << 21) | (1U << 16);  // 1980-00-01
constexpr std::uint32_t kDayZero = (0U << 25) | (2U << 21) | (0U << 16);    // 1980-02-00
constexpr std::uint32_t kHourThirtyOne = (0U << 25) | (1U << 21) | (1U << 16) | (31U << 11);

TEST(DosDateTest, ReadsTheFieldsAndRollsImpossibleValuesOver) {
    ScopedEnvironment environment;
    environment.set("TZ", "UTC0");
    struct Case {
        const char* name;
        std::uint32_t dosDate;
        std::time_t expected;
    };
    const Case cases[] = {
        {"ordinary", ZipBuilder::dosDate(2013, 7, 15, 10, 20, 30), 1373883630},
        {"earliest", ZipBuilder::dosDate(1980, 1, 1, 0, 0, 0), 315532800},
        {"latest", ZipBuilder::dosDate(2107, 12, 31, 23, 59, 58), 4354819198},
        {"month zero is the December before", kMonthZero, 312854400},
        {"day zero is the last day of the month before", kDayZero, 318124800},
        {"hour 31 runs into the next day", kHourThirtyOne, 315644400},
        {"29 February of a common year is 1 March", ZipBuilder::dosDate(2001, 2, 29, 0, 0, 0), 983404800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(timeFromDosDate(c.dosDate), c.expected);
    }
}

TEST(DosDateTest, ReadsTheDateInTheLocalTimeZoneWithItsDaylightSavingTime) {
    ScopedEnvironment environment;
    environment.set("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    // 10:20:30 local time: two hours ahead of UTC in July, one in January.
    EXPECT_EQ(timeFromDosDate(ZipBuilder::dosDate(2013, 7, 15, 10, 20, 30)), 1373876430);
    EXPECT_EQ(timeFromDosDate(ZipBuilder::dosDate(2013, 1, 15, 10, 20, 30)), 1358241630);
}

}  // namespace
}  // namespace tomely
