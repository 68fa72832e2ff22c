#include "steps/ACLocateBookViewController.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "WizardFixture.h"
#include "common/FileModes.h"
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
    // A book of that index.xml; nullptr: a file that is no zip archive, "": an archive without one.
    std::string makeBook(const char* index) {
        const std::string path = directory.pathOf("book.iba");
        if (index == nullptr) {
            test::writeFile(path, "not a zip archive");
        } else if (*index == '\0') {
            test::ZipBuilder(path).add("OPS/a.xhtml", "<html/>");
        } else {
            return writeBook("book.iba", index);
        }
        return path;
    }

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

// The extracted book is the author's alone: its folders are closed to others, and nothing the
// extraction writes below them can be changed by anyone else.
TEST_F(ACLocateBookViewControllerTest, TheExtractedBookIsTheOwnersAloneUnderTheUsualUmask) {
    test::ScopedUmask umask(022);
    startAtLocateStep(writeBook("book.iba", kIndex));
    server.enqueue(ScriptedResponse::text(200, "[]"));
    pressContinue();
    ASSERT_TRUE(waitForStep<ACPrepareBookViewController>());

    const std::string support = directory.pathOf("data/tomely-uploader");
    EXPECT_EQ(test::permissionsOf(support), 0700);
    EXPECT_EQ(test::permissionsOf(support + "/working"), 0700);
    std::vector<std::string> writableByOthers;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(support)) {
        if ((test::permissionsOf(entry.path().string()) & 022) != 0) {
            writableByOthers.push_back(entry.path().string());
        }
    }
    EXPECT_EQ(writableByOthers, std::vector<std::string>{});
    EXPECT_TRUE(std::filesystem::exists(support + "/working/OPS/chapter.xhtml"));
}

// What the author sees from Continue on: the working texts in turn, then the next step or the alert.
TEST_F(ACLocateBookViewControllerTest, EachBookAndEachListAnswerEndsAsTheAuthorSeesIt) {
    using test::Chrome;
    const std::string list = server.url("/api/author/shelf/upload/list/");
    const auto failed = [&](int status) {
        return "A HTTP call failed with status code " + std::to_string(status) + ". Can not continue. \n" + list;
    };
    const std::vector<std::string> opening = {"Opening book"};
    const std::vector<std::string> fetching = {"Opening book", "Fetching your books from 127.0.0.1"};
    const std::vector<std::string> handedOver = {"Opening book", "Fetching your books from 127.0.0.1", ""};
    const Chrome prepareStep = Chrome::atStep(3);
    const Chrome stuckAt =
        Chrome::atStep(2).withWorking("Fetching your books from 127.0.0.1").withContinue(true, false);
    const Chrome stuckOpening = Chrome::atStep(2).withWorking("Opening book").withContinue(true, false);
    struct Case {
        const char* name;
        const char* index;                           // of the book; nullptr: no zip archive at all, "": no index.xml
        std::optional<ScriptedResponse> listAnswer;  // none: the connection closes without a word
        std::vector<std::string> workingTexts;
        Chrome chrome;
        std::vector<std::string> rows;  // of the next step's table
        const char* messageText;        // of the alert; nullptr: none
        std::string informativeText;
    };
    const Case cases[] = {
        {"a list",
         kIndex,
         ScriptedResponse::text(200, R"([{"title": "Mine", "book_id": 4, "downloads": [{"guid": "G-1"}]}])"),
         handedOver,
         prepareStep,
         {"Mine"},
         nullptr,
         ""},
        {"204 without a body", kIndex, ScriptedResponse::text(204, ""), handedOver, prepareStep, {}, nullptr, ""},
        {"an answer that is not JSON",
         kIndex,
         ScriptedResponse::text(200, "<html>not JSON</html>"),
         handedOver,
         prepareStep,
         {},
         nullptr,
         ""},
        {"401", kIndex, ScriptedResponse::text(401, ""), fetching, stuckAt, {}, "HTTP failure", failed(401)},
        {"504", kIndex, ScriptedResponse::text(504, ""), fetching, stuckAt, {}, "HTTP failure", failed(504)},
        {"500",
         kIndex,
         ScriptedResponse::text(500, ""),
         fetching,
         stuckAt,
         {},
         "Server error",
         "There was a problem with a server at 127.0.0.1. Please try again later"},
        {"no answer", kIndex, std::nullopt, fetching, stuckAt, {}, "HTTP failure", failed(0)},
        {"not a zip archive",
         nullptr,
         {},
         opening,
         stuckOpening,
         {},
         "Extraction failed",
         "Extraction failed. Can not continue. \nfailed to open zip file"},
        {"no index.xml",
         "",
         {},
         opening,
         stuckOpening,
         {},
         "Extraction failed",
         "Extraction failed. Can not continue. \nThe book has no readable index.xml at its top level."},
        {"a GUID made only of dots",
         R"(<sl:textbook sl:GUID=".."></sl:textbook>)",
         {},
         opening,
         stuckOpening,
         {},
         "Extraction failed",
         "Extraction failed. Can not continue. \nThe book's index.xml names the book GUID \"..\", made only of dots, "
         "which cannot name a book on the service."},
        {"the GUID's element over two lines",
         "<sl:textbook sl:GUID=\"G-1\">\n</sl:textbook>",
         {},
         opening,
         stuckOpening,
         {},
         "Extraction failed",
         "Extraction failed. Can not continue. \nThe book's index.xml names no book GUID: no sl:textbook element "
         "with an sl:GUID attribute lies on one line."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startAtLocateStep(makeBook(c.index));
        EXPECT_EQ(test::chromeOf(*window), test::Chrome::atStep(2));
        // Every try of the call meets the silence, however often the client tries.
        server.setHandler([answer = c.listAnswer](const test::RecordedRequest&) {
            return answer.value_or(ScriptedResponse::rawBytes(""));
        });
        const std::size_t alertsBefore = desktop.alerts.shown.size();
        window->workingText.texts.clear();
        pressContinue();
        runUntil([&] {
            return currentStep<ACPrepareBookViewController>() != nullptr || desktop.alerts.shown.size() > alertsBefore;
        });
        drainMainLoop();
        EXPECT_EQ(window->workingText.texts, c.workingTexts);
        EXPECT_EQ(test::chromeOf(*window), c.chrome);
        if (c.messageText == nullptr) {
            EXPECT_EQ(desktop.alerts.shown.size(), alertsBefore);
            ASSERT_NE(currentStep<ACPrepareBookViewController>(), nullptr);
            EXPECT_EQ(prepareView().table.rows(), c.rows);
            continue;
        }
        EXPECT_EQ(currentStep<ACPrepareBookViewController>(), nullptr);
        ASSERT_EQ(desktop.alerts.shown.size(), alertsBefore + 1);
        EXPECT_EQ(desktop.alerts.shown.back().messageText, c.messageText);
        EXPECT_EQ(desktop.alerts.shown.back().informativeText, c.informativeText);
    }
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
