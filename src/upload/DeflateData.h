#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tomely {

// Compresses `data` into headerless, unterminated raw deflate data: zlib's default level and
// settings, one full flush, then the finishing call, with the 2-byte zlib header and the 6-byte
// tail (empty final block and Adler-32) cut off. The result therefore ends with the full flush's
// empty stored block (00 00 FF FF) and holds no final block.
//
// The fingerprints the service keeps from earlier uploads are taken over these bytes, and the
// uploader sends exactly these bytes, so every setting here is part of the protocol: changing any
// of them changes every fingerprint.
//
// Empty input gives empty output (no compression at all). Returns nothing when zlib cannot set up
// the stream or the input is larger than one zlib call can take (4 GiB). Thread-safe.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> deflateData(std::span<const std::uint8_t> data);

// The settings above as text. Whatever remembers a result of deflateData() across runs keys it
// with this text (and zlib's version): a change here must change the text.
inline constexpr std::string_view kDeflateSettings =
    "deflateInit level -1, window bits 15, memory level 8, default strategy; Z_FULL_FLUSH then Z_FINISH; "
    "2 bytes cut in front, 6 behind";

}  // namespace tomely
