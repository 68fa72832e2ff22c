#include "shelf/BookGuid.h"

#include <unicode/uregex.h>
#include <unicode/ustring.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/FileIO.h"
#include "platform/UTF8.h"

namespace tomely {
namespace {

constexpr const char* kBookGuidPattern = R"re(<sl:textbook.*?sl:GUID="(.*?)".*?>.*?</sl:textbook>)re";

struct RegexCloser {
    void operator()(URegularExpression* regex) const { uregex_close(regex); }
};
using Regex = std::unique_ptr<URegularExpression, RegexCloser>;

std::optional<std::u16string> toUTF16(std::string_view text) {
    if (text.empty()) {
        return std::u16string();
    }
    std::u16string utf16(text.size(), u'\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(utf16.data(), static_cast<int32_t>(utf16.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    utf16.resize(static_cast<std::size_t>(length));
    return utf16;
}

std::optional<std::string> toUTF8(std::u16string_view text) {
    if (text.empty()) {
        return std::string();
    }
    // A UTF-16 code unit never takes more than three UTF-8 bytes.
    std::string utf8(text.size() * 3, '\0');
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8(utf8.data(), static_cast<int32_t>(utf8.size()), &length, text.data(), static_cast<int32_t>(text.size()),
                &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    utf8.resize(static_cast<std::size_t>(length));
    return utf8;
}

Error bookPackageError(BookPackageErrorCode code, std::string description) {
    return Error::make(std::string(kBookPackageErrorDomain), code, std::move(description));
}

}  // namespace

std::optional<std::string> findBookGuidInText(std::string_view indexXML) {
    // ICU counts lengths in 32 bits.
    if (indexXML.size() > static_cast<std::size_t>(INT32_MAX)) {
        return std::nullopt;
    }
    const std::optional<std::u16string> text = toUTF16(indexXML);
    if (!text) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    Regex regex(uregex_openC(kBookGuidPattern, 0, nullptr, &status));
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    uregex_setText(regex.get(), text->data(), static_cast<int32_t>(text->size()), &status);
    if (U_FAILURE(status) || !uregex_find(regex.get(), 0, &status) || U_FAILURE(status)) {
        return std::nullopt;
    }
    const int32_t start = uregex_start(regex.get(), 1, &status);
    const int32_t end = uregex_end(regex.get(), 1, &status);
    if (U_FAILURE(status) || start < 0 || end <= start) {
        return std::nullopt;
    }
    return toUTF8(
        std::u16string_view(*text).substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

std::optional<std::string> findBookGuidInLocation(const std::string& directory, Error* error) {
    const std::string path = directory + "/index.xml";
    const std::optional<std::vector<std::uint8_t>> bytes = readWholeFile(path);
    if (!bytes) {
        report(error,
               bookPackageError(kBookPackageIndexUnreadable, "The book has no readable index.xml at its top level."));
        return std::nullopt;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    if (!utf8::isValid(text)) {
        report(error, bookPackageError(kBookPackageIndexNotUTF8, "The book's index.xml is not UTF-8 text."));
        return std::nullopt;
    }
    std::optional<std::string> guid = findBookGuidInText(text);
    if (!guid) {
        report(error, bookPackageError(kBookPackageNoGUID,
                                       "The book's index.xml names no book GUID: no sl:textbook element with an "
                                       "sl:GUID attribute lies on one line."));
        return std::nullopt;
    }
    if (guid->find_first_not_of('.') == std::string::npos) {
        report(error, bookPackageError(kBookPackageGUIDOnlyDots,
                                       "The book's index.xml names the book GUID \"" + *guid +
                                           "\", made only of dots, which cannot name a book on the service."));
        return std::nullopt;
    }
    return guid;
}

}  // namespace tomely
