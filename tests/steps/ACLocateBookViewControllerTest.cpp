#include "steps/ACLocateBookViewController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "WizardFixture.h"
#include "common/ScriptedHTTPServer.h"
#include "common/ZipBuilder.h"
#include "steps/ACPrepareBookViewController.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

constexpr const char* kIndex = R"(<sl:textbook sl:GUID="G-1"><sl:title>T</sl:title></sl:textbook>)";

class ACLocateBookViewControllerTest : public test::WizardFixture {
protected:
    // Signs in (the answer sets a session cookie) and waits for the locate-book step.
    void startAtLocateStep(std::optional<std::string> bookPath = std::nullopt) {
        launch(server.baseURL(), std::move(bookPath));
        server.enqueue(ScriptedResponse::text(200, "{}", {{"Set-Cookie", "session=s1; Path=/"}}));
        signIn("ann@example.com", "secret");
    }
    ACLocateBookViewController& step() const { return *currentStep<ACLocateBookViewController>(); }

    test::ScriptedHTTPServer server;
};

TEST_F(ACLocateBookViewControllerTest, TheLastSavedDocumentOfARunningIBooksAuthorIsProposed) {
    startAtLocateStep();
    using Documents = std::vector<OpenDocument>;
    struct Case {
        const char* name;
        std::vector<RunningApplication> running;
        Documents documents;
        std::vector<std::string> shown;
        std::size_t queries;
    };
    const Case cases[] = {
        {"not running", {{"com.example.other"}, {std::nullopt}}, {}, {}, 0},
        {"letter case does not matter, unsaved documents are passed over",
         {{"com.example.other"}, {"COM.Apple.iBooksAuthor"}},
         {{"/books/a.iba"}, {std::nullopt}, {"/books/c.iba"}},
         {"/books/a.iba", "/books/c.iba"},
         1},
        {"running without documents", {{"com.apple.ibooksauthor"}}, {}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop.workspace.running = c.running;
        desktop.workspace.documents = {{"com.apple.ibooksauthor", c.documents}};
        desktop.workspace.documentQueries.clear();
        locateView().icon.shownFiles.clear();
        step().autolocateBook();
        EXPECT_EQ(locateView().icon.shownFiles, c.shown);
        EXPECT_EQ(desktop.workspace.documentQueries.size(), c.queries);
    }
    EXPECT_EQ(step().bookPath(), "/books/c.iba");
    EXPECT_EQ(locateView().fileName.text(), "c.iba");
}

TEST_F(ACLocateBookViewControllerTest, TheBookTheAppWasOpenedWithWinsOverRunningApplications) {
    desktop.workspace.running = {{"com.apple.ibooksauthor"}};
    desktop.workspace.documents = {{"com.apple.ibooksauthor", {{"/books/open.iba"}}}};
    startAtLocateStep("/books/argument.iba");
    EXPECT_EQ(step().bookPath(), "/books/argument.iba");
    EXPECT_EQ(locateView().fileName.text(), "argument.iba");
    EXPECT_TRUE(desktop.workspace.documentQueries.empty());
}

TEST_F(ACLocateBookViewControllerTest, AMissingFileShowsTheLabelAndAPickedBookOpens) {
    startAtLocateStep("/no/such/book.iba");
    pressContinue();
    EXPECT_FALSE(locateView().error.isHidden());

    const std::string book = writeBook("picked.iba", kIndex);
    desktop.openPanel.answers = {std::nullopt, book};
    locateView().findBook.click();
    EXPECT_EQ(step().bookPath(), "/no/such/book.iba") << "cancelling keeps the book chosen before";
    locateView().findBook.click();
    EXPECT_EQ(desktop.openPanel.requests.back(), std::vector<std::string>{"iba"});
    EXPECT_EQ(step().bookPath(), book);

    // Files of an earlier run never mix with this book.
    const std::filesystem::path support = directory.pathOf("data/tomely-uploader");
    test::writeFile((support / "working" / "stale.xhtml").string(), "old");
    server.enqueue(ScriptedResponse::text(200, R"([{"title": "Mine", "book_id": 4, "downloads": [{"guid": "G-1"}]}])"));
    pressContinue();
    EXPECT_TRUE(locateView().error.isHidden());
    ASSERT_TRUE(waitForStep<ACPrepareBookViewController>());

    EXPECT_FALSE(std::filesystem::exists(support / "working" / "stale.xhtml"));
    EXPECT_TRUE(std::filesystem::exists(support / "working" / "OPS" / "chapter.xhtml"));
    // The bar followed the entries out of the archive, then went back to busy for the list call.
    EXPECT_EQ(locateView().progress.values, (std::vector<double>{1, 2}));
    EXPECT_EQ(locateView().progress.maxValue(), 2);
    EXPECT_TRUE(locateView().progress.isIndeterminate());
    EXPECT_EQ(server.requests().back().header("Cookie"), "session=s1");
    EXPECT_EQ(currentStep<ACPrepareBookViewController>()->bookGuid(), "G-1");
    EXPECT_EQ(prepareView().table.rows(), std::vector<std::string>{"Mine"});
}

// A book that cannot be opened, or a list that cannot be had, ends the wizard through its alert.
struct Failure {
    const char* name;
    const char* index;  // of the book; nullptr: no zip archive at all, "": no index.xml
    std::optional<ScriptedResponse> listAnswer;
    const char* messageText;
    const char* informative;
};

void PrintTo(const Failure& failure, std::ostream* out) {
    *out << failure.name;
}

class ACLocateBookViewControllerFailureTest : public ACLocateBookViewControllerTest,
                                              public ::testing::WithParamInterface<Failure> {
protected:
    std::string makeBook(const char* index) {
        if (index != nullptr && *index != '\0') {
            return writeBook("book.iba", index);
        }
        const std::string path = directory.pathOf("book.iba");
        if (index == nullptr) {
            test::writeFile(path, "not a zip archive");
        } else {
            test::ZipBuilder(path).add("OPS/a.xhtml", "<html/>");
        }
        return path;
    }
};

TEST_P(ACLocateBookViewControllerFailureTest, EndsTheWizardWithTheAlert) {
    startAtLocateStep(makeBook(GetParam().index));
    // Twice: the client tries once more after a connection lost without an answer.
    for (int times = 0; times < 2 && GetParam().listAnswer; ++times) {
        server.enqueue(*GetParam().listAnswer);
    }
    pressContinue();
    EXPECT_EQ(waitForFailureAlert(), GetParam().messageText);
    ASSERT_EQ(desktop.alerts.shown.size(), 1U);
    EXPECT_NE(desktop.alerts.shown[0].informativeText.find(GetParam().informative), std::string::npos)
        << desktop.alerts.shown[0].informativeText;
    drainMainLoop();
    EXPECT_EQ(currentStep<ACPrepareBookViewController>(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ACLocateBookViewControllerFailureTest,
    ::testing::Values(
        Failure{"NotAZip", nullptr, std::nullopt, "Extraction failed", "failed to open zip file"},
        Failure{"NoIndex", "", std::nullopt, "Extraction failed", "no readable index.xml"},
        Failure{"GuidElementOverTwoLines", "<sl:textbook sl:GUID=\"G-1\">\n</sl:textbook>", std::nullopt,
                "Extraction failed", "names no book GUID"},
        Failure{"ListAnswered401", kIndex, ScriptedResponse::text(401, ""), "HTTP failure", "status code 401"},
        Failure{"ListUnanswered", kIndex, ScriptedResponse::rawBytes(""), "HTTP failure", "status code 0"}),
    [](const ::testing::TestParamInfo<Failure>& param) { return std::string(param.param.name); });

TEST_F(ACLocateBookViewControllerTest, AnAnswerThatIsNotAJSONListLeavesOnlyANewBook) {
    startAtLocateStep(writeBook("book.iba", kIndex));
    server.enqueue(ScriptedResponse::text(200, "<html>not JSON</html>"));
    pressContinue();
    ASSERT_TRUE(waitForStep<ACPrepareBookViewController>());
    EXPECT_EQ(currentStep<ACPrepareBookViewController>()->existingBooks(), std::nullopt);
    EXPECT_TRUE(prepareView().table.rows().empty());
}

TEST_F(ACLocateBookViewControllerTest, AListLargerThanASmallAnswerIsRead) {
    startAtLocateStep(writeBook("book.iba", kIndex));
    // Past the 1 MiB every answer may have, within the list's 64 MiB.
    const std::string list = R"([{"title": "Mine", "book_id": 4, "downloads": []})" + std::string(2 << 20, ' ') + "]";
    server.enqueue(ScriptedResponse::text(200, test::gzip(list), {{"Content-Encoding", "gzip"}}));
    pressContinue();
    ASSERT_TRUE(waitForStep<ACPrepareBookViewController>());
    EXPECT_EQ(prepareView().table.rows(), std::vector<std::string>{"Mine"});
}

}  // namespace
}  // namespace tomely
