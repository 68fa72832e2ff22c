#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "common/ScriptedHTTPServer.h"
#include "http/DataCompressor.h"
#include "http/DataDecompressor.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string text(const std::vector<std::uint8_t>& data) {
    return {data.begin(), data.end()};
}

std::vector<std::uint8_t> noise(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> data(size);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random() % 7);  // compressible, but not trivially
    }
    return data;
}

void expectCompressionError(const Error& error, const std::string& message) {
    EXPECT_EQ(error.domain, kNetworkRequestErrorDomain);
    EXPECT_EQ(error.code, 11);
    EXPECT_EQ(error.localizedDescription(), message);
}

TEST(DataCompressorTest, RoundTripsEveryBufferSize) {
    // Around the buffer steps: tiny inputs whose half is 0, and outputs that fill a buffer exactly.
    for (const std::size_t size : {1UL, 2UL, 3UL, 63UL, 64UL, 65UL, 1000UL, 65536UL, 1000000UL}) {
        SCOPED_TRACE(size);
        const auto data = noise(size, static_cast<unsigned>(size));
        const auto compressed = DataCompressor::compressData(data);
        ASSERT_TRUE(compressed.has_value());
        const auto inflated = DataDecompressor::uncompressData(*compressed);
        ASSERT_TRUE(inflated.has_value());
        EXPECT_EQ(*inflated, data);
    }
}

TEST(DataCompressorTest, AnEmptyBufferGivesNothingAndNoError) {
    Error error;
    error.code = -1;
    EXPECT_FALSE(DataCompressor::compressData({}, &error).has_value());
    EXPECT_FALSE(DataDecompressor::uncompressData({}, &error).has_value());
    EXPECT_EQ(error.code, -1) << "untouched";
}

TEST(DataDecompressorTest, AcceptsGzipAndZlibStreamsAndIgnoresWhatFollows) {
    const std::string body = "the same text either way";
    std::vector<std::uint8_t> zlibStream(compressBound(static_cast<uLong>(body.size())));
    uLongf length = static_cast<uLongf>(zlibStream.size());
    ASSERT_EQ(compress(zlibStream.data(), &length, reinterpret_cast<const Bytef*>(body.data()),
                       static_cast<uLong>(body.size())),
              Z_OK);
    zlibStream.resize(length);
    std::vector<std::uint8_t> gzipThenJunk = bytes(test::gzip(body));
    gzipThenJunk.insert(gzipThenJunk.end(), {'j', 'u', 'n', 'k'});
    for (const auto& input : {zlibStream, bytes(test::gzip(body)), gzipThenJunk}) {
        EXPECT_EQ(text(DataDecompressor::uncompressData(input).value_or(bytes("<failed>"))), body);
    }
}

TEST(DataDecompressorTest, DataThatDoesNotInflateIsACode11Error) {
    const std::string whole = test::gzip(std::string(5000, 'w'));
    const struct {
        const char* name;
        std::vector<std::uint8_t> input;
        const char* message;
    } cases[] = {
        {"not compressed", bytes("plain words, no header"), "Decompression of data failed with code -3"},
        {"cut short", bytes(whole.substr(0, whole.size() / 2)), "Decompression of data failed with code -5"},
        {"bad checksum",
         [&] {
             auto corrupted = bytes(whole);
             corrupted[corrupted.size() - 6] ^= 0xFF;
             return corrupted;
         }(),
         "Decompression of data failed with code -3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(DataDecompressor::uncompressData(c.input, &error).has_value());
        expectCompressionError(error, c.message);
    }
}

}  // namespace
}  // namespace tomely
