#include "http/HTTPRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RequestFixture.h"
#include "http/HTTPRequestError.h"
#include "http/UserAgent.h"

namespace tomely {
namespace {

using test::Outcome;
using test::ScriptedResponse;

using test::expectError;
using test::text;
using HTTPRequestTest = test::RequestFixture;

TEST_F(HTTPRequestTest, EveryHTTPStatusIsACompletionOnTheMainThread) {
    for (const int status : {204, 403, 503}) {
        SCOPED_TRACE(status);
        server.enqueue(ScriptedResponse::text(status, status == 204 ? "" : "answer"));
        auto request = get("/status");
        const Outcome outcome = run(request);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_EQ(outcome.failures, 0);
        EXPECT_TRUE(outcome.onMainThread);
        EXPECT_EQ(request->responseStatusCode(), status);
        EXPECT_FALSE(request->error().has_value());
    }
}

TEST_F(HTTPRequestTest, SendsOnlyItsOwnHeadersBesidesTheTransportsConnectionHeaders) {
    server.enqueue(ScriptedResponse::text(200, ""));
    auto request = get("/headers");
    request->addRequestHeader("X-Caller", "set");
    request->addRequestHeader("x-caller", "replaced");
    run(request);
    const auto recorded = server.requests().at(0);
    EXPECT_EQ(recorded.header("Accept-Encoding"), "gzip");
    EXPECT_EQ(recorded.header("User-Agent"), defaultUserAgentString().value_or(""));
    EXPECT_EQ(recorded.headerCount("X-Caller"), 1U);
    EXPECT_EQ(recorded.header("X-Caller"), "replaced");
    for (const char* absent : {"Expect", "Accept", "Content-Type", "Content-Length", "Cookie", "Content-Encoding"}) {
        SCOPED_TRACE(absent);
        EXPECT_FALSE(recorded.hasHeader(absent));
    }
}

TEST_F(HTTPRequestTest, ADelegateThatIsGoneIsToldNothing) {
    server.enqueue(ScriptedResponse::text(200, ""));
    auto request = get("/gone");
    request->setDelegate(std::make_shared<HTTPRequestDelegate>());
    EXPECT_EQ(run(request).completions, 1);
}

TEST_F(HTTPRequestTest, BodiesArriveWithoutTheirCoding) {
    const std::string big(100000, 'c');
    const struct {
        const char* name;
        ScriptedResponse answer;
    } cases[] = {
        {"gzip", ScriptedResponse::text(200, test::gzip(big), {{"Content-Encoding", "gzip"}})},
        {"x-gzip", ScriptedResponse::text(200, test::gzip(big), {{"Content-Encoding", "x-gzip"}})},
        // One chunk of 0x186a0 bytes, then the last chunk.
        {"chunked", ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n186a0\r\n" + big +
                                               "\r\n0\r\n\r\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.answer);
        auto request = get("/body");
        EXPECT_EQ(run(request).completions, 1);
        EXPECT_EQ(text(request->responseData()), big);
    }
}

TEST_F(HTTPRequestTest, CookiesOfOneResponseGoToLaterRequestsOfTheSameSiteOnly) {
    server.enqueue(ScriptedResponse::text(200, "", {{"Set-Cookie", "a=1; Path=/"}, {"Set-Cookie", "b=2"}}));
    auto signIn = get("/signin");
    run(signIn);
    EXPECT_EQ(signIn->responseCookies().size(), 2U);

    server.enqueue(ScriptedResponse::text(200, ""));
    run(get("/list"));
    EXPECT_EQ(server.requests().at(1).header("Cookie"), "a=1; b=2");
    EXPECT_EQ(server.requests().at(1).headerCount("Cookie"), 1U);

    // Same server, other host name: another site as far as cookies go.
    server.enqueue(ScriptedResponse::text(200, ""));
    run(HTTPRequest::requestWithURL(URL("http://localhost:" + std::to_string(server.port()) + "/list")));
    EXPECT_FALSE(server.requests().at(2).hasHeader("Cookie"));
}

TEST_F(HTTPRequestTest, AChallengeWithoutCredentialsFails) {
    const struct {
        int status;
        std::vector<std::pair<std::string, std::string>> headers;
        long code;
        const char* message;
    } cases[] = {
        {401, {{"WWW-Authenticate", "Basic realm=\"shelf\""}}, 3, "Authentication needed"},
        {401, {}, 7, "Failed to get authentication object from response headers"},
        {407, {{"Proxy-Authenticate", "Digest realm=\"proxy\", nonce=\"1\""}}, 3, "Authentication needed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        server.enqueue(ScriptedResponse::text(c.status, "denied", c.headers));
        auto request = get("/private");
        const Outcome outcome = run(request);
        EXPECT_EQ(outcome.completions, 0);
        EXPECT_EQ(outcome.failures, 1);
        expectError(*request, c.code, c.message);
        EXPECT_EQ(request->responseStatusCode(), c.status) << "what arrived stays readable";
    }
}

TEST_F(HTTPRequestTest, CancellingInFlightReportsOnceWithCode4) {
    ScriptedResponse held = ScriptedResponse::text(200, "late");
    held.holdUntilReleased = true;
    server.enqueue(held);
    auto request = get("/slow");
    auto outcome = observe(*request);
    request->startAsynchronous();
    ASSERT_TRUE(server.waitForRequests(1));
    request->cancel();
    request->cancel();
    // The report is posted once the request has finished on the network thread.
    runUntil([&] { return outcome->reports() > 0; });
    EXPECT_TRUE(request->isFinished());
    // The held answer arrives too late to be reported.
    server.releaseHeldAnswers();
    drainMainLoop();
    EXPECT_EQ(outcome->completions, 0);
    EXPECT_EQ(outcome->failures, 1);
    expectError(*request, 4, "The request was cancelled");
    EXPECT_TRUE(request->isCancelled());
}

TEST_F(HTTPRequestTest, CancellingAfterCompletionOrBeforeStartReportsNothingMore) {
    server.enqueue(ScriptedResponse::text(200, "done"));
    auto done = get("/done");
    const Outcome first = run(done);
    auto late = observe(*done);
    done->cancel();
    drainMainLoop();
    EXPECT_EQ(first.completions, 1);
    EXPECT_EQ(late->reports(), 0);
    EXPECT_FALSE(done->isCancelled());

    // Cancelled before any queue ran it: reported at once, and quietly finished when started.
    auto early = get("/never");
    auto outcome = observe(*early);
    early->cancel();
    runUntil([&] { return outcome->reports() > 0; });
    early->startAsynchronous();
    runUntilOffMainThread([&] { return early->isFinished(); });
    drainMainLoop();
    EXPECT_EQ(outcome->failures, 1);
    EXPECT_EQ(server.requestCount(), 1U) << "the cancelled request sent nothing";
}

TEST_F(HTTPRequestTest, ABlockMayCaptureItsRequestWithoutKeepingItAlive) {
    server.enqueue(ScriptedResponse::text(200, "x"));
    std::weak_ptr<HTTPRequest> weak;
    bool completed = false;
    {
        auto request = get("/cycle");
        weak = request;
        request->setCompletionBlock([request, &completed] { completed = request->responseStatusCode() == 200; });
        request->startAsynchronous();
    }
    runUntil([&] { return completed; });
    drainMainLoop();
    runUntilOffMainThread([&] { return weak.expired(); });
}

}  // namespace
}  // namespace tomely
