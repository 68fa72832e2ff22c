#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "RequestFixture.h"
#include "common/NetworkEmulator.h"
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

// The body goes whole into the socket's buffer at once, then a line of 40 kB/s carries it off for
// five seconds, several times the time-out: the request is not idle while the peer takes bytes.
TEST_F(RequestTimeOutTest, ABodyThatASlowLineCarriesOffLongAfterItWasWrittenDoesNotTimeOut) {
    server.setHandler([](const auto&) { return ScriptedResponse::text(200, "stored"); });
    test::NetworkEmulator line({server.port(), {std::chrono::microseconds(0), 40'000}, {}});
    auto request = HTTPRequest::requestWithURL(URL(line.baseURL() + "/slow"));
    request->setPostBody(std::vector<std::uint8_t>(200'000, 'x'));
    request->setTimeOutSeconds(1);
    const test::Outcome outcome = run(request);
    EXPECT_EQ(outcome.completions, 1);
    EXPECT_FALSE(request->error().has_value()) << request->error()->localizedDescription();
    EXPECT_EQ(request->responseStatusCode(), 200);
    ASSERT_EQ(server.requestCount(), 1U);
    EXPECT_EQ(server.requests().back().bodyLength, 200'000U);
}

}  // namespace
}  // namespace tomely
