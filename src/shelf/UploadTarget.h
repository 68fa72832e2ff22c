#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/JSONValue.h"
#include "shelf/ExistingBook.h"

namespace tomely {

// Where an upload goes: a new book under `bookName`, or the existing book `bookId`. Exactly one
// of them is set.
struct UploadTarget {
    std::optional<JSONValue> bookId;
    std::optional<std::string> bookName;
};

// The author's choice, checked. A typed name always wins over a selected row.
struct UploadTargetChoice {
    enum class Verdict {
        Accepted,       // `target` holds the choice
        NothingChosen,  // no name typed, and no row selected that can be replaced
        NameClash,      // the typed name's slug equals the slug of an existing title
    };
    Verdict verdict = Verdict::NothingChosen;
    UploadTarget target;
};

// True when `name` reduces to the same slug as the title of one of `books`. Records without a
// title never clash.
[[nodiscard]] bool nameClashesWithExistingTitle(std::string_view name, const std::vector<ExistingBook>& books);

// `typedName` is taken as typed (not trimmed; empty means no new book is wanted), `selectedRow`
// indexes `books` (none: nothing selected), and `books` may be absent when the list could not be
// decoded. A row past the end of the list, or of a book that cannot be replaced, counts as nothing selected.
[[nodiscard]] UploadTargetChoice chooseUploadTarget(std::string_view typedName, std::optional<std::size_t> selectedRow,
                                                    const std::optional<std::vector<ExistingBook>>& books);

// What Continue would do with the choice as it stands, so that the step can say so before it is
// pressed. It follows chooseUploadTarget, whose rule it does not change.
struct UploadTargetPreview {
    UploadTargetChoice::Verdict verdict = UploadTargetChoice::Verdict::NothingChosen;
    // A name is typed, and a typed name wins: the table's rows do not count while it stays.
    bool tableSetAside = false;
    // The row Continue would replace; none unless it would replace one.
    std::optional<std::size_t> replacedRow;
};

// The arguments are those of chooseUploadTarget.
[[nodiscard]] UploadTargetPreview previewUploadTarget(std::string_view typedName,
                                                      std::optional<std::size_t> selectedRow,
                                                      const std::optional<std::vector<ExistingBook>>& books);

}  // namespace tomely
