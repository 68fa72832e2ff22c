#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "RequestFixture.h"
#include "http/RequestTimeOut.h"

namespace tomely {
namespace {

using test::expectError;
using test::ScriptedResponse;
using Clock = std::chrono::steady_clock;

constexpr double kShortTimeOut = 0.3;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

TEST(RequestTimeOutRuleTest, ABodyGetsHalfAsLongAgainUntilMoreThanItsFirstBufferIsOut) {
    struct Case {
        const char* what;
        double idle;
        std::uint64_t postLength;
        std::uint64_t uploadBufferSize;
        std::uint64_t totalBytesSent;
        bool timedOut;
    };
    // Time-out 10 s throughout.
    const Case cases[] = {
        {"no body, within the limit", 10.0, 0, 0, 0, false},
        {"no body, past the limit", 10.1, 0, 0, 0, true},
        {"small body sent whole, past the limit", 10.1, 500, 0, 500, false},
        {"small body sent whole, past 1.5 times", 15.1, 500, 0, 500, true},
        {"large body inside its first buffer", 14.0, 1000000, 262144, 262144, false},
        {"large body past its first buffer", 10.1, 1000000, 262144, 300000, true},
        {"large body not sampled yet", 15.1, 1000000, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hasTimedOut(c.idle, 10.0, c.postLength, c.uploadBufferSize, c.totalBytesSent), c.timedOut);
    }
    EXPECT_FALSE(hasTimedOut(1000.0, 0.0, 0, 0, 0)) << "a time-out of 0 never fires";
}

class RequestTimeOutTest : public test::RequestFixture {
protected:
    struct Timing {
        Clock::time_point started;
        Clock::time_point reported;
    };

    // Runs the request and notes when it started and when its outcome arrived.
    Timing runTimed(const std::shared_ptr<HTTPRequest>& request) {
        auto outcome = observe(*request);
        Timing timing;
        timing.started = Clock::now();
        request->startAsynchronous();
        runUntil([&] { return outcome->reports() > 0; }, std::chrono::seconds(20));
        timing.reported = Clock::now();
        drainMainLoop();
        EXPECT_EQ(outcome->reports(), 1);
        return timing;
    }
};

TEST_F(RequestTimeOutTest, ASilentServerTimesOutAGetWithCode2) {
    ScriptedResponse silent = ScriptedResponse::text(200, "too late");
    silent.holdUntilReleased = true;
    server.enqueue(silent);
    auto request = get("/silent");
    request->setTimeOutSeconds(kShortTimeOut);
    const Timing timing = runTimed(request);
    expectError(*request, kRequestTimedOutErrorType, "The request timed out");
    EXPECT_GE(secondsBetween(timing.started, timing.reported), kShortTimeOut);
    EXPECT_GE(secondsBetween(request->lastActivityTime(), timing.reported), kShortTimeOut);
    EXPECT_EQ(request->responseStatusCode(), 0);
    EXPECT_EQ(server.requestCount(), 1U);
}

TEST_F(RequestTimeOutTest, ABodyThatFitsTheFirstBufferGetsHalfAsLongAgain) {
    ScriptedResponse silent = ScriptedResponse::text(200, "too late");
    silent.holdUntilReleased = true;
    server.enqueue(silent);
    auto request = get("/silent-post");
    const std::string body = "field=value";
    request->setPostBody(std::vector<std::uint8_t>(body.begin(), body.end()));
    request->setTimeOutSeconds(kShortTimeOut);
    const Timing timing = runTimed(request);
    expectError(*request, kRequestTimedOutErrorType, "The request timed out");
    EXPECT_EQ(request->totalBytesSent(), body.size()) << "the body went out whole";
    EXPECT_EQ(request->uploadBufferSize(), 0U);
    EXPECT_GE(secondsBetween(request->lastActivityTime(), timing.reported), 1.5 * kShortTimeOut);
    ASSERT_EQ(server.requestCount(), 1U);
    EXPECT_EQ(server.requests()[0].body, body);
}

TEST_F(RequestTimeOutTest, RetriesOnceAfterATimeOutAndThenSucceeds) {
    ScriptedResponse silent = ScriptedResponse::text(200, "too late");
    silent.holdUntilReleased = true;
    server.enqueue(silent);
    server.enqueue(ScriptedResponse::text(200, "second time"));
    auto request = get("/retry");
    request->setTimeOutSeconds(kShortTimeOut);
    request->setNumberOfTimesToRetryOnTimeout(1);
    runTimed(request);
    EXPECT_FALSE(request->error().has_value());
    EXPECT_EQ(request->responseStatusCode(), 200);
    EXPECT_EQ(test::text(request->responseData()), "second time");
    EXPECT_EQ(request->retryCount(), 1);
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_NE(recorded[0].connectionIndex, recorded[1].connectionIndex) << "the repeat uses a new connection";
}

TEST_F(RequestTimeOutTest, FailsWhenTheRetriesAreUsedUp) {
    for (int i = 0; i < 2; ++i) {
        ScriptedResponse silent = ScriptedResponse::text(200, "too late");
        silent.holdUntilReleased = true;
        server.enqueue(silent);
    }
    auto request = get("/never");
    request->setTimeOutSeconds(kShortTimeOut);
    request->setNumberOfTimesToRetryOnTimeout(1);
    runTimed(request);
    expectError(*request, kRequestTimedOutErrorType, "The request timed out");
    EXPECT_EQ(request->retryCount(), 1);
    EXPECT_EQ(server.requestCount(), 2U);
}

}  // namespace
}  // namespace tomely
