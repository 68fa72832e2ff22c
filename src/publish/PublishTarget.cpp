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
            // A run of --new TITLE cut short leaves no book yet: the shelf makes it once every part
            // has come, so the way on is that run again.
            return refusal("no book on your shelf was uploaded from this book (GUID " + listing.bookGuid +
                           "): choose one with --replace BOOK_ID (--list shows them), or publish a new one with --new "
                           "TITLE; to finish "
                           "a run with --new TITLE that was cut short, give the same --new TITLE again");
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
    return std::move(choice.target);
}

std::optional<std::string> unreplaceableBooksNotice(const std::vector<ExistingBook>& books) {
    std::string titles;
    std::size_t count = 0;
    for (const ExistingBook& book : books) {
        if (!book.canBeReplaced()) {
            titles += (count++ == 0 ? "" : ", ") + (book.title ? "\"" + *book.title + "\"" : std::string("(no title)"));
        }
    }
    if (count == 0) {
        return std::nullopt;
    }
    return "ignoring " + (count == 1 ? std::string("a book") : std::to_string(count) + " books") +
           " on your shelf whose book_id is not a number or a non-empty string, which cannot be replaced: " + titles;
}

}  // namespace tomely
