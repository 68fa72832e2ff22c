#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace tomely {

// Produces the gzip form of request bodies. One object owns one zlib deflate stream; it is used
// from one thread at a time. Every error is code 11 of the HTTP request domain.
class DataCompressor {
public:
    // A compressor whose stream is already set up, or nullptr when zlib refuses to set one up.
    [[nodiscard]] static std::unique_ptr<DataCompressor> compressor();

    DataCompressor() = default;
    ~DataCompressor();
    DataCompressor(const DataCompressor&) = delete;
    DataCompressor& operator=(const DataCompressor&) = delete;

    // Both do nothing (and succeed) when the stream is already in the requested state.
    [[nodiscard]] bool setupStream(Error* error = nullptr);
    [[nodiscard]] bool closeStream(Error* error = nullptr);
    [[nodiscard]] bool streamReady() const { return streamReady_; }

    // Compresses one block; `shouldFinish` ends the gzip member. An empty block gives nothing and
    // no error; a zlib failure gives nothing and fills `error`.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> compressBytes(std::span<const std::uint8_t> bytes,
                                                                         bool shouldFinish, Error* error = nullptr);

    // The whole buffer as one finished gzip member, through a fresh stream.
    [[nodiscard]] static std::optional<std::vector<std::uint8_t>> compressData(std::span<const std::uint8_t> data,
                                                                               Error* error = nullptr);
    // Streams `sourcePath` into a new gzip file at `destinationPath`, 256 KiB at a time.
    [[nodiscard]] static bool compressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                                   Error* error = nullptr);

private:
    // Like compressBytes, but also finishes a stream when the last block is empty.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> deflateBlock(std::span<const std::uint8_t> bytes,
                                                                        bool shouldFinish, Error* error = nullptr);

    z_stream stream_{};
    bool streamReady_ = false;
};

}  // namespace tomely
