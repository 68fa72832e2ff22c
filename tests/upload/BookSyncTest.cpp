#include "upload/BookSync.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

// A sync of a two-part book in its own directory, as a command-line publisher would run it,
// against a scripted service; every report is recorded.
class BookSyncTest : public test::MainLoopFixture {
protected:
    BookSyncTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        test::writeBytes(support + "/working/book/cover.png", test::noise(1500000, 3));
        sync = BookSync::create(support, {"GUID-7", std::nullopt, "Title"});
        sync->setStageBlock([this](BookSyncStage stage) { stages.push_back(stage); });
        sync->setFailureBlock([this](const BookSyncFailure& failure) { failures.push_back(failure); });
        sync->setFinishedBlock([this](BookSyncResult result) { results.push_back(result); });
    }

    // The manifest asks for both parts; part uploads get `partAnswer`.
    void answerParts(ScriptedResponse partAnswer) {
        server.setHandler([partAnswer](const test::RecordedRequest& request) {
            if (request.target.starts_with("/api/author/shelf/upload/manifest/")) {
                return ScriptedResponse::text(200, R"(["/book/cover.png.part00000","/book/cover.png.part00001"])");
            }
            return partAnswer;
        });
    }

    test::ScriptedHTTPServer server;
    test::ScopedEnvironment environment;
    test::TemporaryDirectory home;
    const std::string support = home.path() + "/publisher";
    std::shared_ptr<BookSync> sync;
    std::vector<BookSyncStage> stages;
    std::vector<BookSyncFailure> failures;
    std::vector<BookSyncResult> results;
};

TEST_F(BookSyncTest, TheFirstFailedPartIsReportedOnceWithWhatACommandLineNeeds) {
    answerParts(ScriptedResponse::text(503, "busy", {{"Retry-After", "120"}}));
    sync->start();
    ASSERT_TRUE(runUntil([&] { return !results.empty(); }));
    drainMainLoop();

    EXPECT_EQ(stages,
              (std::vector<BookSyncStage>{BookSyncStage::Splitting, BookSyncStage::Hashing, BookSyncStage::Comparing,
                                          BookSyncStage::Compressing, BookSyncStage::Uploading}));
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_EQ(failures[0].stage, BookSyncStage::Uploading);
    EXPECT_EQ(failures[0].statusCode, 503);
    EXPECT_EQ(failures[0].url, server.url("/api/author/shelf/upload/GUID-7/"));
    EXPECT_EQ(failures[0].retryAfter, "120");
    EXPECT_FALSE(failures[0].error.has_value()) << "an answer came";
    EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Failed});
    EXPECT_EQ(server.requestCount(), 2U) << "the manifest and the first part; the second part was cancelled";
    EXPECT_FALSE(std::filesystem::exists(support));
    EXPECT_TRUE(sync->hasFailed());
}

TEST_F(BookSyncTest, CancelEndsTheRunWithoutAFailureAndRemovesItsFiles) {
    const struct {
        const char* name;
        BookSyncStage cancelAt;
    } cases[] = {{"manifest call", BookSyncStage::Comparing}, {"uploads", BookSyncStage::Uploading}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedResponse held = ScriptedResponse::text(200, "{}");
        held.holdUntilReleased = true;
        if (c.cancelAt == BookSyncStage::Comparing) {
            server.setHandler([held](const auto&) { return held; });
        } else {
            answerParts(held);
        }
        sync->setStageBlock([this, &c](BookSyncStage stage) {
            if (stage == c.cancelAt) {
                sync->cancel();
            }
        });
        sync->start();
        ASSERT_TRUE(runUntil([&] { return !results.empty(); }));
        EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Cancelled});
        EXPECT_TRUE(failures.empty());
        EXPECT_FALSE(std::filesystem::exists(support));

        results.clear();
        test::writeBytes(support + "/working/book/cover.png", test::noise(1500000, 3));
        sync = BookSync::create(support, {"GUID-7", std::nullopt, "Title"});
        sync->setFinishedBlock([this](BookSyncResult result) { results.push_back(result); });
        sync->setFailureBlock([this](const BookSyncFailure& failure) { failures.push_back(failure); });
    }
    server.releaseHeldAnswers();
}

}  // namespace
}  // namespace tomely
