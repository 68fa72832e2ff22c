#include "upload/DeflateData.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "TestFiles.h"
#include "platform/CRC32.h"

namespace tomely {
namespace {

using test::Bytes;

std::string hex(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t byte : bytes) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    return out;
}

struct Inflated {
    Bytes bytes;
    int lastStatus = Z_OK;
};

// Decodes `raw` as raw deflate data (no zlib wrapper), all of it.
Inflated inflateRaw(const Bytes& raw, std::size_t expectedLength) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
    Inflated result;
    result.bytes.resize(expectedLength + 1024);
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.avail_in = static_cast<uInt>(raw.size());
    stream.next_out = result.bytes.data();
    stream.avail_out = static_cast<uInt>(result.bytes.size());
    result.lastStatus = inflate(&stream, Z_SYNC_FLUSH);
    EXPECT_EQ(stream.avail_in, 0U) << "input left undecoded";
    result.bytes.resize(stream.total_out);
    inflateEnd(&stream);
    return result;
}

TEST(DeflateDataTest, GivesThePinnedBytesForAShortInput) {
    // From tests/upload/golden_fingerprints.py (Python's zlib, run once): a fixed-Huffman block,
    // not final, then the full flush's empty stored block.
    const std::optional<Bytes> deflated = deflateData(test::bytesOf("hello hello hello hello\n"));
    ASSERT_TRUE(deflated);
    EXPECT_EQ(hex(*deflated), "ca48cdc9c957c84027b900000000ffff");
}

TEST(DeflateDataTest, OutputIsUnterminatedRawDeflateThatDecodesBackToTheInput) {
    const struct {
        const char* name;
        Bytes input;
    } cases[] = {
        {"one byte", test::bytesOf("a")},
        {"text 1,024,000", test::text(1'024'000)},
        // Stored blocks: the output is larger than the input but still fits the first buffer.
        {"noise 1,024,000", test::noise(1'024'000, 1)},
        // Larger than two buffer steps, so the buffer has to grow twice.
        {"noise 2,500,000", test::noise(2'500'000, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Bytes> deflated = deflateData(c.input);
        ASSERT_TRUE(deflated);
        ASSERT_GE(deflated->size(), 4U);
        EXPECT_EQ(hex(Bytes(deflated->end() - 4, deflated->end())), "0000ffff");
        const Inflated inflated = inflateRaw(*deflated, c.input.size());
        // No final block: the decoder never reaches the end of the stream.
        EXPECT_EQ(inflated.lastStatus, Z_OK);
        EXPECT_TRUE(inflated.bytes == c.input) << "decoded " << inflated.bytes.size() << " bytes";
    }
}

TEST(CRC32Test, MatchesTheStandardCheckValues) {
    const struct {
        const char* input;
        std::uint32_t crc;
    } cases[] = {
        {"", 0x00000000U},
        {"a", 0xE8B7BE43U},
        {"123456789", 0xCBF43926U},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339U},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(CRC32Value(test::bytesOf(c.input)), c.crc);
    }
}

}  // namespace
}  // namespace tomely
