#include "platform/CRC32.h"

#include <zlib.h>

namespace tomely {

std::uint32_t CRC32Value(std::span<const std::uint8_t> data) {
    // crc32_z takes a size_t length, so no buffer is too long for one call.
    return static_cast<std::uint32_t>(crc32_z(crc32(0L, Z_NULL, 0), data.data(), data.size()));
}

}  // namespace tomely
