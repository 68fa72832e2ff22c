#include "platform/HexText.h"

#include <gtest/gtest.h>

#include <array>

namespace tomely {
namespace {

TEST(HexTextTest, DigitsComeInTheCaseAskedFor) {
    const std::array<std::uint8_t, 4> bytes{0x00, 0x0A, 0x9F, 0xFF};
    EXPECT_EQ(hexDigits(bytes, HexCase::Lower), "000a9fff");
    EXPECT_EQ(hexDigits(bytes, HexCase::Upper), "000A9FFF");
    EXPECT_EQ(hexDigits({}, HexCase::Lower), "");
}

TEST(HexTextTest, PercentEncodingKeepsExactlyTheGivenBytes) {
    const ByteSet kept = kASCIIAlphanumerics.with("-~");
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    const std::string encoded = percentEncoded(all, kept);
    std::size_t at = 0;
    for (int byte = 0; byte < 256; ++byte) {
        SCOPED_TRACE(byte);
        const char c = static_cast<char>(byte);
        if (kept.contains(c)) {
            ASSERT_EQ(encoded[at], c);
            at += 1;
        } else {
            std::string expected = "%";
            appendHexDigits(expected, static_cast<std::uint8_t>(byte), HexCase::Upper);
            ASSERT_EQ(encoded.substr(at, 3), expected);
            at += 3;
        }
    }
    EXPECT_EQ(at, encoded.size());
    EXPECT_EQ(percentEncoded(std::string_view("a b/\xC3\xA9"), kept), "a%20b%2F%C3%A9");
}

}  // namespace
}  // namespace tomely
