#include "upload/BookSync.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

// A sync of a five-part book in a directory of its own, as a command-line publisher runs it,
// against a scripted service that asks for every part; every report is recorded.
class BookSyncTest : public test::MainLoopFixture {
protected:
    BookSyncTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        environment.set("XDG_CACHE_HOME", home.pathOf("cache"));
    }

    void start(ScriptedResponse partAnswer, std::optional<BookSyncStage> cancelAt = std::nullopt) {
        begin(std::move(partAnswer), cancelAt);
        runToEnd();
    }

    void begin(ScriptedResponse partAnswer, std::optional<BookSyncStage> cancelAt = std::nullopt) {
        server.setHandler([partAnswer](const test::RecordedRequest& request) {
            return request.target.starts_with("/api/author/shelf/upload/manifest/")
                       ? ScriptedResponse::text(200, R"(["/cover.png.part00000","/cover.png.part00001",)"
                                                     R"("/cover.png.part00002","/cover.png.part00003",)"
                                                     R"("/cover.png.part00004"])")
                       : partAnswer;
        });
        test::writeBytes(support + "/working/cover.png", test::noise(4500000, 3));
        stages.clear();
        results.clear();
        sync = BookSync::create(support, {"GUID-7", std::nullopt, "Title"});
        sync->setStageBlock([this, cancelAt](BookSyncStage stage) {
            stages.push_back(stage);
            if (stage == cancelAt) {
                sync->cancel();
            }
        });
        sync->setFailureBlock([this](const BookSyncFailure& failure) { failures.push_back(failure); });
        sync->setFinishedBlock([this](BookSyncResult result) { results.push_back(result); });
        sync->start();
    }

    void runToEnd() {
        ASSERT_TRUE(runUntil([&] { return !results.empty(); }));
        drainMainLoop();
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

// Four parts are under way together, and each of them fails at once.
TEST_F(BookSyncTest, TheFirstFailedPartIsReportedOnceWithWhatACommandLineNeeds) {
    ScriptedResponse busy = ScriptedResponse::text(503, "busy", {{"Retry-After", "120"}});
    busy.holdUntilReleased = true;
    begin(busy);
    ASSERT_TRUE(runUntil([&] { return server.requestCount() == 5; })) << "the manifest and four parts";
    server.releaseHeldAnswers();
    runToEnd();
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
    EXPECT_FALSE(std::filesystem::exists(support));
}

TEST_F(BookSyncTest, CancelEndsTheRunWithoutAFailureAndRemovesItsFiles) {
    ScriptedResponse held = ScriptedResponse::text(200, "{}");
    held.holdUntilReleased = true;
    for (const BookSyncStage stage : {BookSyncStage::Splitting, BookSyncStage::Comparing, BookSyncStage::Uploading}) {
        SCOPED_TRACE(static_cast<int>(stage));
        start(held, stage);
        EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Cancelled});
        EXPECT_EQ(stages.back(), stage);
        EXPECT_TRUE(failures.empty());
        EXPECT_FALSE(std::filesystem::exists(support));
    }
    server.releaseHeldAnswers();
}

}  // namespace
}  // namespace tomely
