#include "publish/PublishTarget.h"

#include <gtest/gtest.h>

namespace tomely {
namespace {

TEST(PublishTargetTest, TheOptionsChooseTheTargetByTheWizardsRules) {
    const std::vector<ExistingBook> shelf = {
        {"Mine", {"G-1"}, JSONValue(4)}, {"Other", {}, JSONValue("b-7")}, {"Nameless", {"G-3"}, std::nullopt}};
    const BookListing uploadedBefore{"G-1", shelf, 0U};
    const BookListing neverUploaded{"G-2", shelf, std::nullopt};
    // A book without an id is never pre-selected, even when its uploads carry the GUID.
    const BookListing uploadedWithoutId{"G-3", shelf, preselectedRow(shelf, "G-3")};
    const BookListing noList{"G-1", std::nullopt, std::nullopt};
    struct Case {
        const char* name;
        std::optional<std::string> replace;
        std::optional<std::string> title;
        const BookListing& listing;
        std::optional<JSONValue> bookId;
        std::optional<std::string> bookName;
        std::string refusal;
    };
    const Case cases[] = {
        {"neither: the book its uploads came from", {}, {}, uploadedBefore, JSONValue(4), {}, ""},
        {"neither, never uploaded",
         {},
         {},
         neverUploaded,
         {},
         {},
         "no book on your shelf was uploaded from this book (GUID G-2): choose one with --replace BOOK_ID (--list "
         "shows "
         "them), or publish a new one with --new TITLE; to finish a run with --new TITLE that was cut short, give the "
         "same --new TITLE again"},
        {"neither, and the book has no id",
         {},
         {},
         uploadedWithoutId,
         {},
         {},
         "no book on your shelf was uploaded from this book (GUID G-3): choose one with --replace BOOK_ID (--list "
         "shows "
         "them), or publish a new one with --new TITLE; to finish a run with --new TITLE that was cut short, give the "
         "same --new TITLE again"},
        {"a number as typed", "4", {}, neverUploaded, JSONValue(4), {}, ""},
        {"a text id keeps its type", "b-7", {}, uploadedBefore, JSONValue("b-7"), {}, ""},
        {"an id not on the shelf", "999", {}, uploadedBefore, {}, {}, "there is no book 999 on your shelf"},
        {"an id without a list", "4", {}, noList, {}, {}, "there is no book 4 on your shelf"},
        {"a new title", {}, "Fresh", uploadedBefore, {}, "Fresh", ""},
        {"a new title without a list", {}, "Mine", noList, {}, "Mine", ""},
        {"a title whose slug clashes",
         {},
         "MINE",
         uploadedBefore,
         {},
         {},
         "a book on your shelf already has a title like \"MINE\": choose another title, or replace that book with "
         "--replace BOOK_ID"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto target = resolvePublishTarget(c.replace, c.title, c.listing);
        if (const auto* refused = std::get_if<PublishFailure>(&target)) {
            EXPECT_EQ(static_cast<int>(refused->exit), 2);
            EXPECT_EQ(refused->message, c.refusal);
            continue;
        }
        EXPECT_EQ(c.refusal, "") << "accepted";
        EXPECT_EQ(std::get<UploadTarget>(target).bookId, c.bookId);
        EXPECT_EQ(std::get<UploadTarget>(target).bookName, c.bookName);
    }
}

}  // namespace
}  // namespace tomely
