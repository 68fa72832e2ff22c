#include "http/DataCompressor.h"

#include <algorithm>

#include "http/BlockFileStream.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

// The output grows by half the input length; tiny inputs would otherwise grow by nothing at all
// and never leave room for the gzip header.
constexpr std::size_t kMinimumGrowth = 64;

Error compressionError(int zlibResult) {
    return httpRequestError(kCompressionError, "Compression of data failed with code " + std::to_string(zlibResult));
}

}  // namespace

std::unique_ptr<DataCompressor> DataCompressor::compressor() {
    auto compressor = std::make_unique<DataCompressor>();
    if (!compressor->setupStream()) {
        return nullptr;
    }
    return compressor;
}

DataCompressor::~DataCompressor() {
    if (streamReady_) {
        deflateEnd(&stream_);
    }
}

bool DataCompressor::setupStream(Error* error) {
    if (streamReady_) {
        return true;
    }
    stream_ = z_stream{};
    // 31: a 32 KiB window with a gzip header and trailer.
    const int result = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    if (result != Z_OK) {
        report(error, compressionError(result));
        return false;
    }
    streamReady_ = true;
    return true;
}

bool DataCompressor::closeStream(Error* error) {
    if (!streamReady_) {
        return true;
    }
    streamReady_ = false;
    const int result = deflateEnd(&stream_);
    // Ending a stream before its finish is legitimate (an abandoned body): not an error.
    if (result != Z_OK && result != Z_DATA_ERROR) {
        report(error, compressionError(result));
        return false;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> DataCompressor::compressBytes(std::span<const std::uint8_t> bytes,
                                                                       bool shouldFinish, Error* error) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    return deflateBlock(bytes, shouldFinish, error);
}

std::optional<std::vector<std::uint8_t>> DataCompressor::deflateBlock(std::span<const std::uint8_t> bytes,
                                                                      bool shouldFinish, Error* error) {
    if (!streamReady_) {
        report(error, compressionError(Z_STREAM_ERROR));
        return std::nullopt;
    }
    const std::size_t growth = std::max(bytes.size() / 2, kMinimumGrowth);
    std::vector<std::uint8_t> output(growth);
    std::size_t produced = 0;
    // zlib's interface is not const-correct; it never writes through next_in.
    stream_.next_in = const_cast<Bytef*>(bytes.data());
    stream_.avail_in = static_cast<uInt>(bytes.size());
    for (;;) {
        if (produced == output.size()) {
            output.resize(output.size() + growth);
        }
        stream_.next_out = output.data() + produced;
        stream_.avail_out = static_cast<uInt>(output.size() - produced);
        const int result = deflate(&stream_, shouldFinish ? Z_FINISH : Z_NO_FLUSH);
        produced = output.size() - stream_.avail_out;
        if (result == Z_STREAM_END) {
            break;
        }
        // No progress possible: all input taken and nothing left to flush. Happens when the
        // previous call filled the output exactly.
        if (result == Z_BUF_ERROR && stream_.avail_in == 0 && !shouldFinish) {
            break;
        }
        if (result != Z_OK) {
            report(error, compressionError(result));
            return std::nullopt;
        }
        if (stream_.avail_out != 0 && !shouldFinish) {
            break;
        }
    }
    output.resize(produced);
    return output;
}

std::optional<std::vector<std::uint8_t>> DataCompressor::compressData(std::span<const std::uint8_t> data,
                                                                      Error* error) {
    DataCompressor compressor;
    if (!compressor.setupStream(error)) {
        return std::nullopt;
    }
    return compressor.compressBytes(data, true, error);
}

bool DataCompressor::compressDataFromFile(const std::string& sourcePath, const std::string& destinationPath,
                                          Error* error) {
    DataCompressor compressor;
    if (!compressor.setupStream(error)) {
        return false;
    }
    BlockTransform step;
    step.transform = [&compressor](std::span<const std::uint8_t> block, bool isLast, Error* stepError) {
        // The last block always finishes the member, also when it is empty.
        auto output = compressor.deflateBlock(block, isLast, stepError);
        if (output && isLast) {
            // The member is complete; a stream that fails to end loses none of it.
            (void)compressor.closeStream();
        }
        return output;
    };
    step.done = [&compressor] { return !compressor.streamReady(); };
    return streamFileInBlocks(sourcePath, destinationPath, "Compression", step, error);
}

}  // namespace tomely
