#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
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

TEST(RequestTimeOutRuleTest, ATransferTooSlowForTheWholeTimeIsTooSlowButASilenceIsNot) {
    struct Sample {
        double at;
        bool moving;
        std::uint64_t bytes;
    };
    // One sample a second from `from` to `to`, moving, with the bytes moved so far.
    const auto everySecond = [](int from, int to, const std::function<std::uint64_t(int)>& bytes) {
        std::vector<Sample> samples;
        for (int t = from; t <= to; ++t) {
            samples.push_back({static_cast<double>(t), true, bytes(t)});
        }
        return samples;
    };
    const auto concat = [](std::vector<Sample> a, const std::vector<Sample>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* what;
        std::uint64_t bytesPerSecond;
        double seconds;
        std::vector<Sample> samples;
        std::optional<double> tooSlowAt;
    };
    std::vector<Sample> silentWork;
    for (int t = 0; t <= 100; ++t) {
        silentWork.push_back({static_cast<double>(t), false, 500});
    }
    std::vector<Sample> quarterSeconds;
    for (int i = 0; i <= 12; ++i) {
        quarterSeconds.push_back({i * 0.25, true, static_cast<std::uint64_t>(i) * 10});
    }
    const Case cases[] = {
        {"a byte a second", 100, 30, everySecond(0, 60, [](int t) { return t; }), 30.0},
        {"200 bytes a second", 100, 30, everySecond(0, 100, [](int t) { return 200 * t; }), std::nullopt},
        {"exactly the rate", 100, 30, everySecond(0, 100, [](int t) { return 100 * t; }), std::nullopt},
        {"silent while the server works", 100, 30, silentWork, std::nullopt},
        {"a burst, a minute's wait, then the answer", 100, 30,
         concat(concat({{0, true, 0}, {1, true, 5000}}, std::vector<Sample>(60, {30, false, 5000})),
                {{62, true, 5000}, {63, true, 5100}}),
         std::nullopt},
        {"fast, then a byte a second", 100, 30,
         everySecond(0, 60, [](int t) { return t <= 10 ? 1000 * t : 10000 + (t - 10); }), 39.0},
        {"switched off", 0, 30, everySecond(0, 60, [](int t) { return t; }), std::nullopt},
        {"40 bytes a second against 100 over one second", 100, 1, quarterSeconds, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LowSpeedWatch watch(c.bytesPerSecond, c.seconds);
        const auto start = LowSpeedWatch::Clock::time_point();
        std::optional<double> tooSlowAt;
        for (const Sample& sample : c.samples) {
            const auto now = start + std::chrono::duration_cast<LowSpeedWatch::Clock::duration>(
                                         std::chrono::duration<double>(sample.at));
            if (watch.isTooSlow(now, sample.moving, sample.bytes) && !tooSlowAt) {
                tooSlowAt = sample.at;
            }
        }
        EXPECT_EQ(tooSlowAt, c.tooSlowAt);
    }
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

TEST_F(RequestTimeOutTest, ATrickleFailsAsTimedOutWhileAnAnswerAboveTheLimitOrAfterASilenceArrives) {
    auto defaults = get("/defaults");
    EXPECT_EQ(defaults->lowSpeedBytesPerSecond(), 100U);
    EXPECT_EQ(defaults->lowSpeedSeconds(), 30.0);

    const auto dripped = [](std::size_t bodyBytes, std::size_t piece) {
        ScriptedResponse answer = ScriptedResponse::text(200, std::string(bodyBytes, 'd'));
        answer.dripBytes = piece;
        answer.dripPause = std::chrono::milliseconds(100);
        return answer;
    };
    ScriptedResponse afterSilence = ScriptedResponse::text(200, "done");
    afterSilence.delay = std::chrono::milliseconds(1500);
    struct Case {
        const char* what;
        ScriptedResponse answer;
        bool arrives;
    };
    // Against 100 bytes a second over one second.
    const Case cases[] = {
        {"40 bytes a second", dripped(400, 4), false},
        {"2,000 bytes a second for 1.5 s", dripped(3000, 200), true},
        {"a form answered after 1.5 s of silence", afterSilence, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.enqueue(c.answer);
        auto request = get("/slow");
        request->setPostBody({'x', '=', '1'});
        request->setTimeOutSeconds(10);
        request->setLowSpeedLimit(100, 1.0);
        const auto outcome = run(request);
        if (c.arrives) {
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_EQ(test::text(request->responseData()), c.answer.body);
        } else {
            EXPECT_EQ(outcome.failures, 1);
            expectError(*request, kRequestTimedOutErrorType, "The request timed out");
        }
    }
}

}  // namespace
}  // namespace tomely
