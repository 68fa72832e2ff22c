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

class HTTPRequestTest : public test::RequestFixture {};

using test::expectError;
using test::text;

class RecordingDelegate : public HTTPRequestDelegate, public HTTPRequestQueue {
public:
    void requestStarted(HTTPRequest&) override { events.push_back("started"); }
    void requestDidReceiveResponseHeaders(HTTPRequest&, const HTTPHeaders& headers) override {
        events.push_back("headers " + headers.at("X-Answer"));
    }
    void requestFinished(HTTPRequest&) override { events.push_back("finished"); }
    void requestFailed(HTTPRequest&) override { events.push_back("failed"); }
    std::vector<std::string> events;
};

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
    ASSERT_EQ(server.requestCount(), 1U);
    const auto recorded = server.requests()[0];
    EXPECT_EQ(recorded.method, "GET");
    EXPECT_EQ(recorded.target, "/headers");
    EXPECT_EQ(recorded.version, "HTTP/1.1");
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
    server.enqueue(ScriptedResponse::text(200, "", {{"X-Answer", "1"}}));
    auto request = get("/gone");
    {
        auto delegate = std::make_shared<RecordingDelegate>();
        request->setDelegate(delegate);
    }
    EXPECT_EQ(run(request).completions, 1);
}

TEST_F(HTTPRequestTest, GzipResponsesAreKeptCompressedAndInflatedOnDemand) {
    const std::string body(50000, 'q');
    server.enqueue(ScriptedResponse::gzipped(body));
    auto request = get("/gzip");
    run(request);
    EXPECT_TRUE(request->isResponseCompressed());
    EXPECT_EQ(text(request->rawResponseData()), test::gzip(body));
    EXPECT_EQ(text(request->responseData()), body);
    EXPECT_EQ(text(request->responseData()), body) << "inflated anew on every call";
}

TEST_F(HTTPRequestTest, ABodyThatDoesNotInflateGivesNoData) {
    const std::string whole = test::gzip("the body that will be cut short");
    const struct {
        const char* name;
        std::string body;
    } cases[] = {{"not gzip at all", "plain text"}, {"cut short", whole.substr(0, whole.size() - 6)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(ScriptedResponse::text(200, c.body, {{"Content-Encoding", "x-gzip"}}));
        auto request = get("/broken-gzip");
        const Outcome outcome = run(request);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_TRUE(request->isResponseCompressed());
        EXPECT_TRUE(request->responseData().empty());
        EXPECT_FALSE(request->responseString().has_value());
    }
}

TEST_F(HTTPRequestTest, ChunkedResponsesArriveWithoutTheirCoding) {
    // One chunk of 0x186a0 bytes, then the last chunk.
    server.enqueue(ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n186a0\r\n" +
                                              std::string(100000, 'c') + "\r\n0\r\n\r\n"));
    auto request = get("/chunked");
    run(request);
    EXPECT_EQ(text(request->responseData()), std::string(100000, 'c'));
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

TEST_F(HTTPRequestTest, CancellingInFlightReportsOnceWithCode4AndClearingTheDelegatesSilencesIt) {
    std::vector<std::pair<std::shared_ptr<HTTPRequest>, std::shared_ptr<Outcome>>> cancelled;
    for (const bool clearDelegates : {false, true}) {
        ScriptedResponse held = ScriptedResponse::text(200, "late");
        held.holdUntilReleased = true;
        server.enqueue(held);
        auto request = get("/slow");
        cancelled.emplace_back(request, observe(*request));
        const std::size_t before = server.requestCount();
        request->startAsynchronous();
        ASSERT_TRUE(server.waitForRequests(before + 1));
        clearDelegates ? request->clearDelegatesAndCancel() : request->cancel();
        request->cancel();
        runUntilOffMainThread([&] { return request->isFinished(); });
    }
    // The held answers arrive too late to be reported.
    server.releaseHeldAnswers();
    drainMainLoop();
    for (const auto& [request, outcome] : cancelled) {
        EXPECT_EQ(outcome->completions, 0);
        expectError(*request, 4, "The request was cancelled");
        EXPECT_TRUE(request->isCancelled());
    }
    EXPECT_EQ(cancelled[0].second->failures, 1) << "cancel";
    EXPECT_EQ(cancelled[1].second->failures, 0) << "clearDelegatesAndCancel";
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

TEST_F(HTTPRequestTest, DelegateBlocksAndQueueHearEveryEventInThatOrder) {
    server.enqueue(ScriptedResponse::text(200, "", {{"X-Answer", "42"}}));
    auto delegate = std::make_shared<RecordingDelegate>();
    auto queue = std::make_shared<RecordingDelegate>();
    std::vector<std::string> blocks;
    auto request = get("/events");
    request->setDelegate(delegate);
    request->setQueue(queue);
    request->setStartedBlock([&] { blocks.push_back("started"); });
    request->setHeadersReceivedBlock([&](const HTTPHeaders& headers) { blocks.push_back(headers.at("x-answer")); });
    request->setCompletionBlock([&] {
        blocks.push_back("finished");
        EXPECT_EQ(delegate->events.size(), 3U) << "the delegate first";
        EXPECT_EQ(queue->events.size(), 2U) << "the queue last";
    });
    request->startAsynchronous();
    runUntil([&] { return queue->events.size() == 3; });
    const std::vector<std::string> expected = {"started", "headers 42", "finished"};
    EXPECT_EQ(delegate->events, expected);
    EXPECT_EQ(queue->events, expected);
    EXPECT_EQ(blocks, (std::vector<std::string>{"started", "42", "finished"}));
}

}  // namespace
}  // namespace tomely
