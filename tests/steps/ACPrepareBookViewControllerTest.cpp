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
    startAtPrepareStep(R"([{"title": "One", "downloads": [{"guid": "G"}]}, {"title": "My Book", "downloads": []},
                          {"title": "Three", "downloads": [{"guid": "X"}, {"guid": "G"}]}])");
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

}  // namespace
}  // namespace tomely
