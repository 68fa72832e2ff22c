#pragma once

#include <unzip.h>

#include <cstdint>
#include <span>
#include <string>

namespace tomely {

// An entry's sizes as the archive really declares them. minizip 1.1 as built here keeps the
// central directory's 32-bit fields when they say 0xFFFFFFFF and never applies the zip64 extra
// field (0x0001) that then holds the real values, so an entry of 4 GiB or more, or one written
// with zip64 forced, would read with wrong sizes. The extra field is read here instead.
struct ZipEntryExtent {
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
};

// The extent of the entry `info` describes, whose central directory extra field is `extraField`.
// A size field of 0xFFFFFFFF takes the next 8-byte value of the zip64 extra field, in the
// order the format gives (uncompressed, then compressed); without such a value it stays as it is.
[[nodiscard]] ZipEntryExtent zipEntryExtent(const unz_file_info64& info, std::span<const std::uint8_t> extraField);

// The current entry of an open archive as its central directory record describes it.
struct ZipCentralEntry {
    unz_file_info64 info{};
    // The name exactly as stored.
    std::string rawName;
    ZipEntryExtent extent;
};

// Reads the record of `zip`'s current entry into `entry`; false when minizip cannot.
[[nodiscard]] bool describeCurrentEntry(unzFile zip, ZipCentralEntry& entry);

}  // namespace tomely
