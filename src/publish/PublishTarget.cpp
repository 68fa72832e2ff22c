#include "publish/PublishTarget.h"

namespace tomely {
namespace {

PublishFailure refusal(std::string message) {
    return {PublishExit::Usage, std::move(message)};
}

}  // namespace

std::variant<UploadTarget, PublishFailure> resolvePublishTarget(const std::optional<std::string>& replaceBookId,
                                                                const std::optional<std::string>& newTitle,
                                                                const BookListing& listing) {
    const std::optional<std::vector<ExistingBook>>& books = listing.books;
    std::optional<std::size_t> row;
    if (replaceBookId) {
        row = books ? rowOfBookId(*books, *replaceBookId) : std::nullopt;
        if (!row) {
            return refusal("there is no book " + *replaceBookId + " on your shelf");
        }
    } else if (!newTitle) {
        row = listing.preselectedRow;
        if (!row) {
            return refusal("no book on your shelf was uploaded from this book (GUID " + listing.bookGuid +
                           "): choose one with --replace BOOK_ID, or publish a new one with --new TITLE");
        }
    }
    UploadTargetChoice choice = chooseUploadTarget(newTitle.value_or(""), row, books);
    switch (choice.verdict) {
        case UploadTargetChoice::Verdict::Accepted:
            break;
        case UploadTargetChoice::Verdict::NameClash:
            return refusal("a book on your shelf already has a title like \"" + newTitle.value_or("") +
                           "\": choose another title, or replace that book with --replace BOOK_ID");
        case UploadTargetChoice::Verdict::NothingChosen:
            return refusal("no book chosen: give --replace BOOK_ID or --new TITLE");
    }
    if (!choice.target.bookId && !choice.target.bookName) {
        return refusal("the chosen book has no id on your shelf; publish a new one with --new TITLE");
    }
    return std::move(choice.target);
}

}  // namespace tomely
