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

// The encodings a caller can name without a character-set name: those the JSON decoder reads.
// `None` means "no encoding": as the decoder's allowed encoding it turns the second attempt off.
enum class TextEncoding {
    None = 0,
    ASCII,
    UTF8,
    ISOLatin1,
    WindowsCP1252,
    // UTF-16 and UTF-32 without an endianness read a leading byte-order mark (and drop it);
    // without one they read big-endian.
    UTF16,
    UTF16BigEndian,
    UTF16LittleEndian,
    UTF32,
    UTF32BigEndian,
    UTF32LittleEndian,
};

// The text of `bytes` read in `encoding`, as UTF-8; nothing when the bytes are not text in that
// encoding (an ill-formed sequence, an unpaired surrogate, a truncated code unit, a byte that the
// encoding does not define) or when `encoding` is None. Nothing is ever replaced.
[[nodiscard]] std::optional<std::string> convertToUTF8(std::string_view bytes, TextEncoding encoding);

}  // namespace tomely
