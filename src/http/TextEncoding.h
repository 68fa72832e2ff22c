#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tomely {

// Text encodings are named by their preferred IANA character-set name (the preferred MIME name
// where IANA gives one), as ICU knows them.
inline constexpr std::string_view kUTF8Encoding = "UTF-8";
inline constexpr std::string_view kISOLatin1Encoding = "ISO-8859-1";

// The preferred IANA name for `charset` when it is one of IANA's names or aliases ("utf-8" gives
// "UTF-8", "latin1" gives "ISO-8859-1"); nothing for a name IANA does not know.
[[nodiscard]] std::optional<std::string> ianaCharsetName(std::string_view charset);

// `bytes` in `encoding` as UTF-8 text; nothing when the bytes are not valid in that encoding or
// the encoding is unknown.
[[nodiscard]] std::optional<std::string> decodeText(std::span<const std::uint8_t> bytes, std::string_view encoding);

// UTF-8 `text` as bytes in `encoding`; nothing when a character has no form in that encoding, the
// text is not valid UTF-8 or the encoding is unknown.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> encodeText(std::string_view text, std::string_view encoding);

}  // namespace tomely
