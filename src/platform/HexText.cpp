#include "platform/HexText.h"

namespace tomely {

void appendHexDigits(std::string& out, std::uint8_t byte, HexCase letterCase) {
    const std::string_view digits = letterCase == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

std::string hexDigits(std::span<const std::uint8_t> bytes, HexCase letterCase) {
    std::string text;
    text.reserve(2 * bytes.size());
    for (const std::uint8_t byte : bytes) {
        appendHexDigits(text, byte, letterCase);
    }
    return text;
}

std::string percentEncoded(std::string_view bytes, const ByteSet& kept) {
    std::string escaped;
    escaped.reserve(bytes.size());
    for (const char c : bytes) {
        if (kept.contains(c)) {
            escaped += c;
        } else {
            escaped += '%';
            appendHexDigits(escaped, static_cast<std::uint8_t>(c), HexCase::Upper);
        }
    }
    return escaped;
}

std::string percentEncoded(std::span<const std::uint8_t> bytes, const ByteSet& kept) {
    return percentEncoded(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), kept);
}

}  // namespace tomely
