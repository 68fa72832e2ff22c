#pragma once

#include <cstdint>
#include <span>

namespace tomely {

// The CRC-32 of gzip and PNG (ISO 3309 / ITU-T V.42) over all of `data`, as zlib's crc32 computes
// it starting from its value for no data. The uploader sends it with each part file so the service
// can check the bytes it inflates. Thread-safe.
[[nodiscard]] std::uint32_t CRC32Value(std::span<const std::uint8_t> data);

// The CRC-32 register after one more byte: the same table, without CRC32Value's inversion before
// and after. The traditional PKWARE zip cipher keys its stream with this step. Thread-safe.
[[nodiscard]] std::uint32_t CRC32Step(std::uint32_t crc, std::uint8_t byte);

}  // namespace tomely
