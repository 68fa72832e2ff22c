#include "platform/TextEncoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ustring.h>

#include <memory>

#include "platform/UTF8.h"

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
        return utf8::isValid(text) ? std::optional<std::string>(text) : std::nullopt;
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
        return utf8::isValid(text) ? std::optional<std::vector<std::uint8_t>>(std::in_place, text.begin(), text.end())
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

std::optional<std::string> convertToUTF8(std::string_view bytes, TextEncoding encoding) {
    std::string_view name;
    switch (encoding) {
        case TextEncoding::None:
            return std::nullopt;
        case TextEncoding::ASCII:
            name = "US-ASCII";
            break;
        case TextEncoding::UTF8:
            name = kUTF8Encoding;
            break;
        case TextEncoding::ISOLatin1:
            name = kISOLatin1Encoding;
            break;
        case TextEncoding::WindowsCP1252:
            name = "windows-1252";
            break;
        case TextEncoding::UTF16:
            name = "UTF-16";
            break;
        case TextEncoding::UTF16BigEndian:
            name = "UTF-16BE";
            break;
        case TextEncoding::UTF16LittleEndian:
            name = "UTF-16LE";
            break;
        case TextEncoding::UTF32:
            name = "UTF-32";
            break;
        case TextEncoding::UTF32BigEndian:
            name = "UTF-32BE";
            break;
        case TextEncoding::UTF32LittleEndian:
            name = "UTF-32LE";
            break;
    }
    return decodeText(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), name);
}

}  // namespace tomely
