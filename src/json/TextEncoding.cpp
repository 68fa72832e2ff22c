#include "json/TextEncoding.h"

#include <array>
#include <cstdint>

#include "json/UTF8.h"

namespace tomely {
namespace {

enum class Endian { Big, Little };

std::uint32_t readUnit(const unsigned char* p, std::size_t width, Endian endian) {
    std::uint32_t unit = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t index = endian == Endian::Big ? i : width - 1 - i;
        unit = (unit << 8U) | p[index];
    }
    return unit;
}

// Reads a byte-order mark when `detect` is set; without one the text has the `fallback` order.
std::pair<Endian, std::size_t> endianFromByteOrderMark(std::string_view bytes, std::size_t width, bool detect,
                                                       Endian fallback) {
    if (!detect || bytes.size() < width) {
        return {fallback, 0};
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (readUnit(p, width, Endian::Big) == 0xFEFFU) {
        return {Endian::Big, width};
    }
    if (readUnit(p, width, Endian::Little) == 0xFEFFU) {
        return {Endian::Little, width};
    }
    return {fallback, 0};
}

std::optional<std::string> fromUTF16(std::string_view bytes, Endian endian, bool detect) {
    const auto [order, skip] = endianFromByteOrderMark(bytes, 2, detect, endian);
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = skip; i < bytes.size(); i += 2) {
        const std::uint32_t unit = readUnit(p + i, 2, order);
        if (unit >= 0xDC00U && unit <= 0xDFFFU) {
            return std::nullopt;
        }
        if (unit >= 0xD800U && unit <= 0xDBFFU) {
            if (i + 4 > bytes.size()) {
                return std::nullopt;
            }
            const std::uint32_t low = readUnit(p + i + 2, 2, order);
            if (low < 0xDC00U || low > 0xDFFFU) {
                return std::nullopt;
            }
            utf8::appendCodePoint(out, 0x10000U + ((unit - 0xD800U) << 10U) + (low - 0xDC00U));
            i += 2;
            continue;
        }
        utf8::appendCodePoint(out, unit);
    }
    return out;
}

std::optional<std::string> fromUTF32(std::string_view bytes, Endian endian, bool detect) {
    const auto [order, skip] = endianFromByteOrderMark(bytes, 4, detect, endian);
    if (bytes.size() % 4 != 0) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = skip; i < bytes.size(); i += 4) {
        const std::uint32_t unit = readUnit(p + i, 4, order);
        if (unit > 0x10FFFFU || (unit >= 0xD800U && unit <= 0xDFFFU)) {
            return std::nullopt;
        }
        utf8::appendCodePoint(out, unit);
    }
    return out;
}

// Code points of Windows-1252's bytes 0x80 to 0x9F; 0 marks the five bytes it leaves undefined.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<std::string> fromSingleByte(std::string_view bytes, TextEncoding encoding) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80U) {
            out.push_back(c);
        } else if (encoding == TextEncoding::ASCII) {
            return std::nullopt;
        } else if (encoding == TextEncoding::WindowsCP1252 && byte < 0xA0U) {
            const char16_t mapped = kWindows1252High[byte - 0x80U];
            if (mapped == 0) {
                return std::nullopt;
            }
            utf8::appendCodePoint(out, mapped);
        } else {
            utf8::appendCodePoint(out, byte);
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> convertToUTF8(std::string_view bytes, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::None:
            return std::nullopt;
        case TextEncoding::UTF8:
            if (!utf8::isValid(bytes)) {
                return std::nullopt;
            }
            return std::string(bytes);
        case TextEncoding::ASCII:
        case TextEncoding::ISOLatin1:
        case TextEncoding::WindowsCP1252:
            return fromSingleByte(bytes, encoding);
        case TextEncoding::UTF16:
            return fromUTF16(bytes, Endian::Big, true);
        case TextEncoding::UTF16BigEndian:
            return fromUTF16(bytes, Endian::Big, false);
        case TextEncoding::UTF16LittleEndian:
            return fromUTF16(bytes, Endian::Little, false);
        case TextEncoding::UTF32:
            return fromUTF32(bytes, Endian::Big, true);
        case TextEncoding::UTF32BigEndian:
            return fromUTF32(bytes, Endian::Big, false);
        case TextEncoding::UTF32LittleEndian:
            return fromUTF32(bytes, Endian::Little, false);
    }
    return std::nullopt;
}

}  // namespace tomely
