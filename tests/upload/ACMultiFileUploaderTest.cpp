#include "upload/ACMultiFileUploader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "TestFiles.h"
#include "common/ImmediateRetries.h"
#include "common/MainLoopFixture.h"
#include "common/NetworkEmulator.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "http/HTTPRequestError.h"
#include "platform/MainLoop.h"

namespace tomely {
namespace {

using namespace std::chrono_literals;

// The uploader's side of the protocol; that the service accepts what it sends (size, CRC-32 and
// fingerprint of the deflated part) is shown end to end by the upload step's tests.
using ACMultiFileUploaderTest = test::MainLoopFixture;

TEST_F(ACMultiFileUploaderTest, EachNameIsOnePostInListOrderAndTheUploaderLetsGoOfItself) {
    test::ScriptedHTTPServer server;
    server.setHandler([](const auto&) { return test::ScriptedResponse::text(200, "{}"); });
    test::ScopedEnvironment environment;
    environment.set("TOMELY_SERVICE_URL", server.baseURL());
    test::TemporaryDirectory support;
    const std::vector<std::string> names = {"/a b/ç.txt.part00000", "/empty.part00000"};
    test::writeBytes(support.path() + "/working" + names[0], test::text(300000));
    test::writeBytes(support.path() + "/working" + names[1], {});

    auto uploader = ACMultiFileUploader::create(WorkArea::inDirectory(support.path()));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> compressions;
    bool compressedOnMainThread = false;
    double lastFraction = -1;
    int finished = 0;
    uploader->setCompressionBlock([&](ACMultiFileUploader&, std::uint64_t done, std::uint64_t total) {
        compressions.emplace_back(done, total);
        compressedOnMainThread = compressedOnMainThread || loop().isMainThread();
    });
    uploader->setProgressBlock([&](ACMultiFileUploader&, NetworkQueue&, double fraction) { lastFraction = fraction; });
    uploader->setQueueFinishedBlock([&](ACMultiFileUploader&, NetworkQueue&) { ++finished; });
    const std::weak_ptr<ACMultiFileUploader> weak = uploader;
    uploader->uploadFiles(names, "GUID-1", {{"format", "iba"}, {"bookName", "A Title"}});
    try {
        uploader->uploadFiles(names, "GUID-1", {});
        ADD_FAILURE() << "a second batch started while the first was under way";
    } catch (const UploadInProgress& refusal) {
        EXPECT_STREQ(refusal.what(), "Create another instance");
    }
    uploader.reset();
    ASSERT_TRUE(runUntil([&] { return finished == 1; }));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(requests[i].target, "/api/author/shelf/upload/GUID-1/");
        EXPECT_FALSE(requests[i].hasHeader("Content-Encoding")) << "the part is deflated already";
        const std::string& body = requests[i].body;
        const std::string fields[] = {"name", "isZipped", "isBatch",  "batchTotal", "batchCurrent",
                                      "size", "crc",      "bookName", "format"};
        const std::string values[] = {names[i], "1", "1", "1", std::to_string(i), i == 0 ? "300000" : "0"};
        std::size_t at = 0;
        for (std::size_t f = 0; f < std::size(fields); ++f) {
            std::string field = "name=\"" + fields[f] + "\"\r\n\r\n";
            field += f < std::size(values) ? values[f] + "\r\n" : "";
            at = body.find(field, at);
            EXPECT_NE(at, std::string::npos) << fields[f] << " is missing, or out of order";
        }
        EXPECT_NE(body.find("name=\"file\"; filename=\"file\"\r\nContent-Type: application/octet-stream", at),
                  std::string::npos);
    }
    EXPECT_EQ(compressions, (decltype(compressions){{1, 2}, {2, 2}}));
    EXPECT_FALSE(compressedOnMainThread);
    EXPECT_DOUBLE_EQ(lastFraction, 1.0);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(test::entryNames(support.path()), std::vector<std::string>{"working"}) << "nothing staged is left";
}

// "batchCurrent" of a recorded part upload.
std::size_t batchCurrentOf(const test::RecordedRequest& request) {
    const std::string field = "name=\"batchCurrent\"\r\n\r\n";
    const std::size_t at = request.body.find(field);
    return at == std::string::npos ? SIZE_MAX : std::stoul(request.body.substr(at + field.size()));
}

// An upload of `parts` incompressible part files of `partBytes` each, with every report recorded
// as the author's side would see it. Each request's tag() is its "batchCurrent".
class PartsInFlightTest : public test::MainLoopFixture {
protected:
    struct Outcome {
        int status = 0;              // of an answer
        std::optional<Error> error;  // of a failure
    };

    void upload(const std::string& baseURL, std::size_t parts, std::size_t partBytes, std::size_t inFlight,
                RetryPolicy retryPolicy = RetryPolicy()) {
        environment.set("TOMELY_SERVICE_URL", baseURL);
        std::vector<std::string> names;
        for (std::size_t i = 0; i < parts; ++i) {
            names.push_back("/part" + std::to_string(i));
            test::writeBytes(support.path() + "/working" + names.back(), test::noise(partBytes, 10 + i));
        }
        uploader = ACMultiFileUploader::create(WorkArea::inDirectory(support.path()));
        uploader->setMaxPartsInFlight(inFlight);
        uploader->setRetryPolicy(std::move(retryPolicy));
        uploader->setRetryBlock([this](ACMultiFileUploader&, HTTPRequest& request, const RetryPolicy::Retry& retry) {
            afterTheEnd = afterTheEnd || ended;
            retries.push_back({request.tag(), request.responseStatusCode(), retry});
        });
        uploader->setFileStartedBlock([this](ACMultiFileUploader&, NetworkQueue&, HTTPRequest&) {
            afterTheEnd = afterTheEnd || ended;
            ++started;
        });
        uploader->setFileFinishedBlock([this](ACMultiFileUploader&, NetworkQueue&, HTTPRequest& request) {
            afterTheEnd = afterTheEnd || ended;
            outcomes.emplace(request.tag(), Outcome{request.responseStatusCode(), std::nullopt});
        });
        uploader->setFileFailedBlock([this](ACMultiFileUploader&, NetworkQueue&, HTTPRequest& request) {
            afterTheEnd = afterTheEnd || ended;
            outcomes.emplace(request.tag(), Outcome{0, request.error()});
        });
        uploader->setProgressBlock([this](ACMultiFileUploader& self, NetworkQueue&, double fraction) {
            afterTheEnd = afterTheEnd || ended;
            fractions.push_back(fraction);
            bytesSent.push_back(self.bytesSent());
        });
        uploader->setQueueFinishedBlock([this](ACMultiFileUploader&, NetworkQueue&) {
            afterTheEnd = afterTheEnd || ended;
            ended = true;
        });
        uploader->uploadFiles(names, "GUID-2", {{"format", "iba"}});
    }

    [[nodiscard]] static bool neverGoesBack(const std::vector<double>& values) {
        return std::is_sorted(values.begin(), values.end());
    }

    test::ScopedEnvironment environment;
    test::TemporaryDirectory support;
    std::shared_ptr<ACMultiFileUploader> uploader;
    std::size_t started = 0;
    std::map<long, Outcome> outcomes;
    struct Retried {
        long part;
        int status;
        RetryPolicy::Retry retry;
        bool operator==(const Retried&) const = default;
    };
    std::vector<Retried> retries;
    std::vector<double> fractions;
    std::vector<std::int64_t> bytesSent;
    bool ended = false;
    bool afterTheEnd = false;
};

TEST_F(PartsInFlightTest, TheLastPartGoesOnlyOnceEveryOtherPartHasSucceeded) {
    test::ScriptedHTTPServer server;
    std::atomic<bool> othersAnswered = false;
    std::atomic<bool> lastCameAfterThem = false;
    server.setHandler([&](const test::RecordedRequest& request) {
        if (batchCurrentOf(request) == 2) {
            lastCameAfterThem = othersAnswered.load();
            return test::ScriptedResponse::text(200, "{}");
        }
        test::ScriptedResponse held = test::ScriptedResponse::text(200, "{}");
        held.holdUntilReleased = true;
        return held;
    });
    upload(server.baseURL(), 3, 1000, 4);
    ASSERT_TRUE(runUntil([&] { return server.requestCount() >= 2; }));
    // Both parts went out together; a last part that went with them has been reported by now.
    drainMainLoop();
    EXPECT_EQ(started, 2U) << "the last part waits for the answers of the others";
    othersAnswered = true;
    server.releaseHeldAnswers();
    ASSERT_TRUE(runUntil([&] { return ended; }));
    EXPECT_TRUE(lastCameAfterThem);
    ASSERT_EQ(server.requests().size(), 3U);
    EXPECT_EQ(batchCurrentOf(server.requests().back()), 2U);
    EXPECT_EQ(outcomes.size(), 3U);
    EXPECT_FALSE(afterTheEnd);
}

TEST_F(PartsInFlightTest, TheFirstFailureStopsTheBatchCancelsWhatIsUnderWayAndTheLastPartNeverGoes) {
    test::ScriptedHTTPServer server;
    server.setHandler([](const test::RecordedRequest& request) {
        if (batchCurrentOf(request) == 1) {
            return test::ScriptedResponse::text(500, "broken");
        }
        // Still on their way when the failure comes.
        test::ScriptedResponse held = test::ScriptedResponse::text(200, "{}");
        held.holdUntilReleased = true;
        return held;
    });
    upload(server.baseURL(), 6, 1000, 4);
    ASSERT_TRUE(runUntil([&] { return ended; }));
    drainMainLoop();
    struct Case {
        long part;
        int status;
        const char* error;
    };
    const Case cases[] = {
        {0, 0, "The request was cancelled"}, {1, 500, ""},
        {2, 0, "The request was cancelled"}, {3, 0, "The request was cancelled"},
        {4, 0, "The request was cancelled"},
    };
    EXPECT_EQ(outcomes.size(), std::size(cases)) << "each part handed to the queue reports once; the last none";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.part);
        ASSERT_TRUE(outcomes.contains(c.part));
        EXPECT_EQ(outcomes[c.part].status, c.status);
        EXPECT_EQ(outcomes[c.part].error ? outcomes[c.part].error->localizedDescription() : "", c.error);
    }
    for (const auto& request : server.requests()) {
        EXPECT_NE(batchCurrentOf(request), 5U) << "the last part went out after a failure";
    }
    server.releaseHeldAnswers();
    drainMainLoop();
    EXPECT_FALSE(afterTheEnd);
}

// Four parts share a line of 1 Mbit/s: each takes several times the time-out to arrive, but none
// times out while its bytes are moving, and progress goes forward only, also when a connection
// drops and its part is sent again.
TEST_F(PartsInFlightTest, PartsSharingASlowLineAllArriveAndProgressNeverGoesBack) {
    const double savedTimeOut = HTTPRequest::defaultTimeOutSeconds();
    HTTPRequest::setDefaultTimeOutSeconds(2);
    struct Case {
        const char* name;
        std::optional<std::uint64_t> dropAfter;
    };
    for (const Case& c : {Case{"a steady line", std::nullopt}, Case{"a line that drops once", 300'000}}) {
        SCOPED_TRACE(c.name);
        test::ScriptedHTTPServer server(test::ScriptedHTTPServer::Options{.keepBodies = false});
        server.setHandler([](const auto&) { return test::ScriptedResponse::text(200, "{}"); });
        test::NetworkEmulator line({server.port(), {0us, test::NetworkEmulator::megabitsPerSecond(1)}, {}});
        if (c.dropAfter) {
            line.dropConnectionAfter(*c.dropAfter);
        }
        started = 0;
        outcomes.clear();
        fractions.clear();
        bytesSent.clear();
        ended = false;
        upload(line.baseURL(), 4, 200'000, 4);
        ASSERT_TRUE(runUntil([&] { return ended; }, std::chrono::seconds(60)));
        EXPECT_EQ(line.hasDropped(), c.dropAfter.has_value());
        EXPECT_EQ(outcomes.size(), 4U);
        for (const auto& [part, outcome] : outcomes) {
            SCOPED_TRACE(part);
            EXPECT_EQ(outcome.status, 200);
            EXPECT_EQ(outcome.error ? outcome.error->localizedDescription() : "", "");
        }
        EXPECT_TRUE(neverGoesBack(fractions));
        EXPECT_TRUE(std::is_sorted(bytesSent.begin(), bytesSent.end()));
        ASSERT_FALSE(fractions.empty());
        EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
    }
    HTTPRequest::setDefaultTimeOutSeconds(savedTimeOut);
}

TEST_F(PartsInFlightTest, APartThatFailsForAWhileIsSentAgainAloneUntilItsRetriesAreSpent) {
    struct Case {
        const char* name;
        int failuresOfPart1;
        std::vector<std::size_t> sent;  // "batchCurrent" of each request, in order
        std::vector<Retried> retries;
        Outcome outcomeOfPart1;
    };
    const Case cases[] = {
        {"503 twice, then stored", 2, {0, 1, 1, 1, 2}, {{1, 503, {2, 3, 1000ms}}, {1, 503, {3, 3, 2000ms}}}, {200, {}}},
        {"503 for good", 9, {0, 1, 1, 1}, {{1, 503, {2, 3, 1000ms}}, {1, 503, {3, 3, 2000ms}}}, {503, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedHTTPServer server;
        std::atomic<int> failuresLeft = c.failuresOfPart1;
        server.setHandler([&](const test::RecordedRequest& request) {
            return batchCurrentOf(request) == 1 && failuresLeft-- > 0 ? test::ScriptedResponse::text(503, "busy")
                                                                      : test::ScriptedResponse::text(200, "{}");
        });
        outcomes.clear();
        retries.clear();
        fractions.clear();
        bytesSent.clear();
        ended = false;
        upload(server.baseURL(), 3, 100'000, 1, test::immediateRetries(2));
        ASSERT_TRUE(runUntil([&] { return ended; }));
        drainMainLoop();
        std::vector<std::size_t> sent;
        for (const auto& request : server.requests()) {
            sent.push_back(batchCurrentOf(request));
        }
        EXPECT_EQ(sent, c.sent) << "a part is sent again alone; the parts sent before stay sent";
        EXPECT_EQ(retries, c.retries);
        ASSERT_TRUE(outcomes.contains(1));
        EXPECT_EQ(outcomes[1].status, c.outcomeOfPart1.status) << "only the attempt that ends the retries reports";
        EXPECT_TRUE(neverGoesBack(fractions));
        EXPECT_TRUE(std::is_sorted(bytesSent.begin(), bytesSent.end()));
        EXPECT_FALSE(afterTheEnd);
    }
}

TEST_F(PartsInFlightTest, ACancelWhileAPartWaitsToBeSentAgainEndsTheUploadAtOnceAndTheWaitComesToNothing) {
    test::ScriptedHTTPServer server;
    server.setHandler([](const test::RecordedRequest& request) {
        return test::ScriptedResponse::text(batchCurrentOf(request) == 1 ? 503 : 200, "{}");
    });
    std::function<void()> heldRetry;
    RetryPolicy policy(4);
    policy.setWait(
        [&heldRetry](std::chrono::milliseconds, std::function<void()> next) { heldRetry = std::move(next); });
    upload(server.baseURL(), 3, 1000, 1, policy);
    ASSERT_TRUE(runUntil([&] { return heldRetry != nullptr; }));
    uploader->cancel();
    ASSERT_TRUE(runUntil([&] { return ended; })) << "the end waited for the retry";
    heldRetry();
    drainMainLoop();
    EXPECT_FALSE(outcomes.contains(1)) << "a part that waited reports nothing";
    EXPECT_EQ(server.requestCount(), 2U) << "part 0, and part 1 once";
    EXPECT_FALSE(afterTheEnd);
}

}  // namespace
}  // namespace tomely
