#include "json/Decimal.h"

#include <gtest/gtest.h>

#include "JSONTestSupport.h"

namespace tomely {
namespace {

TEST(DecimalTest, ReadsTheLeadingNumberAndNormalises) {
    struct Case {
        const char* text;
        Decimal expected;
    };
    const Case cases[] = {
        {"1e5", Decimal(1, 5, false)},
        {"1.50", Decimal(15, -1, false)},
        {"-0.0", Decimal()},
        {"+2.5E-3", Decimal(25, -4, false)},
        {"7e", Decimal(7, 0, false)},
        {"3.e2", Decimal(3, 2, false)},
        {".5", Decimal(5, -1, false)},
        {"1e99999999999999999999", Decimal(1, Decimal::kMaxExponent, false)},
        // Past 19 significant digits the rest is rounded off, half up.
        {"12345678901234567894", Decimal(1234567890123456789, 1, false)},
        {"12345678901234567895", Decimal(123456789012345679, 2, false)},
        {"99999999999999999999", Decimal(1, 20, false)},
        {"0.000000000000000000000012345678901234567890", Decimal(1234567890123456789, -41, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<Decimal> decimal = Decimal::fromString(c.text);
        ASSERT_TRUE(decimal);
        EXPECT_EQ(*decimal, c.expected);
    }
    for (const char* text : {"", "-", ".", "-.e5", "e5", "x1"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Decimal::fromString(text));
    }
}

TEST(DecimalTest, TextReadsBackAsTheSameNumber) {
    struct Case {
        Decimal decimal;
        const char* text;
    };
    const Case cases[] = {
        {Decimal(), "0"},
        {Decimal(1, 5, false), "100000"},
        {Decimal(15, -1, false), "1.5"},
        {Decimal(5, -3, true), "-0.005"},
        {Decimal(1, 17, false), "100000000000000000"},
        // Written plainly these would read back as a saturated integer.
        {Decimal(1, 18, false), "1E18"},
        {Decimal(1844674407370955162, 1, false), "1844674407370955162E1"},
        {Decimal(5, -400, true), "-5E-400"},
        {Decimal(5, -21, false), "0.000000000000000000005"},
        {Decimal(5, -22, false), "5E-22"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.decimal.toString(), c.text);
        EXPECT_EQ(Decimal::fromString(c.text), c.decimal);
    }
}

}  // namespace
}  // namespace tomely
