#include "platform/CRC32.h"

#include <zlib.h>

namespace tomely {

std::uint32_t CRC32Value(std::span<const std::uint8_t> data) {
    // crc32_z takes a size_t length, so no buffer is too long for one call.
    return static_cast<std::uint32_t>(crc32_z(crc32(0L, Z_NULL, 0), data.data(), data.size()));
}

std::uint32_t CRC32Step(std::uint32_t crc, std::uint8_t byte) {
    static const z_crc_t* const table = get_crc_table();
    return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace tomely
