#include "http/TextEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <memory>

namespace tomely {
namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// ICU counts in 32-bit signed lengths; a UTF-16 form of more than this many bytes would not fit.
constexpr std::size_t kLargestConvertible = 0x3FFFFFFF;

// A converter that stops at the first invalid or unmappable character instead of substituting.
Converter strictConverter(std::string_view encoding) {
    const std::string name(encoding);
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status) || !converter) {
        return nullptr;
    }
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return U_SUCCESS(status) ? std::move(converter) : nullptr;
}

bool namesUTF8(std::string_view encoding) {
    return encoding.size() == 5 && (encoding[0] == 'U' || encoding[0] == 'u') &&
           (encoding[1] == 'T' || encoding[1] == 't') && (encoding[2] == 'F' || encoding[2] == 'f') &&
           encoding[3] == '-' && encoding[4] == '8';
}

// Well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            const unsigned char min = k == 1 ? low : 0x80;
            const unsigned char max = k == 1 ? high : 0xBF;
            if (next < min || next > max) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

std::optional<std::string> ianaCharsetName(std::string_view charset) {
    if (charset.empty() || charset.size() > 64 || charset.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string name(charset);
    UErrorCode status = U_ZERO_ERROR;
    const char* canonical = ucnv_getCanonicalName(name.c_str(), "IANA", &status);
    if (U_FAILURE(status) || canonical == nullptr || *canonical == '\0') {
        return std::nullopt;
    }
    // The preferred MIME name ("ISO-8859-1") where there is one, else IANA's own ("windows-1252");
    // IANA's first name for Latin-1 is the unfamiliar "ISO_8859-1:1987".
    for (const char* standard : {"MIME", "IANA"}) {
        status = U_ZERO_ERROR;
        const char* preferred = ucnv_getStandardName(canonical, standard, &status);
        if (U_SUCCESS(status) && preferred != nullptr) {
            return std::string(preferred);
        }
    }
    return std::nullopt;
}

std::optional<std::string> decodeText(std::span<const std::uint8_t> bytes, std::string_view encoding) {
    // UTF-8 to UTF-8 needs no converter, only a check; every form body and most answers are UTF-8.
    if (namesUTF8(encoding)) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return isValidUTF8(text) ? std::optional<std::string>(text) : std::nullopt;
    }
    const Converter converter = strictConverter(encoding);
    if (!converter || bytes.size() > kLargestConvertible / 2) {
        return std::nullopt;
    }
    const auto* source = reinterpret_cast<const char*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    UErrorCode status = U_ZERO_ERROR;
    const int32_t units = ucnv_toUChars(converter.get(), nullptr, 0, source, length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::u16string utf16(static_cast<std::size_t>(units), u'\0');
    status = U_ZERO_ERROR;
    ucnv_toUChars(converter.get(), utf16.data(), units + 1, source, length, &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    int32_t utf8Length = 0;
    status = U_ZERO_ERROR;
    u_strToUTF8(nullptr, 0, &utf8Length, utf16.data(), units, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(utf8Length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(text.data(), utf8Length + 1, nullptr, utf16.data(), units, &status);
    return U_SUCCESS(status) ? std::optional(std::move(text)) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> encodeText(std::string_view text, std::string_view encoding) {
    if (namesUTF8(encoding)) {
        return isValidUTF8(text) ? std::optional<std::vector<std::uint8_t>>(std::in_place, text.begin(), text.end())
                                 : std::nullopt;
    }
    const Converter converter = strictConverter(encoding);
    if (!converter || text.size() > kLargestConvertible / 4) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    int32_t units = 0;
    const auto length = static_cast<int32_t>(text.size());
    u_strFromUTF8(nullptr, 0, &units, text.data(), length, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::u16string utf16(static_cast<std::size_t>(units), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8(utf16.data(), units + 1, nullptr, text.data(), length, &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    status = U_ZERO_ERROR;
    const int32_t size = ucnv_fromUChars(converter.get(), nullptr, 0, utf16.data(), units, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size) + 1);
    status = U_ZERO_ERROR;
    ucnv_fromUChars(converter.get(), reinterpret_cast<char*>(bytes.data()), size + 1, utf16.data(), units, &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}

}  // namespace tomely
