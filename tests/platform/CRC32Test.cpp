#include "platform/CRC32.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace tomely {
namespace {

// The "crc" field of every part upload: the service recomputes it.
TEST(CRC32Test, MatchesTheStandardCheckValues) {
    const struct {
        std::string_view input;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000U},
        {"a", 0xE8B7BE43U},
        {"123456789", 0xCBF43926U},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339U},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(CRC32Value(std::vector<std::uint8_t>(c.input.begin(), c.input.end())), c.crc);
    }
}

}  // namespace
}  // namespace tomely
