#include "steps/ACPrepareBookViewController.h"

#include <gtest/gtest.h>

#include "WizardFixture.h"
#include "common/ScriptedHTTPServer.h"
#include "steps/ACLocateBookViewController.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

class ACPrepareBookViewControllerTest : public test::WizardFixture {
protected:
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

TEST_F(ACPrepareBookViewControllerTest, ShowsTheListWithTheBookSelectedAndRefusesAnInvalidChoice) {
    startAtPrepareStep(R"([{"title": "One", "book_id": 1, "downloads": [{"guid": "G"}]},
                          {"title": "My Book", "book_id": 2, "downloads": []},
                          {"title": "Three", "book_id": 3, "downloads": [{"guid": "X"}, {"guid": "G"}]}])");
    EXPECT_EQ(prepareView().table.rows(), (std::vector<std::string>{"One", "My Book", "Three"}));
    EXPECT_EQ(prepareView().table.selectedRow(), 2) << "the last book holding the GUID";
    EXPECT_EQ(window->workingText.text(), "");
    runUntil([this] { return prepareView().table.firstResponderCount == 2; });

    prepareView().table.selectRow(TableControl::kNoSelection);
    pressContinue();
    EXPECT_FALSE(prepareView().error.isHidden()) << "neither a name nor a row";
    EXPECT_TRUE(prepareView().clash.isHidden());

    prepareView().name.setText("MY BOOK");
    pressContinue();
    EXPECT_TRUE(prepareView().error.isHidden());
    EXPECT_FALSE(prepareView().clash.isHidden()) << "both titles reduce to my-book";
    EXPECT_NE(currentStep<ACPrepareBookViewController>(), nullptr);
}

TEST_F(ACPrepareBookViewControllerTest, SaysWhichChoiceContinueTakesAndSetsTheTableAsideWhileATitleIsTyped) {
    startAtPrepareStep(R"([{"title": "One", "book_id": 1, "downloads": [{"guid": "G"}]},
                          {"title": "My Book", "book_id": 2, "downloads": []},
                          {"title": "Three", "book_id": 3, "downloads": []}])");
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
