#include "http/DataDecompressor.h"

#include "http/BlockFileStream.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

// The first two bytes of every gzip member.
constexpr Bytef kGzipMagic[2] = {0x1F, 0x8B};

Error decompressionError(int zlibResult) {
    return httpRequestError(kCompressionError, "Decompression of data failed with code " + std::to_string(zlibResult));
}

}  // namespace

std::unique_ptr<DataDecompressor> DataDecompressor::decompressor() {
    auto decompressor = std::make_unique<DataDecompressor>();
    if (!decompressor->setupStream()) {
        return nullptr;
    }
    return decompressor;
}

DataDecompressor::~DataDecompressor() {
    if (streamReady_) {
        inflateEnd(&stream_);
    }
}

bool DataDecompressor::setupStream(Error* error) {
    if (streamReady_) {
        return true;
    }
    stream_ = z_stream{};
    // 47: a 32 KiB window, gzip or zlib header detected automatically.
    const int result = inflateInit2(&stream_, 47);
    if (result != Z_OK) {
        report(error, decompressionError(result));
        return false;
    }
    header_ = gz_header{};
    inflateGetHeader(&stream_, &header_);
    streamReady_ = true;
    streamEnded_ = false;
    betweenMembers_ = false;
    holdsMagicByte_ = false;
    return true;
}

bool DataDecompressor::closeStream(Error* error) {
    if (!streamReady_) {
        return true;
    }
    streamReady_ = false;
    const int result = inflateEnd(&stream_);
    if (result != Z_OK) {
        report(error, decompressionError(result));
        return false;
    }
    return true;
}

bool DataDecompressor::inflateBytes(std::span<const std::uint8_t> bytes, const OutputSink& sink, Error* error) {
    if (!streamReady_) {
        report(error, decompressionError(Z_STREAM_ERROR));
        return false;
    }
    if (bytes.empty() || streamEnded_) {
        return true;
    }
    step_.resize(kInflateStepBytes);
    // zlib's interface is not const-correct; it never writes through next_in.
    stream_.next_in = const_cast<Bytef*>(bytes.data());
    stream_.avail_in = static_cast<uInt>(bytes.size());
    for (;;) {
        if (betweenMembers_ && !startNextMember()) {
            return true;
        }
        stream_.next_out = step_.data();
        stream_.avail_out = static_cast<uInt>(step_.size());
        const int result = inflate(&stream_, Z_NO_FLUSH);
        const std::size_t produced = step_.size() - stream_.avail_out;
        if (produced > 0 && !sink(std::span<const std::uint8_t>(step_.data(), produced))) {
            return false;
        }
        if (result == Z_STREAM_END) {
            // Only gzip has members; whatever follows a zlib stream is not part of it.
            betweenMembers_ = header_.done == 1;
            streamEnded_ = !betweenMembers_;
            if (streamEnded_) {
                return true;
            }
            continue;
        }
        // No input left: done, unless a full step may hide more output.
        if ((result == Z_BUF_ERROR && stream_.avail_in == 0) || (stream_.avail_in == 0 && stream_.avail_out > 0)) {
            return true;
        }
        if (result != Z_OK) {
            report(error, decompressionError(result));
            return false;
        }
    }
}

std::optional<std::vector<std::uint8_t>> DataDecompressor::uncompressBytes(std::span<const std::uint8_t> bytes,
                                                                           Error* error) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> output;
    const bool inflated = inflateBytes(
        bytes,
        [&output](std::span<const std::uint8_t> step) {
            output.insert(output.end(), step.begin(), step.end());
            return true;
        },
        error);
    if (!inflated) {
        return std::nullopt;
    }
    return output;
}

bool DataDecompressor::isComplete(Error* error) const {
    const bool complete = streamEnded_ || betweenMembers_;
    if (!complete) {
        report(error, decompressionError(Z_BUF_ERROR));
    }
    return complete;
}

bool DataDecompressor::startNextMember() {
    const std::span<const Bytef> rest(stream_.next_in, stream_.avail_in);
    const std::size_t held = holdsMagicByte_ ? 1 : 0;
    if (held + rest.size() < 2) {
        if (!rest.empty() && rest[0] == kGzipMagic[0]) {
            holdsMagicByte_ = true;
            stream_.next_in += 1;
            stream_.avail_in = 0;
        } else if (!rest.empty()) {
            streamEnded_ = true;
        }
        return false;
    }
    const Bytef first = holdsMagicByte_ ? kGzipMagic[0] : rest[0];
    if (first != kGzipMagic[0] || rest[1 - held] != kGzipMagic[1]) {
        streamEnded_ = true;
        return false;
    }
    inflateReset(&stream_);
    header_ = gz_header{};
    inflateGetHeader(&stream_, &header_);
    if (holdsMagicByte_) {
        // The byte held back from the previous block goes in ahead of this one.
        inflatePrime(&stream_, 8, kGzipMagic[0]);
        holdsMagicByte_ = false;
    }
    betweenMembers_ = false;
    return true;
}

std::optional<std::vector<std::uint8_t>> DataDecompressor::uncompressData(std::span<const std::uint8_t> data,
                                                                          Error* error) {
    DataDecompressor decompressor;
    if (!decompressor.setupStream(error)) {
        return std::nullopt;
    }
    auto output = decompressor.uncompressBytes(data, error);
    // A stream cut short would otherwise pass for the whole body.
    if (output && !decompressor.isComplete(error)) {
        return std::nullopt;
    }
    return output;
}

bool DataDecompressor::uncompressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                              Error* error) {
    DataDecompressor decompressor;
    if (!decompressor.setupStream(error)) {
        return false;
    }
    BlockTransform step;
    step.transform = [&decompressor](std::span<const std::uint8_t> block, bool isLast,
                                     Error* stepError) -> std::optional<std::vector<std::uint8_t>> {
        // An empty block has nothing to inflate, which is no failure here.
        auto output = block.empty() ? std::vector<std::uint8_t>() : decompressor.uncompressBytes(block, stepError);
        // The file may end inside the compressed stream: what was written is then incomplete.
        if (isLast && output && !decompressor.isComplete(stepError)) {
            return std::nullopt;
        }
        return output;
    };
    // Whatever follows the last member is ignored.
    step.done = [&decompressor] { return decompressor.streamEnded_; };
    return streamFileInBlocks(sourcePath, destinationPath, "Decompression", step, error);
}

}  // namespace tomely
