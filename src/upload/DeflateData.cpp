#include "upload/DeflateData.h"

#include <zlib.h>

#include <limits>

namespace tomely {
namespace {

// Room the output buffer starts with and grows by. The compressed form of a part file of
// 1,024,000 bytes, even an incompressible one, fits the first step.
constexpr std::size_t kOutputStep = 1'060'000;
// The finishing call appends an empty final block (2 bytes) and the Adler-32 (4 bytes); more room
// than that lets it finish in one call.
constexpr std::size_t kFinishRoom = 64;
// Bytes cut off the zlib stream: the header in front, the final block and the Adler-32 behind.
constexpr std::size_t kHeaderLength = 2;
constexpr std::size_t kTrailerLength = 6;

}  // namespace

std::optional<std::vector<std::uint8_t>> deflateData(std::span<const std::uint8_t> data) {
    if (data.empty()) {
        return std::vector<std::uint8_t>();
    }
    if (data.size() > std::numeric_limits<uInt>::max()) {
        return std::nullopt;
    }
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        return std::nullopt;
    }
    // zlib's input pointer is not const-qualified but deflate never writes through it.
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());

    std::vector<std::uint8_t> output(kOutputStep);
    auto pointOutputAtFreeRoom = [&stream, &output] {
        stream.next_out = output.data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(output.size() - stream.total_out);
    };
    int status = Z_OK;
    do {
        if (stream.total_out >= output.size()) {
            output.resize(output.size() + kOutputStep);
        }
        pointOutputAtFreeRoom();
        status = deflate(&stream, Z_FULL_FLUSH);
    } while (status == Z_OK && stream.avail_out == 0);

    if (status == Z_OK) {
        if (output.size() - stream.total_out < kFinishRoom) {
            output.resize(output.size() + kFinishRoom);
        }
        pointOutputAtFreeRoom();
        status = deflate(&stream, Z_FINISH);
    }
    const std::size_t produced = stream.total_out;
    deflateEnd(&stream);
    if (status != Z_STREAM_END || produced < kHeaderLength + kTrailerLength) {
        return std::nullopt;
    }
    output.resize(produced - kTrailerLength);
    output.erase(output.begin(), output.begin() + kHeaderLength);
    return output;
}

}  // namespace tomely
