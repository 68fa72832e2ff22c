#include "upload/BookSync.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "common/ImmediateRetries.h"
#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

// A sync of a five-part book in a directory of its own, as a command-line publisher runs it,
// against a scripted service that asks for the parts a test names (the first two unless told
// otherwise); every report is recorded.
class BookSyncTest : public test::MainLoopFixture {
protected:
    static constexpr const char* kFirstTwoParts = R"(["/cover.png.part00000","/cover.png.part00001"])";

    BookSyncTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        environment.set("XDG_CACHE_HOME", home.pathOf("cache"));
    }

    void start(ScriptedResponse partAnswer, std::optional<BookSyncStage> cancelAt = std::nullopt,
               std::string manifestAnswer = kFirstTwoParts, std::function<void(BookSyncStage)> onStage = {}) {
        begin(std::move(partAnswer), cancelAt, std::move(manifestAnswer), std::move(onStage));
        runToEnd();
    }

    void begin(ScriptedResponse partAnswer, std::optional<BookSyncStage> cancelAt = std::nullopt,
               std::string manifestAnswer = kFirstTwoParts, std::function<void(BookSyncStage)> onStage = {}) {
        server.setHandler([partAnswer, manifestAnswer](const test::RecordedRequest& request) {
            return request.target.starts_with("/api/author/shelf/upload/manifest/")
                       ? ScriptedResponse::text(200, manifestAnswer)
                       : partAnswer;
        });
        failures.clear();
        test::writeBytes(support + "/working/cover.png", test::noise(4500000, 3));
        stages.clear();
        results.clear();
        sync = BookSync::create(ShelfClient(), WorkArea::inDirectory(support), "GUID-7", {std::nullopt, "Title"});
        sync->setStageBlock([this, cancelAt, onStage](BookSyncStage stage) {
            stages.push_back(stage);
            if (onStage) {
                onStage(stage);
            }
            if (stage == cancelAt) {
                sync->cancel();
            }
        });
        sync->setFailureBlock([this](const BookSyncFailure& failure) { failures.push_back(failure); });
        sync->setFinishedBlock([this](BookSyncResult result) { results.push_back(result); });
        sync->setRetryPolicy(retryPolicy);
        sync->setRetryingBlock([this](const BookSyncRetry& retry) {
            const auto* call = std::get_if<CallFailure>(&retry.failure.cause);
            retries.push_back(std::to_string(static_cast<int>(retry.failure.stage)) + " " +
                              std::to_string(call ? call->statusCode : -1) + ": attempt " +
                              std::to_string(retry.attempt) + " of " + std::to_string(retry.attempts) + " in " +
                              std::to_string(retry.delay.count()) + " ms");
        });
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
    RetryPolicy retryPolicy;
    // "<stage> <status>: attempt <n> of <m> in <delay> ms".
    std::vector<std::string> retries;
};

// Four parts are under way together, and each of them fails at once.
TEST_F(BookSyncTest, TheFirstFailedPartIsReportedOnceWithWhatACommandLineNeeds) {
    ScriptedResponse busy = ScriptedResponse::text(503, "busy", {{"Retry-After", "120"}});
    busy.holdUntilReleased = true;
    begin(busy, std::nullopt,
          R"(["/cover.png.part00000","/cover.png.part00001","/cover.png.part00002","/cover.png.part00003",)"
          R"("/cover.png.part00004"])");
    ASSERT_TRUE(runUntil([&] { return server.requestCount() == 5; })) << "the manifest and four parts";
    server.releaseHeldAnswers();
    runToEnd();
    EXPECT_EQ(stages,
              (std::vector<BookSyncStage>{BookSyncStage::Splitting, BookSyncStage::Hashing, BookSyncStage::Comparing,
                                          BookSyncStage::Compressing, BookSyncStage::Uploading}));
    ASSERT_EQ(failures.size(), 1U);
    EXPECT_EQ(failures[0].stage, BookSyncStage::Uploading);
    const auto* call = std::get_if<CallFailure>(&failures[0].cause);
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->statusCode, 503);
    EXPECT_EQ(call->url, server.url("/api/author/shelf/upload/GUID-7/"));
    EXPECT_EQ(call->retryAfter, "120");
    EXPECT_FALSE(call->error.has_value()) << "an answer came";
    EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Failed});
    EXPECT_FALSE(std::filesystem::exists(support));
}

// Stage 2 is Comparing.
TEST_F(BookSyncTest, AManifestCallThatFailsForAWhileIsMadeAgainAndOnlyItsLastFailureIsReported) {
    const ScriptedResponse busy = ScriptedResponse::text(503, "busy");
    struct Case {
        const char* name;
        std::vector<ScriptedResponse> manifestAnswers;
        BookSyncResult result;
        std::vector<std::string> retries;
        int failedStatus;
    };
    const Case cases[] = {
        {"two 503s, then the answer",
         {busy, busy},
         BookSyncResult::Succeeded,
         {"2 503: attempt 2 of 3 in 1000 ms", "2 503: attempt 3 of 3 in 2000 ms"},
         0},
        {"three 503s spend the retries",
         {busy, busy, busy},
         BookSyncResult::Failed,
         {"2 503: attempt 2 of 3 in 1000 ms", "2 503: attempt 3 of 3 in 2000 ms"},
         503},
        {"a 404 is final", {ScriptedResponse::text(404, "no such book")}, BookSyncResult::Failed, {}, 404},
    };
    retryPolicy = test::immediateRetries(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        retries.clear();
        for (const ScriptedResponse& answer : c.manifestAnswers) {
            server.enqueue(answer);
        }
        start(ScriptedResponse::text(200, "{}"));
        EXPECT_EQ(results, std::vector<BookSyncResult>{c.result});
        EXPECT_EQ(retries, c.retries);
        if (c.failedStatus == 0) {
            EXPECT_TRUE(failures.empty());
        } else {
            ASSERT_EQ(failures.size(), 1U);
            EXPECT_EQ(failures[0].stage, BookSyncStage::Comparing);
            const auto* call = std::get_if<CallFailure>(&failures[0].cause);
            ASSERT_NE(call, nullptr);
            EXPECT_EQ(call->statusCode, c.failedStatus);
        }
    }
}

// Splitting and fingerprinting nothing still completes, so the service's answer decides.
TEST_F(BookSyncTest, AnEmptyWorkingDirectoryPostsAnEmptyManifest) {
    server.setHandler([](const test::RecordedRequest&) { return ScriptedResponse::text(400, "no"); });
    sync = BookSync::create(ShelfClient(), WorkArea::inDirectory(support), "GUID-7", {std::nullopt, "Title"});
    sync->setFailureBlock([this](const BookSyncFailure& failure) { failures.push_back(failure); });
    sync->setFinishedBlock([this](BookSyncResult result) { results.push_back(result); });
    sync->start();
    ASSERT_TRUE(runUntil([&] { return !results.empty(); }));
    EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Failed});
    ASSERT_EQ(server.requestCount(), 1U);
    EXPECT_NE(server.requests()[0].body.find(R"("hashes":{})"), std::string::npos) << server.requests()[0].body;
}

TEST_F(BookSyncTest, CancelEndsTheRunWithoutAFailureAndRemovesItsFiles) {
    ScriptedResponse held = ScriptedResponse::text(200, "{}");
    held.holdUntilReleased = true;
    for (const BookSyncStage stage :
         {BookSyncStage::Splitting, BookSyncStage::Hashing, BookSyncStage::Comparing, BookSyncStage::Uploading}) {
        SCOPED_TRACE(static_cast<int>(stage));
        start(held, stage);
        EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Cancelled});
        EXPECT_EQ(stages.back(), stage);
        EXPECT_TRUE(failures.empty());
        EXPECT_FALSE(std::filesystem::exists(support));
    }
    server.releaseHeldAnswers();
}

// Dropping a name the manifest did not offer is right; calling what is left a success is not.
TEST_F(BookSyncTest, AnAnswerThatIsNotAListOfOfferedNamesFailsTheSyncWithoutSendingAnything) {
    struct Case {
        const char* answer;
        long code;
        const char* description;
    };
    const Case cases[] = {
        {R"(["/cover.png.part00000","/../secret"])", kManifestAnswerNotOfferedCode,
         "the service's answer names \"/../secret\", which the manifest did not offer"},
        {R"(["/cover.png.part00000",7])", kManifestAnswerNotNamesCode,
         "the service's answer is not a list of part names"},
        {R"({"hashes":[]})", kManifestAnswerNotNamesCode, "the service's answer is not a list of part names"},
        {"no JSON", kManifestAnswerNotNamesCode, "the service's answer is not a list of part names"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        const std::size_t before = server.requestCount();
        start(ScriptedResponse::text(200, "{}"), std::nullopt, c.answer);
        EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Failed});
        ASSERT_EQ(failures.size(), 1U);
        EXPECT_EQ(failures[0].stage, BookSyncStage::Comparing);
        const auto* call = std::get_if<CallFailure>(&failures[0].cause);
        ASSERT_NE(call, nullptr) << "the call's answer is refused, not a file of this machine";
        EXPECT_EQ(call->statusCode, 200);
        EXPECT_EQ(call->url, server.url("/api/author/shelf/upload/manifest/GUID-7/"));
        ASSERT_TRUE(call->error.has_value());
        EXPECT_EQ(call->error->domain, kSyncManifestErrorDomain);
        EXPECT_EQ(call->error->code, c.code);
        EXPECT_EQ(call->error->localizedDescription(), c.description);
        EXPECT_EQ(server.requestCount() - before, 1U) << "the manifest only";
        EXPECT_FALSE(std::filesystem::exists(support));
    }

    // An empty list still means that the shelf holds everything, and a repeat is sent once.
    for (const auto& [answer, sent] :
         {std::pair{"[]", 1U}, std::pair{R"(["/cover.png.part00001","/cover.png.part00001"])", 2U}}) {
        SCOPED_TRACE(answer);
        const std::size_t before = server.requestCount();
        start(ScriptedResponse::text(200, "{}"), std::nullopt, answer);
        EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Succeeded});
        EXPECT_TRUE(failures.empty());
        EXPECT_EQ(server.requestCount() - before, sent);
    }
}

TEST_F(BookSyncTest, AFileThatCannotBeWrittenOrReadFailsTheSyncAsALocalFailureNamingIt) {
    const std::string working = support + "/working/";
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::function<void(BookSyncStage)> onStage;
        BookSyncStage stage;
        std::string description;
    };
    const Case cases[] = {
        {"a part in the way",
         [&] { std::filesystem::create_directories(working + "cover.png.part00001"); },
         {},
         BookSyncStage::Splitting,
         "Could not write \"" + working + "/cover.png.part00001\": Is a directory"},
        {"a part gone before its upload", [] {},
         [&](BookSyncStage stage) {
             if (stage == BookSyncStage::Comparing) {
                 std::filesystem::remove(working + "cover.png.part00001");
             }
         },
         BookSyncStage::Compressing,
         "Could not read \"" + working + "/cover.png.part00001\": No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(support);
        c.prepare();
        const std::size_t before = server.requestCount();
        start(ScriptedResponse::text(200, "{}"), std::nullopt, kFirstTwoParts, c.onStage);
        EXPECT_EQ(results, std::vector<BookSyncResult>{BookSyncResult::Failed});
        ASSERT_EQ(failures.size(), 1U);
        EXPECT_EQ(failures[0].stage, c.stage);
        const auto* local = std::get_if<Error>(&failures[0].cause);
        ASSERT_NE(local, nullptr) << "a file of this machine, not a call";
        EXPECT_EQ(local->localizedDescription(), c.description);
        EXPECT_EQ(server.requestCount() - before, c.stage == BookSyncStage::Splitting ? 0U : 1U) << "no part sent";
        EXPECT_FALSE(std::filesystem::exists(support));
    }
}

}  // namespace
}  // namespace tomely
