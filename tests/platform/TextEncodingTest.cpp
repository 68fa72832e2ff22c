#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "platform/UTF8.h"

namespace tomely {
namespace {

// Bytes from a list of byte values, for inputs that are not text.
std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) {
        out.push_back(static_cast<char>(value));
    }
    return out;
}

TEST(UTF8Test, RepairReplacesEachMaximalIllFormedPart) {
    struct Case {
        const char* name;
        std::string data;
        std::string expected;
    };
    const std::string r(utf8::kReplacementCharacter);
    const Case cases[] = {
        {"well-formed", "a\xC3\xA9\xF0\x9F\x98\x80", "a\xC3\xA9\xF0\x9F\x98\x80"},
        {"stray byte",
         "a\xFF"
         "b",
         "a" + r + "b"},
        {"truncated sequence counts once",
         "a\xE2\x82"
         "b",
         "a" + r + "b"},
        {"overlong lead and its continuation", bytes({0xC0, 0x80}), r + r},
        {"surrogate", bytes({0xED, 0xA0, 0x80}), r + r + r},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8::repaired(c.data), c.expected);
        EXPECT_TRUE(utf8::isValid(utf8::repaired(c.data)));
    }
}

// Form fields are encoded as UTF-8, and the form names its charset.
TEST(TextEncodingTest, UTF8IsEncodedOnlyWhenWellFormed) {
    EXPECT_EQ(ianaCharsetName("utf-8").value_or(""), "UTF-8");
    const struct {
        const char* name;
        std::string text;
        bool valid;
    } cases[] = {
        {"ASCII", "plain", true},
        {"four bytes", "\xF0\x9F\x93\x96", true},
        {"highest code point", "\xF4\x8F\xBF\xBF", true},
        {"overlong slash", "\xC0\xAF", false},
        {"surrogate", "\xED\xA0\x80", false},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false},
        {"cut short", "\xE2\x82", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(encodeText(c.text, "utf-8").value_or(std::vector<std::uint8_t>{}),
                  c.valid ? std::vector<std::uint8_t>(c.text.begin(), c.text.end()) : std::vector<std::uint8_t>{});
    }
}

}  // namespace
}  // namespace tomely
