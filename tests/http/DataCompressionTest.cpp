#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
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

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "compression-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() { std::filesystem::remove_all(path_); }
    [[nodiscard]] std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void writeFile(const std::string& path, const std::vector<std::uint8_t>& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(DataCompressorTest, CompressesToAGzipMemberThatInflatesBack) {
    Error error;
    const auto compressed = DataCompressor::compressData(bytes("abc"), &error);
    ASSERT_TRUE(compressed.has_value());
    ASSERT_GE(compressed->size(), 3U);
    EXPECT_EQ((*compressed)[0], 0x1F);
    EXPECT_EQ((*compressed)[1], 0x8B);
    EXPECT_EQ((*compressed)[2], 8) << "deflate method";
    const auto inflated = DataDecompressor::uncompressData(*compressed, &error);
    ASSERT_TRUE(inflated.has_value());
    EXPECT_EQ(text(*inflated), "abc");
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

TEST(DataCompressorTest, BlocksWithoutFinishAddUpToOneMember) {
    auto compressor = DataCompressor::compressor();
    ASSERT_TRUE(compressor);
    std::vector<std::uint8_t> member;
    const auto data = noise(300000, 3);
    for (std::size_t offset = 0; offset < data.size(); offset += 70000) {
        const std::size_t length = std::min<std::size_t>(70000, data.size() - offset);
        const bool last = offset + length == data.size();
        Error error;
        const auto piece = compressor->compressBytes(std::span(data).subspan(offset, length), last, &error);
        ASSERT_TRUE(piece.has_value());
        member.insert(member.end(), piece->begin(), piece->end());
    }
    EXPECT_EQ(DataDecompressor::uncompressData(member).value_or(std::vector<std::uint8_t>()), data);
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

TEST(DataCompressorTest, FilesOfEveryBlockBoundaryCompressToCompleteMembers) {
    TemporaryDirectory directory;
    for (const std::size_t size : {0UL, 1UL, 262143UL, 262144UL, 262145UL, 524288UL, 700000UL}) {
        SCOPED_TRACE(size);
        const auto data = noise(size, 11);
        writeFile(directory.file("source"), data);
        Error error;
        ASSERT_TRUE(DataCompressor::compressDataFromFile(directory.file("source"), directory.file("packed"), &error));
        const auto packed = readFile(directory.file("packed"));
        ASSERT_GE(packed.size(), 18U) << "at least a gzip header and trailer";
        EXPECT_EQ(packed[0], 0x1F);
        const auto inflated = DataDecompressor::uncompressData(packed);
        ASSERT_TRUE(inflated.has_value()) << "a complete member";
        EXPECT_EQ(*inflated, data);
        ASSERT_TRUE(
            DataDecompressor::uncompressDataFromFile(directory.file("packed"), directory.file("unpacked"), &error));
        EXPECT_EQ(readFile(directory.file("unpacked")), data);
    }
}

TEST(DataCompressorTest, FileFailuresNameThePaths) {
    TemporaryDirectory directory;
    const std::string missing = directory.file("missing");
    const std::string unwritable = directory.file("no-such-folder/out");
    writeFile(directory.file("source"), bytes("content"));
    writeFile(directory.file("garbage"), bytes("this is not gzip"));
    const struct {
        const char* name;
        bool compress;
        std::string source;
        std::string destination;
        std::string message;
    } cases[] = {
        {"missing source", true, missing, directory.file("out"),
         "Compression of " + missing + " failed the file does not exist"},
        {"unwritable destination", true, directory.file("source"), unwritable,
         "Compression of " + directory.file("source") + " failed because we were to create a file at " + unwritable},
        {"missing source", false, missing, directory.file("out"),
         "Decompression of " + missing + " failed the file does not exist"},
        {"unwritable destination", false, directory.file("source"), unwritable,
         "Decompression of " + directory.file("source") + " failed because we were to create a file at " + unwritable},
        {"not compressed", false, directory.file("garbage"), directory.file("out"),
         "Decompression of data failed with code -3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.compress ? "compress: " : "decompress: ") + c.name);
        Error error;
        const bool ok = c.compress ? DataCompressor::compressDataFromFile(c.source, c.destination, &error)
                                   : DataDecompressor::uncompressDataFromFile(c.source, c.destination, &error);
        EXPECT_FALSE(ok);
        expectCompressionError(error, c.message);
    }
}

}  // namespace
}  // namespace tomely
