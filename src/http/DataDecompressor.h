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

// Inflates response bodies sent with "Content-Encoding: gzip" (a zlib stream is accepted as well).
// One object owns one zlib inflate stream; it is used from one thread at a time. Every error is
// code 11 of the HTTP request domain.
class DataDecompressor {
public:
    // A decompressor whose stream is already set up, or nullptr when zlib refuses to set one up.
    [[nodiscard]] static std::unique_ptr<DataDecompressor> decompressor();

    DataDecompressor() = default;
    ~DataDecompressor();
    DataDecompressor(const DataDecompressor&) = delete;
    DataDecompressor& operator=(const DataDecompressor&) = delete;

    // Both do nothing (and succeed) when the stream is already in the requested state.
    [[nodiscard]] bool setupStream(Error* error = nullptr);
    [[nodiscard]] bool closeStream(Error* error = nullptr);
    [[nodiscard]] bool streamReady() const { return streamReady_; }

    // Inflates one block. An empty block gives nothing and no error; a zlib failure gives nothing
    // and fills `error`. Bytes after the end of the compressed stream are ignored.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> uncompressBytes(std::span<const std::uint8_t> bytes,
                                                                           Error* error = nullptr);

    // The whole buffer in one block, through a fresh stream.
    [[nodiscard]] static std::optional<std::vector<std::uint8_t>> uncompressData(std::span<const std::uint8_t> data,
                                                                                 Error* error = nullptr);
    // Streams `sourcePath` into a new inflated file at `destinationPath`, 256 KiB at a time.
    [[nodiscard]] static bool uncompressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                                     Error* error = nullptr);

private:
    z_stream stream_{};
    bool streamReady_ = false;
    bool streamEnded_ = false;
};

}  // namespace tomely
