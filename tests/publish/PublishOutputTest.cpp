#include "publish/PublishOutput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "publish/Publisher.h"
#include "session/UploadRate.h"

namespace tomely {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(PublishOutputTest, TheEstimateFollowsTheCapAndTheMeasuredRate) {
    const UploadRate::Clock::time_point start{};
    UploadRate capped(1'000'000);
    capped.sample(start, 0);
    EXPECT_EQ(capped.secondsLeft(4'000'000), 4.0) << "before any rate is measured, the cap bounds it";
    capped.sample(start + 1s, 3'000'000);  // a burst faster than the cap
    EXPECT_EQ(capped.bytesPerSecond(), 1'000'000.0);
    EXPECT_EQ(capped.secondsLeft(4'000'000), 1.0);

    UploadRate free;
    free.sample(start, 0);
    EXPECT_EQ(free.secondsLeft(10), std::nullopt);
    free.sample(start + 2s, 500'000);
    free.sample(start + 4s, 1'000'000);
    EXPECT_EQ(free.bytesPerSecond(), 250'000.0);
    EXPECT_EQ(free.secondsLeft(2'000'000), 4.0);
    free.sample(start + 10s, 2'000'000);
    EXPECT_EQ(free.bytesPerSecond(), 1'000'000.0 / 6) << "only the last few seconds count";
}

TEST(PublishOutputTest, ATerminalSeesOneLinePerStageRewrittenInPlace) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    {
        TextOutput output(out, out, true);
        output.stage(SessionStage::Uploading, "Uploading book");
        output.upload({1'500'000, 4'000'000, 1'000'000.0, 2.5});
        output.upload({4'000'000, 4'000'000, std::nullopt, std::nullopt});
        output.failed({PublishExit::ServiceError, "the service answered 503"});
    }
    std::fclose(out);
    EXPECT_EQ(std::string(text, length),
              "\r\033[KUploading book"
              "\r\033[KUploading book: 1.5 of 4.0 MB, 1.0 MB/s, 0:03 left"
              "\r\033[KUploading book: 4.0 of 4.0 MB\n"
              "tomely-publish: the service answered 503\n");
    std::free(text);
}

// What a text output prints on a log or a pipe (not a terminal), stdout and stderr together.
std::string printed(const std::function<void(TextOutput&)>& use) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    {
        TextOutput output(out, out, false);
        use(output);
    }
    std::fclose(out);
    std::string result(text, length);
    std::free(text);
    return result;
}

PublishSummary dryRunTo(std::optional<JSONValue> bookId, std::optional<std::string> title = std::nullopt) {
    PublishSummary summary;
    summary.outcome = PublishSummary::Outcome::DryRun;
    summary.session.parts = 5;
    summary.session.compressedBytes = 1'000'000;
    summary.session.target = UploadTarget{std::move(bookId), std::move(title)};
    return summary;
}

TEST(PublishOutputTest, ControlCharactersFromTheServiceOrTheBookArePrintedEscaped) {
    struct Case {
        const char* name;
        std::function<void(TextOutput&)> use;
        std::string printed;
    };
    const Case cases[] = {
        {"a Retry-After that retitles the window",
         [](TextOutput& output) {
             output.failed(
                 requestFailure("signing in", {503, "http://127.0.0.1:1/", std::nullopt, "\x1b]0;owned\x07", false}));
         },
         "tomely-publish: signing in failed: the service answered 503 (http://127.0.0.1:1/); retry after "
         "\\u001b]0;owned\\u0007 s\n"},
        {"a book_id that clears the screen",
         [](TextOutput& output) { output.succeeded(dryRunTo(JSONValue("7\x1b[2J"))); },
         "Dry run: 5 parts, 1.0 MB compressed would go to book 7\\u001b[2J. Nothing was published.\n"},
        {"a title with a C1 control and a byte that is not UTF-8",
         [](TextOutput& output) {
             output.succeeded(dryRunTo(std::nullopt,
                                       "Walk \xC2\x9B"
                                       "31m \x9B"
                                       "0m"));
         },
         "Dry run: 5 parts, 1.0 MB compressed would go to the new book \"Walk \\u009b31m \xEF\xBF\xBD"
         "0m\". "
         "Nothing was published.\n"},
        {"a GUID with line ends, a tab, DEL and NUL",
         [](TextOutput& output) {
             output.failed({PublishExit::Usage,
                            "no book (GUID a\rb\nc\td\x7f"
                            "e\0f)"s});
         },
         "tomely-publish: no book (GUID a\\rb\\nc\\td\\u007fe\\u0000f)\n"},
        {"a file name in a stage",
         [](TextOutput& output) { output.stage(SessionStage::Opening, "Opening \x1b[8mx.iba"); },
         "Opening \\u001b[8mx.iba\n"},
        {"text that needs no escaping",
         [](TextOutput& output) {
             output.stage(SessionStage::Opening, "Opening Caf\xC3\xA9 \xE2\x80\x94 \\ \"x\".iba");
         },
         "Opening Caf\xC3\xA9 \xE2\x80\x94 \\ \"x\".iba\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(printed(c.use), c.printed);
    }
}

}  // namespace
}  // namespace tomely
