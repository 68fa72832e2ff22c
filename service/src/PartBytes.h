#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the service computes over a part file's bytes to check the client's claims about them.
// Pure functions, safe on any thread.
namespace tomely::shelf {

// 40 lowercase hex digits of SHA-1 over the bytes.
[[nodiscard]] std::string sha1Hex(std::string_view bytes);

// The name a part is stored and asked for under: SHA-1 hex of its raw-deflate bytes, "_", and
// the number of those bytes.
[[nodiscard]] std::string fingerprintOf(std::string_view deflated);

// True for 40 lowercase hex digits, "_", and a decimal length without leading zeros.
[[nodiscard]] bool isFingerprint(std::string_view text);

// The length a fingerprint announces (the digits after "_"); only for valid fingerprints.
[[nodiscard]] std::uint64_t fingerprintLength(std::string_view fingerprint);

// CRC-32 as zlib and gzip compute it.
[[nodiscard]] std::uint32_t crc32Of(std::string_view bytes);

struct Inflated {
    std::string bytes;
    // The data has no final block and ends byte-aligned on a block boundary (after the
    // 00 00 FF FF of a full flush), or is empty: such pieces can be chained into one stream.
    bool openEnded = false;
};

// Inflates raw deflate data as the client sends it: full-flushed blocks, usually without a
// final block, so the end of the input (not an end-of-stream marker) ends the data. Gives
// nothing when the data is corrupt, leaves input unread after a final block, or would inflate
// to more than `limit` bytes (a guard against decompression bombs).
[[nodiscard]] std::optional<Inflated> inflateRaw(std::string_view deflated, std::size_t limit);

}  // namespace tomely::shelf
