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

TEST(RequestTimeOutRuleTest, ABodyGetsHalfAsLongAgainUntilMoreThanItsFirstBufferIsOut) {
    struct Case {
        const char* what;
        double idle;
        double timeOut;
        std::uint64_t postLength;
        std::uint64_t uploadBufferSize;
        std::uint64_t totalBytesSent;
        bool timedOut;
    };
    // The default time-out, 10 s, but for the manifest's 60 s.
    const Case cases[] = {
        {"no body, within the limit", 10.0, 10, 0, 0, 0, false},
        {"no body, past the limit", 10.1, 10, 0, 0, 0, true},
        {"small body sent whole, past the limit", 10.1, 10, 500, 0, 500, false},
        {"small body sent whole, within 15 s", 14.9, 10, 500, 0, 500, false},
        {"small body sent whole, past 15 s", 15.1, 10, 500, 0, 500, true},
        {"large body inside its first buffer", 14.0, 10, 1000000, 262144, 262144, false},
        {"large body past its first buffer", 10.1, 10, 1000000, 262144, 300000, true},
        {"large body not sampled yet", 15.1, 10, 1000000, 0, 0, true},
        {"the manifest's small body with 60 s, within 90 s", 89.9, 60, 500, 0, 500, false},
        {"the manifest's small body with 60 s, past 90 s", 90.1, 60, 500, 0, 500, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hasTimedOut(c.idle, c.timeOut, c.postLength, c.uploadBufferSize, c.totalBytesSent), c.timedOut);
    }
    EXPECT_FALSE(hasTimedOut(1000.0, 0.0, 0, 0, 0)) << "a time-out of 0 never fires";
}

TEST(RequestTimeOutRuleTest, ARequestWaitsTenSecondsUnlessToldOtherwise) {
    EXPECT_EQ(HTTPRequest::defaultTimeOutSeconds(), 10.0);
    EXPECT_EQ(HTTPRequest::requestWithURL(URL("http://127.0.0.1/"))->timeOutSeconds(), 10.0);
}

using RequestTimeOutTest = test::RequestFixture;

TEST_F(RequestTimeOutTest, ASilentServerTimesOutWithCode2AndASmallBodyGetsHalfAsLongAgain) {
    for (const std::string body : {"", "field=value"}) {
        SCOPED_TRACE(body);
        const std::size_t before = server.requestCount();
        ScriptedResponse silent = ScriptedResponse::text(200, "too late");
        silent.holdUntilReleased = true;  // until the server stops
        server.enqueue(silent);
        auto request = get("/silent");
        request->setPostBody(std::vector<std::uint8_t>(body.begin(), body.end()));
        request->setTimeOutSeconds(kShortTimeOut);
        auto outcome = observe(*request);
        request->startAsynchronous();
        runUntil([&] { return outcome->reports() > 0; }, std::chrono::seconds(20));
        // How long after its last activity the request reported.
        const double idle = std::chrono::duration<double>(Clock::now() - request->lastActivityTime()).count();
        drainMainLoop();
        EXPECT_EQ(outcome->reports(), 1);
        expectError(*request, kRequestTimedOutErrorType, "The request timed out");
        EXPECT_EQ(request->responseStatusCode(), 0);
        // Sampled or not by the time-out check, a small body gets 1.5 times as long.
        EXPECT_GE(idle, (body.empty() ? 1.0 : 1.5) * kShortTimeOut);
        ASSERT_EQ(server.requestCount(), before + 1) << "no retry unless asked for";
        EXPECT_EQ(server.requests().back().body, body) << "the body went out whole";
    }
}

}  // namespace
}  // namespace tomely
