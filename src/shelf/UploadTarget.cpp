#include "shelf/UploadTarget.h"

#include <algorithm>

#include "support/Slug.h"

namespace tomely {

bool nameClashesWithExistingTitle(std::string_view name, const std::vector<ExistingBook>& books) {
    const std::string nameSlug = slug(name);
    return std::any_of(books.begin(), books.end(),
                       [&nameSlug](const ExistingBook& book) { return book.title && slug(*book.title) == nameSlug; });
}

UploadTargetChoice chooseUploadTarget(std::string_view typedName, std::optional<std::size_t> selectedRow,
                                      const std::optional<std::vector<ExistingBook>>& books) {
    using Verdict = UploadTargetChoice::Verdict;
    if (!typedName.empty()) {
        if (books && nameClashesWithExistingTitle(typedName, *books)) {
            return {Verdict::NameClash, {}};
        }
        return {Verdict::Accepted, {std::nullopt, std::string(typedName)}};
    }
    if (!books || !selectedRow || *selectedRow >= books->size() || !(*books)[*selectedRow].canBeReplaced()) {
        return {Verdict::NothingChosen, {}};
    }
    return {Verdict::Accepted, {(*books)[*selectedRow].bookId, std::nullopt}};
}

UploadTargetPreview previewUploadTarget(std::string_view typedName, std::optional<std::size_t> selectedRow,
                                        const std::optional<std::vector<ExistingBook>>& books) {
    const UploadTargetChoice choice = chooseUploadTarget(typedName, selectedRow, books);
    const bool named = !typedName.empty();
    const bool replaces = choice.verdict == UploadTargetChoice::Verdict::Accepted && !named;
    return {choice.verdict, named, replaces ? selectedRow : std::nullopt};
}

}  // namespace tomely
