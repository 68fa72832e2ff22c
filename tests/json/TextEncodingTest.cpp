#include "json/TextEncoding.h"

#include <gtest/gtest.h>

#include "JSONTestSupport.h"
#include "json/UTF8.h"

namespace tomely {
namespace {

using testing::bytes;

TEST(TextEncodingTest, ConvertsToUTF8OrRefuses) {
    struct Case {
        const char* name;
        std::string data;
        TextEncoding encoding;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"UTF-8", "a\xC3\xA9", TextEncoding::UTF8, "a\xC3\xA9"},
        {"UTF-8 overlong", bytes({0xC0, 0x80}), TextEncoding::UTF8, std::nullopt},
        {"UTF-8 surrogate", bytes({0xED, 0xA0, 0x80}), TextEncoding::UTF8, std::nullopt},
        {"UTF-8 past U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80}), TextEncoding::UTF8, std::nullopt},
        {"UTF-8 truncated", bytes({'a', 0xE2, 0x82}), TextEncoding::UTF8, std::nullopt},
        {"UTF-16 with a little-endian mark", bytes({0xFF, 0xFE, 'a', 0, 0xE9, 0}), TextEncoding::UTF16, "a\xC3\xA9"},
        {"UTF-16 with a big-endian mark", bytes({0xFE, 0xFF, 0, 'a'}), TextEncoding::UTF16, "a"},
        {"UTF-16 without a mark", bytes({0, 'a'}), TextEncoding::UTF16, "a"},
        {"UTF-16LE pair", bytes({0x3D, 0xD8, 0x00, 0xDE}), TextEncoding::UTF16LittleEndian, "\xF0\x9F\x98\x80"},
        {"UTF-16 odd length", bytes({0, 'a', 0}), TextEncoding::UTF16BigEndian, std::nullopt},
        {"UTF-16 lone high", bytes({0xD8, 0x3D, 0, 'a'}), TextEncoding::UTF16BigEndian, std::nullopt},
        {"UTF-16 lone high at the end", bytes({0, 'a', 0xD8, 0x3D}), TextEncoding::UTF16BigEndian, std::nullopt},
        {"UTF-16 lone low", bytes({0xDE, 0x00}), TextEncoding::UTF16BigEndian, std::nullopt},
        {"UTF-32 with a mark", bytes({0xFF, 0xFE, 0, 0, 0x00, 0xF6, 0x01, 0}), TextEncoding::UTF32, "\xF0\x9F\x98\x80"},
        {"UTF-32 past U+10FFFF", bytes({0, 0x11, 0, 0}), TextEncoding::UTF32BigEndian, std::nullopt},
        {"UTF-32 surrogate", bytes({0, 0xD8, 0, 0}), TextEncoding::UTF32LittleEndian, std::nullopt},
        {"UTF-32 truncated", bytes({0, 0, 0}), TextEncoding::UTF32BigEndian, std::nullopt},
        {"Latin-1", bytes({'a', 0xE9, 0x80}), TextEncoding::ISOLatin1, "a\xC3\xA9\xC2\x80"},
        {"Windows-1252", bytes({0x80, 0x9F, 0xE9}), TextEncoding::WindowsCP1252, "\xE2\x82\xAC\xC5\xB8\xC3\xA9"},
        {"Windows-1252 undefined byte", bytes({0x81}), TextEncoding::WindowsCP1252, std::nullopt},
        {"ASCII", "plain", TextEncoding::ASCII, "plain"},
        {"ASCII high byte", bytes({0xE9}), TextEncoding::ASCII, std::nullopt},
        {"no encoding", "a", TextEncoding::None, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(convertToUTF8(c.data, c.encoding), c.expected);
    }
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
        {"truncated at the end", bytes({'a', 0xF0, 0x9F, 0x98}), "a" + r},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(utf8::repaired(c.data), c.expected);
        EXPECT_TRUE(utf8::isValid(utf8::repaired(c.data)));
    }
}

}  // namespace
}  // namespace tomely
