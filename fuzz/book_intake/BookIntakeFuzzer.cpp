// Any bytes, read as an index.xml, give a non-empty GUID that stands in the text within one line, or
// none; read as a list answer, they give records whose pre-selection and choice of target stay
// inside the list. Never a crash, a hang or undefined behaviour.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shelf/BookGuid.h"
#include "shelf/ExistingBook.h"
#include "shelf/UploadTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto guid = tomely::findBookGuidInText(text)) {
        if (guid->empty() || text.find(*guid) == std::string_view::npos ||
            guid->find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
    }

    const auto books = tomely::decodeExistingBooks(text);
    if (!books) {
        return 0;
    }
    for (const tomely::ExistingBook& book : *books) {
        for (const std::string& guid : book.downloadGuids) {
            const auto row = tomely::preselectedRow(*books, guid);
            if (!row || *row >= books->size()) {
                std::abort();
            }
        }
        const auto choice = tomely::chooseUploadTarget(book.displayTitle(), std::nullopt, books);
        const bool hasTitle = book.title.has_value() && !book.title->empty();
        if (hasTitle && choice.verdict != tomely::UploadTargetChoice::Verdict::NameClash) {
            std::abort();  // a book's own title always clashes with itself
        }
    }
    return 0;
}
