#include "shelf/ExistingBook.h"

#include <gtest/gtest.h>

#include "shelf/UploadTarget.h"

namespace tomely {
namespace {

std::vector<ExistingBook> books(std::initializer_list<std::pair<const char*, std::vector<std::string>>> records) {
    std::vector<ExistingBook> list;
    long id = 10;
    for (const auto& [title, guids] : records) {
        list.push_back({std::string(title), guids, JSONValue(id++)});
    }
    return list;
}

TEST(ExistingBookTest, AListDecodesInOrderAndAnythingElseIsNoList) {
    const auto list = decodeExistingBooks(
        R"([{"book_id": 7, "title": "My Book", "downloads": [{"guid": "G1"}, {"guid": 5}, "x", {"guid": "G2"}],
             "created": "2024-01-01"},
            {"book_id": "b-8", "title": 3, "downloads": "none"},
            "not a record",
            {}])");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 4U) << "every element keeps its row";
    EXPECT_EQ((*list)[0].title, "My Book");
    EXPECT_EQ((*list)[0].downloadGuids, (std::vector<std::string>{"G1", "G2"}));
    EXPECT_EQ((*list)[0].bookId, JSONValue(7U));
    EXPECT_EQ((*list)[1].title, std::nullopt);
    EXPECT_EQ((*list)[1].displayTitle(), "");
    EXPECT_EQ((*list)[1].bookId, JSONValue("b-8")) << "handed on as the service sent it";
    EXPECT_EQ((*list)[3].bookId, std::nullopt);

    for (const char* body : {"", "not JSON", "{\"books\": []}", "\"text\"", "[1, "}) {
        SCOPED_TRACE(body);
        EXPECT_EQ(decodeExistingBooks(body), std::nullopt);
    }
    EXPECT_EQ(decodeExistingBooks("[]"), std::vector<ExistingBook>{});
}

// Only a number or a non-empty string names a book: any other "book_id" would reach the manifest
// and the form as nonsense, so such a record can be shown but not replaced, nor chosen in advance.
TEST(ExistingBookTest, ABookWhoseIdIsNotANumberOrAStringCannotBeReplaced) {
    struct Case {
        const char* bookId;
        std::optional<JSONValue> kept;
    };
    const Case cases[] = {
        {"7", JSONValue(7U)},
        {"-3", JSONValue(-3)},
        {"12.5", JSONValue(Decimal::fromString("12.5").value())},
        {R"("b-8")", JSONValue("b-8")},
        {R"("")", std::nullopt},
        {"[7]", std::nullopt},
        {R"({"id": 7})", std::nullopt},
        {"true", std::nullopt},
        {"null", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bookId != nullptr ? c.bookId : "absent");
        const std::string body = c.bookId != nullptr ? std::string(R"([{"title": "T", "book_id": )") + c.bookId + "}]"
                                                     : std::string(R"([{"title": "T"}])");
        const auto list = decodeExistingBooks(body);
        ASSERT_TRUE(list);
        ASSERT_EQ(list->size(), 1U);
        EXPECT_EQ((*list)[0].bookId, c.kept);
        EXPECT_EQ((*list)[0].canBeReplaced(), c.kept.has_value());
        EXPECT_EQ((*list)[0].title, "T") << "still listed";
    }

    // The last matching book wins among those that can be replaced.
    const auto list = decodeExistingBooks(
        R"([{"book_id": 1, "downloads": [{"guid": "G"}]}, {"book_id": 2, "downloads": [{"guid": "G"}]},
            {"book_id": [3], "downloads": [{"guid": "G"}]}, {"book_id": {}, "downloads": [{"guid": "H"}]}])");
    ASSERT_TRUE(list);
    EXPECT_EQ(preselectedRow(*list, "G"), 1U);
    EXPECT_EQ(preselectedRow(*list, "H"), std::nullopt);
}

TEST(ExistingBookTest, ABookIdIsFoundAsTypedAndKeepsTheListsType) {
    const auto list = decodeExistingBooks(
        R"([{"book_id": 7}, {"book_id": "7"}, {"book_id": "b-8"}, {"book_id": true}, {}, {"book_id": 12.5}])");
    ASSERT_TRUE(list);
    EXPECT_EQ(rowOfBookId(*list, "7"), 0U) << "the first record whose id reads so";
    EXPECT_EQ(rowOfBookId(*list, "b-8"), 2U);
    EXPECT_EQ(rowOfBookId(*list, "12.5"), 5U);
    for (const char* missing : {"", "true", "07", "8"}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(rowOfBookId(*list, missing), std::nullopt);
    }
    EXPECT_EQ((*list)[*rowOfBookId(*list, "7")].bookId, JSONValue(7U));
}

TEST(ExistingBookTest, ATypedNameWinsUnlessItsSlugClashes) {
    using Verdict = UploadTargetChoice::Verdict;
    std::vector<ExistingBook> list = books({{"My Book", {}}, {"2013", {}}, {"my-book!", {}}});
    list.push_back({std::nullopt, {}, std::nullopt});
    const std::optional<std::vector<ExistingBook>> some = list;
    struct Case {
        const char* name;
        const char* typed;
        std::optional<std::size_t> row;
        std::optional<std::vector<ExistingBook>> books;
        Verdict verdict;
        std::optional<JSONValue> bookId;
        std::optional<std::string> bookName;
    };
    const Case cases[] = {
        {"nothing", "", std::nullopt, some, Verdict::NothingChosen, {}, {}},
        {"a row", "", 1U, some, Verdict::Accepted, JSONValue(11), {}},
        {"a row without book_id cannot be chosen", "", 3U, some, Verdict::NothingChosen, {}, {}},
        {"a row past the end", "", 9U, some, Verdict::NothingChosen, {}, {}},
        {"a name beats a row", "Another", 0U, some, Verdict::Accepted, {}, "Another"},
        {"same slug in capitals", "MY BOOK", std::nullopt, some, Verdict::NameClash, {}, {}},
        {"slug clash ignores the row", "my book", 1U, some, Verdict::NameClash, {}, {}},
        {"digits only: empty slug like 2013", "1999!", std::nullopt, some, Verdict::NameClash, {}, {}},
        {"taken as typed, blanks and all", " x ", std::nullopt, some, Verdict::Accepted, {}, " x "},
        {"no list: a name", "My Book", std::nullopt, std::nullopt, Verdict::Accepted, {}, "My Book"},
        {"no list, no name", "", std::nullopt, std::nullopt, Verdict::NothingChosen, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UploadTargetChoice choice = chooseUploadTarget(c.typed, c.row, c.books);
        EXPECT_EQ(choice.verdict, c.verdict);
        EXPECT_EQ(choice.target.bookId, c.bookId);
        EXPECT_EQ(choice.target.bookName, c.bookName);
    }
    // "my-book!" and "My Book" reduce to "mybook" and "my-book": they do not clash.
    EXPECT_FALSE(nameClashesWithExistingTitle("My Book", books({{"my-book!", {}}})));
}

TEST(ExistingBookTest, WhileANameIsTypedTheTableIsSetAsideAndOnlyASelectedRowIsReplaced) {
    using Verdict = UploadTargetChoice::Verdict;
    const std::optional<std::vector<ExistingBook>> some = books({{"My Book", {}}, {"Other", {}}});
    struct Case {
        const char* name;
        const char* typed;
        std::optional<std::size_t> row;
        Verdict verdict;
        bool tableSetAside;
        std::optional<std::size_t> replacedRow;
    };
    const Case cases[] = {
        {"nothing yet", "", std::nullopt, Verdict::NothingChosen, false, std::nullopt},
        {"a row", "", 1U, Verdict::Accepted, false, 1U},
        {"a row past the end", "", 5U, Verdict::NothingChosen, false, std::nullopt},
        {"a name over a row", "New", 1U, Verdict::Accepted, true, std::nullopt},
        {"a name alone", "New", std::nullopt, Verdict::Accepted, true, std::nullopt},
        {"a clashing name over a row", "my book", 0U, Verdict::NameClash, true, std::nullopt},
        {"a blank is a name", " ", 0U, Verdict::Accepted, true, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UploadTargetPreview preview = previewUploadTarget(c.typed, c.row, some);
        EXPECT_EQ(preview.verdict, c.verdict);
        EXPECT_EQ(preview.tableSetAside, c.tableSetAside);
        EXPECT_EQ(preview.replacedRow, c.replacedRow);
    }
}

}  // namespace
}  // namespace tomely
