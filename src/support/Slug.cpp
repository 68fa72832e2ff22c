#include "support/Slug.h"

#include <unicode/ustring.h>
#include <unicode/utypes.h>

namespace tomely {
namespace {

constexpr UChar32 kReplacementCharacter = 0xFFFD;

std::u16string toUtf16(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    // UTF-8 never needs more UTF-16 code units than it has bytes.
    std::u16string utf16(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    // Ill-formed bytes become U+FFFD, which the filter drops like any other non-letter.
    u_strFromUTF8WithSub(utf16.data(), static_cast<int32_t>(utf16.size()), &length, text.data(),
                         static_cast<int32_t>(text.size()), kReplacementCharacter, nullptr, &status);
    if (U_FAILURE(status)) {
        return {};
    }
    utf16.resize(static_cast<std::size_t>(length));
    return utf16;
}

std::u16string lowercased(const std::u16string& text) {
    if (text.empty()) {
        return {};
    }
    // Full lowercasing can grow the text (U+0130 becomes two code units); ask for the size first.
    UErrorCode status = U_ZERO_ERROR;
    const int32_t needed = u_strToLower(nullptr, 0, text.data(), static_cast<int32_t>(text.size()), "", &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        return {};
    }
    std::u16string lower(static_cast<std::size_t>(needed), u'\0');
    status = U_ZERO_ERROR;
    u_strToLower(lower.data(), needed, text.data(), static_cast<int32_t>(text.size()), "", &status);
    if (U_FAILURE(status)) {
        return {};
    }
    return lower;
}

}  // namespace

std::string slug(std::string_view title) {
    std::string kept;
    for (const char16_t unit : lowercased(toUtf16(title))) {
        if ((unit >= u'a' && unit <= u'z') || unit == u' ') {
            kept.push_back(static_cast<char>(unit));
        }
    }
    if (!kept.empty() && kept.front() == ' ') {
        kept.erase(0, 1);
    }
    if (!kept.empty() && kept.back() == ' ') {
        kept.pop_back();
    }
    for (char& character : kept) {
        if (character == ' ') {
            character = '-';
        }
    }
    return kept;
}

}  // namespace tomely
