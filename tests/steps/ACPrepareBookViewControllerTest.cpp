#include "steps/ACPrepareBookViewController.h"

#include <gtest/gtest.h>

#include <optional>

#include "WizardFixture.h"
#include "common/ScriptedHTTPServer.h"
#include "steps/ACLocateBookViewController.h"
#include "steps/ACUploadBookViewController.h"
#include "steps/ACUploadDoneViewController.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

class ACPrepareBookViewControllerTest : public test::WizardFixture {
protected:
    ACPrepareBookViewControllerTest() {
        // The manifest asks for nothing, so a target that is accepted leads straight to the done step.
        server.setHandler([](const test::RecordedRequest& request) {
            return request.target.starts_with("/api/author/shelf/upload/manifest/") ? ScriptedResponse::text(200, "[]")
                                                                                    : ScriptedResponse::text(200, "{}");
        });
    }

    // Runs the wizard to the prepare-book step with the list `books` and a book of GUID "G".
    void startAtPrepareStep(const std::string& books) {
        launch(server.baseURL(), writeBook("book.iba", R"(<sl:textbook sl:GUID="G"></sl:textbook>)"));
        server.enqueue(ScriptedResponse::text(200, "{}"));
        signIn("ann@example.com", "secret");
        server.enqueue(ScriptedResponse::text(200, books));
        pressContinue();
        ASSERT_TRUE(waitForStep<ACPrepareBookViewController>());
    }

    test::ScriptedHTTPServer server;
};

TEST_F(ACPrepareBookViewControllerTest, TheRowOfTheLastBookHoldingTheGuidIsSelectedAndTheTableGetsTheKeyboard) {
    struct Case {
        const char* name;
        const char* books;
        std::vector<std::string> rows;
        int selected;
    };
    const Case cases[] = {
        {"the second book holds it",
         R"([{"title": "One", "book_id": 21, "downloads": [{"guid": "X"}]}, {"title": "Two", "book_id": 22, "downloads": [{"guid": "G"}]}])",
         {"One", "Two"},
         1},
        {"two books hold it: the later",
         R"([{"title": "One", "book_id": 23, "downloads": [{"guid": "G"}]}, {"title": "My Book", "book_id": 24, "downloads": []},
             {"title": "Three", "book_id": 25, "downloads": [{"guid": "X"}, {"guid": "G"}]}])",
         {"One", "My Book", "Three"},
         2},
        {"empty downloads, another GUID, another letter case",
         R"([{"title": "One", "book_id": 26, "downloads": []}, {"title": "Two", "book_id": 27, "downloads": [{"guid": "g"}]}])",
         {"One", "Two"},
         TableControl::kNoSelection},
        {"an empty list", "[]", {}, TableControl::kNoSelection},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startAtPrepareStep(c.books);
        EXPECT_EQ(test::chromeOf(*window), test::Chrome::atStep(3));
        EXPECT_EQ(prepareView().table.rows(), c.rows);
        EXPECT_EQ(prepareView().table.selectedRow(), c.selected);
        EXPECT_TRUE(runUntil([this] { return prepareView().table.firstResponderCount == 2; }));
    }
}

// Continue with each choice: the error label it shows, or what the manifest tells the service.
TEST_F(ACPrepareBookViewControllerTest, ATypedNameWinsOverTheSelectionAndAClashingOrMissingChoiceShowsItsLabel) {
    constexpr const char* kBooks = R"([{"title": "My Book", "book_id": 7, "downloads": [{"guid": "G"}]},
                                      {"title": "1999", "book_id": "b-8", "downloads": []},
                                      {"title": "my-book!", "book_id": 28, "downloads": []}])";
    enum class Outcome { NothingChosen, Clash, Uploaded };
    struct Case {
        const char* name;
        const char* books;
        const char* typed;
        std::optional<int> select;  // none: the row selected in advance stays
        Outcome outcome;
        std::vector<std::string> inManifest;     // when uploaded
        std::vector<std::string> notInManifest;  // when uploaded
    };
    const Case cases[] = {
        {"nothing typed, nothing selected", kBooks, "", TableControl::kNoSelection, Outcome::NothingChosen, {}, {}},
        {"an empty list and no name", "[]", "", std::nullopt, Outcome::NothingChosen, {}, {}},
        {"the row selected in advance",
         kBooks,
         "",
         std::nullopt,
         Outcome::Uploaded,
         {R"("bookId":7)"},
         {R"("bookName")"}},
        {"another row, its id a string", kBooks, "", 1, Outcome::Uploaded, {R"("bookId":"b-8")"}, {R"("bookName")"}},
        {"MY BOOK clashes with My Book", kBooks, "MY BOOK", std::nullopt, Outcome::Clash, {}, {}},
        {"digits and punctuation clash with a title of digits: both slugs are empty",
         kBooks,
         "2024!",
         std::nullopt,
         Outcome::Clash,
         {},
         {}},
        {"My Book beside my-book! only: the slugs differ",
         R"([{"title": "my-book!", "book_id": 29, "downloads": []}])",
         "My Book",
         std::nullopt,
         Outcome::Uploaded,
         {R"("bookName":"My Book")"},
         {R"("bookId")"}},
        {"a typed name while a row is selected makes a new book",
         kBooks,
         "A New One",
         0,
         Outcome::Uploaded,
         {R"("bookName":"A New One")"},
         {R"("bookId")"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startAtPrepareStep(c.books);
        prepareView().name.setText(c.typed);
        if (c.select) {
            prepareView().table.selectRow(*c.select);
        }
        const std::size_t requestsBefore = server.requestCount();
        pressContinue();
        if (c.outcome != Outcome::Uploaded) {
            drainMainLoop();
            EXPECT_EQ(!prepareView().error.isHidden(), c.outcome == Outcome::NothingChosen);
            EXPECT_EQ(!prepareView().clash.isHidden(), c.outcome == Outcome::Clash);
            EXPECT_NE(currentStep<ACPrepareBookViewController>(), nullptr);
            EXPECT_EQ(test::chromeOf(*window), test::Chrome::atStep(3));
            EXPECT_EQ(server.requestCount(), requestsBefore);
            continue;
        }
        EXPECT_TRUE(prepareView().error.isHidden());
        EXPECT_TRUE(prepareView().clash.isHidden());
        ASSERT_TRUE(waitForStep<ACUploadDoneViewController>());
        const std::string manifest = server.requests().back().body;
        for (const std::string& member : c.inManifest) {
            EXPECT_NE(manifest.find(member), std::string::npos) << member << " in " << manifest;
        }
        for (const std::string& member : c.notInManifest) {
            EXPECT_EQ(manifest.find(member), std::string::npos) << member << " in " << manifest;
        }
    }
}

TEST_F(ACPrepareBookViewControllerTest, SaysWhichChoiceContinueTakesAndSetsTheTableAsideWhileATitleIsTyped) {
    startAtPrepareStep(
        R"([{"title": "One", "book_id": 30, "downloads": [{"guid": "G"}]}, {"title": "My Book", "book_id": 31, "downloads": []},
                          {"title": "Three", "book_id": 32, "downloads": []}])");
    EXPECT_EQ(prepareView().choice.text(), R"(Continue will replace "One" on your shelf.)") << "the pre-selected row";
    EXPECT_FALSE(prepareView().table.isSetAside());

    struct Case {
        const char* name;
        int row;
        const char* typed;
        const char* choice;
        bool setAside;
    };
    const Case cases[] = {
        {"another row", 2, "", R"(Continue will replace "Three" on your shelf.)", false},
        {"a title over a row", 2, "Walk Through",
         R"(Continue will publish a new book titled "Walk Through"; the selected book stays as it is.)", true},
        {"a title alone", TableControl::kNoSelection, "Walk Through",
         R"(Continue will publish a new book titled "Walk Through".)", true},
        {"a title like one on the shelf", 1, "MY BOOK",
         R"(Continue will not publish "MY BOOK": a book with a title like it is on your shelf already.)", true},
        {"the title cleared", 1, "", R"(Continue will replace "My Book" on your shelf.)", false},
        {"nothing", TableControl::kNoSelection, "", "Continue needs a book to replace or a title for a new book.",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prepareView().table.selectRow(c.row);
        prepareView().name.setText(c.typed);
        EXPECT_EQ(prepareView().choice.text(), c.choice);
        EXPECT_EQ(prepareView().table.isSetAside(), c.setAside);
        EXPECT_EQ(prepareView().table.selectedRow(), c.row) << "setting the table aside keeps its selection";
    }
}

// A "book_id" that is not a number or a non-empty string cannot name the book to the service: its
// row is shown disabled, never chosen in advance, and Continue never sends it on.
TEST_F(ACPrepareBookViewControllerTest, ABookWhoseIdCannotNameItIsShownDisabledAndNeverChosen) {
    startAtPrepareStep(R"([{"title": "One", "book_id": 1, "downloads": [{"guid": "G"}]},
                          {"title": "Listed twice", "book_id": [1, 2], "downloads": [{"guid": "G"}]},
                          {"title": "No id", "downloads": [{"guid": "G"}]},
                          {"title": "Null", "book_id": null}, {"title": "Empty", "book_id": ""}])");
    EXPECT_EQ(prepareView().table.rows(),
              (std::vector<std::string>{"One", "[Listed twice]", "[No id]", "[Null]", "[Empty]"}));
    EXPECT_EQ(prepareView().table.selectedRow(), 0) << "the last book holding the GUID that can be replaced";

    for (const int row : {1, 2, 3, 4}) {
        SCOPED_TRACE(row);
        prepareView().table.selectRow(row);
        EXPECT_EQ(prepareView().table.selectedRow(), TableControl::kNoSelection);
        EXPECT_EQ(prepareView().choice.text(), "Continue needs a book to replace or a title for a new book.");
        pressContinue();
        EXPECT_FALSE(prepareView().error.isHidden()) << "nothing chosen";
        EXPECT_NE(currentStep<ACPrepareBookViewController>(), nullptr);
    }
}

}  // namespace
}  // namespace tomely
