#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tomely {

// The text encodings the decoder can read. `None` means "no encoding": as the decoder's
// allowed encoding it turns the second attempt off.
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

// The text of `bytes` read in `encoding`, as UTF-8; nullopt when the bytes are not text in that
// encoding (an ill-formed sequence, an unpaired surrogate, a truncated code unit, a byte that the
// encoding does not define) or when `encoding` is None. Nothing is ever replaced.
[[nodiscard]] std::optional<std::string> convertToUTF8(std::string_view bytes, TextEncoding encoding);

}  // namespace tomely
