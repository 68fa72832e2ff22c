// tomely-publish against a service that answers with odd lists and headers, and with books that
// carry odd GUIDs: what reaches the author's terminal, and which books it may replace.
#include <gtest/gtest.h>

#include <chrono>

#include "ShelfProcess.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"

namespace tomely {
namespace {

using shelf::client::ShelfProcess;
using test::ScriptedResponse;
constexpr auto kDeadline = std::chrono::seconds(120);

class PublishOddAnswersTest : public ::testing::Test {
protected:
    PublishOddAnswersTest() { environment_.set("XDG_CACHE_HOME", directory_.pathOf("cache")); }

    // The service signs anyone in and answers the list call with `list`.
    void answerList(ScriptedResponse list) {
        service_.setHandler([list](const test::RecordedRequest& request) {
            return request.target.ends_with("/auth/") ? ScriptedResponse::text(200, "") : list;
        });
    }

    // A small book whose index.xml names `guid`.
    std::string writeBook(const std::string& guid) {
        const std::string path = directory_.pathOf("book-" + std::to_string(++books_) + ".iba");
        test::ZipBuilder(path)
            .add("index.xml", "<sl:textbook sl:GUID=\"" + guid + "\"></sl:textbook>\n")
            .add("chapter.xhtml", "<html/>");
        return path;
    }

    // Runs tomely-publish on `book` to its end: its exit status, and all it printed.
    std::pair<int, std::string> publish(const std::string& book, std::vector<std::string> options) {
        // Each failure as it comes: retries are shown elsewhere.
        std::vector<std::string> arguments = {
            "--email", "ann@example.com", "--password-stdin", "--service", service_.baseURL(), "--retries", "0"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(book);
        ShelfProcess run(TOMELY_PUBLISH_EXECUTABLE, arguments, std::string("secret\n"));
        const int status = run.wait(kDeadline);
        return {status, run.output()};
    }

    test::TemporaryDirectory directory_;
    test::ScopedEnvironment environment_;
    test::ScriptedHTTPServer service_;
    int books_ = 0;
};

TEST_F(PublishOddAnswersTest, ControlCharactersFromTheServiceOrTheBookReachTheTerminalEscaped) {
    struct Case {
        const char* name;
        std::string guid;
        ScriptedResponse list;
        std::vector<std::string> options;
        int status;
        std::string says;
    };
    const Case cases[] = {
        {"a GUID that clears the screen",
         "G\x1b[2J",
         ScriptedResponse::text(200, "[]"),
         {},
         2,
         "no book on your shelf was uploaded from this book (GUID G\\u001b[2J)"},
        {"a book_id that turns the text red",
         "G",
         ScriptedResponse::text(200, R"([{"title": "T", "book_id": "7\u001b[31m", "downloads": [{"guid": "G"}]}])"),
         {"--dry-run"},
         0,
         "would go to book 7\\u001b[31m. Nothing was published."},
        {"a Retry-After that rings the bell",
         "G",
         ScriptedResponse::text(503, "busy", {{"Retry-After", "5\x07\x1b[1A"}}),
         {},
         6,
         "the service answered 503 (" + service_.url("/api/author/shelf/upload/list/") +
             "); retry after 5\\u0007\\u001b[1A s"},
        {"a title typed with an escape",
         "G",
         ScriptedResponse::text(200, "[]"),
         {"--new", "New\x1b[0m", "--dry-run"},
         0,
         "would go to the new book \"New\\u001b[0m\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answerList(c.list);
        const auto [status, output] = publish(writeBook(c.guid), c.options);
        EXPECT_EQ(status, c.status) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_EQ(output.find('\x1b'), std::string::npos) << output;
        EXPECT_EQ(output.find('\x07'), std::string::npos) << output;
    }
}

TEST_F(PublishOddAnswersTest, ABookWhoseIdIsNotANumberOrAStringIsIgnoredAndSaidSo) {
    struct Case {
        const char* name;
        const char* list;
        std::vector<std::string> options;
        int status;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"beside a book that can be replaced",
         R"([{"title": "Good", "book_id": 7, "downloads": [{"guid": "G"}]},
             {"title": "Array", "book_id": [8], "downloads": [{"guid": "G"}]},
             {"title": "Object", "book_id": {"id": 9}}])",
         {"--dry-run"},
         0,
         {"tomely-publish: ignoring 2 books on your shelf whose book_id is not a number or a non-empty string, "
          "which cannot be replaced: \"Array\", \"Object\"\n",
          "would go to book 7. Nothing was published.\n"}},
        {"alone",
         R"([{"title": "Array", "book_id": [8], "downloads": [{"guid": "G"}]}, {"book_id": null}])",
         {},
         2,
         {"tomely-publish: ignoring 2 books on your shelf whose book_id is not a number or a non-empty string, "
          "which cannot be replaced: \"Array\", (no title)\n",
          "no book on your shelf was uploaded from this book (GUID G)"}},
        {"in JSON events",
         R"([{"title": "Array", "book_id": [8]}])",
         {"--json", "--new", "Fresh", "--dry-run"},
         0,
         {R"("event":"notice","message":"ignoring a book on your shelf whose book_id is not a number or a )"
          R"(non-empty string, which cannot be replaced: \"Array\""})",
          R"("outcome":"dry-run")"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        answerList(ScriptedResponse::text(200, c.list));
        const auto [status, output] = publish(writeBook("G"), c.options);
        EXPECT_EQ(status, c.status) << output;
        for (const std::string& text : c.says) {
            EXPECT_NE(output.find(text), std::string::npos) << text << "\nin:\n" << output;
        }
        EXPECT_EQ(output.find("book :"), std::string::npos) << output;
    }
}

}  // namespace
}  // namespace tomely
