#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/JSONValue.h"

namespace tomely {

// One book the author already has on the service, as the list call describes it. Only the
// members the wizard reads are kept; a member of the wrong type counts as absent.
struct ExistingBook {
    // The "title"; none when the record has no string there (such a record never clashes).
    std::optional<std::string> title;
    // The "guid" of every "downloads" entry that has a string there, in the list's order.
    std::vector<std::string> downloadGuids;
    // The "book_id" exactly as the service sent it, handed on unchanged, when it can name a book:
    // a number or a non-empty string. None for anything else (absent, null, "", a boolean, an
    // array, an object), which would reach the manifest and the form as nonsense.
    std::optional<JSONValue> bookId;

    // The text a table row shows: the title, or nothing.
    [[nodiscard]] std::string displayTitle() const { return title.value_or(std::string()); }
    // Only a book with an id can be replaced; the others are shown but never offered.
    [[nodiscard]] bool canBeReplaced() const { return bookId.has_value(); }

    bool operator==(const ExistingBook&) const = default;
};

// The body of a 2xx answer to the list call decoded into records, one per array element and in
// the same order (an element that is not an object becomes a record with nothing in it, so row
// numbers keep matching the service's list). None when the body is not JSON or not an array:
// the author then sees an empty table and can only create a new book.
[[nodiscard]] std::optional<std::vector<ExistingBook>> decodeExistingBooks(std::string_view body);

// The row to select in advance: the last record that can be replaced one of whose downloads
// carries `bookGuid` (exact comparison). None when no such record does.
[[nodiscard]] std::optional<std::size_t> preselectedRow(const std::vector<ExistingBook>& books,
                                                        std::string_view bookGuid);

// A "book_id" as an author types it: a string as it is, a number in its JSON form; empty for
// anything else.
[[nodiscard]] std::string bookIdText(const JSONValue& bookId);

// The first record whose "book_id" reads as `bookId` (see bookIdText), so that the id goes back
// to the service with the JSON type the list gave it. None when no record has it.
[[nodiscard]] std::optional<std::size_t> rowOfBookId(const std::vector<ExistingBook>& books, std::string_view bookId);

}  // namespace tomely
