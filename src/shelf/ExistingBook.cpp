#include "shelf/ExistingBook.h"

#include "json/JSONDeserializer.h"
#include "json/JSONSerializer.h"

namespace tomely {
namespace {

bool namesABook(const JSONValue& bookId) {
    switch (bookId.kind()) {
        case JSONValue::Kind::String:
            return !bookId.asString()->empty();
        case JSONValue::Kind::SignedInteger:
        case JSONValue::Kind::UnsignedInteger:
        case JSONValue::Kind::Decimal:
            return true;
        default:
            return false;
    }
}

ExistingBook recordFrom(const JSONValue& element) {
    ExistingBook book;
    if (const JSONValue* title = element.find("title"); title != nullptr && title->asString() != nullptr) {
        book.title = *title->asString();
    }
    if (const JSONValue* downloads = element.find("downloads"); downloads != nullptr && downloads->asArray()) {
        for (const JSONValue& download : *downloads->asArray()) {
            if (const JSONValue* guid = download.find("guid"); guid != nullptr && guid->asString() != nullptr) {
                book.downloadGuids.push_back(*guid->asString());
            }
        }
    }
    if (const JSONValue* bookId = element.find("book_id"); bookId != nullptr && namesABook(*bookId)) {
        book.bookId = *bookId;
    }
    return book;
}

}  // namespace

std::optional<std::vector<ExistingBook>> decodeExistingBooks(std::string_view body) {
    // Record by record: a long list never exists as a whole tree beside the records made of it.
    std::vector<ExistingBook> books;
    if (!JSONDeserializer::deserializer().deserializeArrayElements(
            body, [&books](JSONValue&& element) { books.push_back(recordFrom(element)); })) {
        return std::nullopt;
    }
    return books;
}

std::optional<std::size_t> preselectedRow(const std::vector<ExistingBook>& books, std::string_view bookGuid) {
    std::optional<std::size_t> row;
    // The walk does not stop at a match: when several books hold the GUID, the last one wins.
    for (std::size_t index = 0; index < books.size(); ++index) {
        for (const std::string& guid : books[index].downloadGuids) {
            if (guid == bookGuid && books[index].canBeReplaced()) {
                row = index;
            }
        }
    }
    return row;
}

std::string bookIdText(const JSONValue& bookId) {
    switch (bookId.kind()) {
        case JSONValue::Kind::String:
            return *bookId.asString();
        case JSONValue::Kind::SignedInteger:
        case JSONValue::Kind::UnsignedInteger:
        case JSONValue::Kind::Decimal:
            return JSONSerializer::serializer().serializeNumber(bookId).value_or(std::string());
        default:
            return {};
    }
}

std::optional<std::size_t> rowOfBookId(const std::vector<ExistingBook>& books, std::string_view bookId) {
    for (std::size_t index = 0; index < books.size(); ++index) {
        if (!bookId.empty() && books[index].bookId && bookIdText(*books[index].bookId) == bookId) {
            return index;
        }
    }
    return std::nullopt;
}

}  // namespace tomely
