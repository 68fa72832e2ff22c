#pragma once

#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace tomely {

// Inflates response bodies sent with "Content-Encoding: gzip" (a zlib stream is accepted as well).
// A gzip body may hold several members one after the other; each is inflated in turn, as gzip
// readers do. One object owns one zlib inflate stream; it is used from one thread at a time.
// Every error is code 11 of the HTTP request domain.
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

    // The most bytes of output inflateBytes hands over at once.
    static constexpr std::size_t kInflateStepBytes = 65536;
    // Takes one step of output; answers false to stop inflating.
    using OutputSink = std::function<bool(std::span<const std::uint8_t>)>;

    // Inflates one block and hands the output to `sink` as zlib makes it, at most kInflateStepBytes
    // at a time, so that a block which expands a thousandfold is never held whole: the sink decides
    // how much it keeps. False when zlib fails (with `error` filled) or when the sink stopped (with
    // `error` untouched: the sink knows why). After a gzip member, bytes that do not begin another
    // member are ignored, as is everything after a zlib stream.
    [[nodiscard]] bool inflateBytes(std::span<const std::uint8_t> bytes, const OutputSink& sink,
                                    Error* error = nullptr);
    // Inflates one block into memory. An empty block gives nothing and no error; a zlib failure
    // gives nothing and fills `error`.
    [[nodiscard]] std::optional<std::vector<std::uint8_t>> uncompressBytes(std::span<const std::uint8_t> bytes,
                                                                           Error* error = nullptr);
    // Every member begun has ended, or what follows is ignored: nothing was cut short. When the
    // stream stops inside a member, fills `error` as zlib's Z_BUF_ERROR (-5) would.
    [[nodiscard]] bool isComplete(Error* error = nullptr) const;

    // The whole buffer in one block, through a fresh stream.
    [[nodiscard]] static std::optional<std::vector<std::uint8_t>> uncompressData(std::span<const std::uint8_t> data,
                                                                                 Error* error = nullptr);
    // Streams `sourcePath` into a new inflated file at `destinationPath`, 256 KiB at a time.
    [[nodiscard]] static bool uncompressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                                     Error* error = nullptr);

private:
    // At the end of a gzip member: starts the next member when the input begins with gzip's magic
    // bytes. False when there is none to inflate now: the rest is ignored, or the input ended
    // before the magic bytes could be told apart (the first one alone is held for the next block).
    [[nodiscard]] bool startNextMember();

    z_stream stream_{};
    // Told by zlib whether the member it reads has a gzip header (done == 1).
    gz_header header_{};
    // Where each step of output is made, allocated on first use.
    std::vector<std::uint8_t> step_;
    bool streamReady_ = false;
    bool streamEnded_ = false;
    bool betweenMembers_ = false;
    bool holdsMagicByte_ = false;
};

}  // namespace tomely
