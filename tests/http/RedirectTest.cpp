#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RequestFixture.h"

namespace tomely {
namespace {

using test::expectError;
using test::RecordedRequest;
using test::ScriptedResponse;

class RedirectTest : public test::RequestFixture {
protected:
    ScriptedResponse redirect(int status, const std::string& location) {
        return ScriptedResponse::text(status, "moved", {{"Location", location}});
    }

    std::shared_ptr<HTTPRequest> formPost(const std::string& path, const std::string& body) {
        auto request = get(path);
        request->setRequestMethod("POST");
        request->addRequestHeader("Content-Type", "application/x-www-form-urlencoded");
        request->addRequestHeader("Accept", "text/plain");
        request->addRequestHeader("X-Caller", "set");
        request->setPostBody(std::vector<std::uint8_t>(body.begin(), body.end()));
        return request;
    }
};

TEST_F(RedirectTest, APostBecomesAPlainGetExceptAfter307OrInRFC2616Mode) {
    struct Case {
        int status;
        bool rfc2616;
        bool keepsPost;
    };
    const Case cases[] = {{301, false, false}, {302, false, false}, {303, false, false}, {307, false, true},
                          {301, true, true},   {302, true, true},   {303, true, false}};
    const std::string body = "name=value";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + (c.rfc2616 ? " in RFC 2616 mode" : ""));
        const std::size_t before = server.requestCount();
        server.enqueue(redirect(c.status, "/target?from=form"));
        server.enqueue(ScriptedResponse::text(200, "arrived"));
        auto request = formPost("/form", body);
        request->setShouldUseRFC2616RedirectBehaviour(c.rfc2616);
        const auto outcome = run(request);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_EQ(request->responseStatusCode(), 200);
        EXPECT_EQ(test::text(request->responseData()), "arrived");
        EXPECT_EQ(request->redirectCount(), 1);
        EXPECT_EQ(request->url(), URL(server.url("/target?from=form")));
        EXPECT_EQ(request->originalURL(), URL(server.url("/form")));
        const auto recorded = server.requests();
        ASSERT_EQ(recorded.size(), before + 2);
        const auto& followed = recorded.back();
        EXPECT_EQ(followed.target, "/target?from=form");
        EXPECT_EQ(followed.header("Accept"), "text/plain");
        EXPECT_TRUE(followed.hasHeader("User-Agent"));
        EXPECT_EQ(followed.header("Accept-Encoding"), "gzip") << "standard headers are built again";
        if (c.keepsPost) {
            EXPECT_EQ(followed.method, "POST");
            EXPECT_EQ(followed.body, body);
            EXPECT_EQ(followed.header("Content-Length"), std::to_string(body.size()));
            EXPECT_EQ(followed.header("Content-Type"), "application/x-www-form-urlencoded");
            EXPECT_EQ(followed.header("X-Caller"), "set");
        } else {
            EXPECT_EQ(followed.method, "GET");
            EXPECT_EQ(followed.bodyLength, 0U);
            for (const char* dropped : {"Content-Type", "Content-Length", "X-Caller"}) {
                SCOPED_TRACE(dropped);
                EXPECT_FALSE(followed.hasHeader(dropped));
            }
        }
    }
}

TEST_F(RedirectTest, A307RepeatsABodyStreamedFromDisk) {
    server.enqueue(redirect(307, "/again"));
    server.enqueue(ScriptedResponse::text(200, "stored"));
    auto request = get("/upload");
    request->setShouldStreamPostDataFromDisk(true);
    const std::string body(300000, 'x');
    request->appendPostData(std::vector<std::uint8_t>(body.begin(), body.end()));
    const auto outcome = run(request);
    EXPECT_EQ(outcome.completions, 1);
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_EQ(recorded[1].method, "POST");
    EXPECT_EQ(recorded[1].bodyLength, body.size());
    EXPECT_EQ(recorded[1].bodyCRC32, recorded[0].bodyCRC32);
    EXPECT_FALSE(std::filesystem::exists(request->postBodyFilePath())) << "the temporary body is gone at the end";
}

TEST_F(RedirectTest, FiveRedirectsAreFollowedAndTheSixthFailsWithCode9) {
    server.setHandler([](const RecordedRequest& recorded) {
        const int hop = recorded.target == "/start" ? 1 : std::stoi(recorded.target.substr(5)) + 1;
        return ScriptedResponse::text(302, "", {{"Location", "/hop/" + std::to_string(hop)}});
    });
    auto request = get("/start");
    const auto outcome = run(request);
    EXPECT_EQ(outcome.failures, 1);
    expectError(*request, kTooMuchRedirectionErrorType, "The request failed because it redirected too many times");
    EXPECT_EQ(server.requestCount(), 6U);
    EXPECT_EQ(request->url(), URL(server.url("/hop/6")));
}

TEST_F(RedirectTest, WithoutShouldRedirectOrWithAnEmptyLocationTheRedirectIsTheAnswer) {
    struct Case {
        bool shouldRedirect;
        const char* location;
    };
    for (const Case& c : {Case{false, "/elsewhere"}, Case{true, ""}, Case{true, " \t "}}) {
        SCOPED_TRACE(std::string(c.shouldRedirect ? "redirecting" : "not redirecting") + " to \"" + c.location + "\"");
        const std::size_t before = server.requestCount();
        server.enqueue(redirect(302, c.location));
        auto request = get("/stay");
        request->setShouldRedirect(c.shouldRedirect);
        const auto outcome = run(request);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_EQ(request->responseStatusCode(), 302);
        EXPECT_EQ(request->redirectCount(), 0);
        EXPECT_EQ(server.requestCount(), before + 1);
    }
}

class TakingDelegate : public HTTPRequestDelegate {
public:
    explicit TakingDelegate(URL replacement) : replacement_(std::move(replacement)) {}
    bool takesRedirects() const override { return true; }
    void requestRedirected(HTTPRequest&) override { ++redirected; }
    void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override {
        offered.push_back(url);
        request.redirectToURL(replacement_);
    }
    int redirected = 0;
    std::vector<URL> offered;

private:
    URL replacement_;
};

TEST_F(RedirectTest, ADelegateThatTakesRedirectsDecidesWhereTheRequestGoes) {
    server.enqueue(redirect(302, "/offered"));
    server.enqueue(ScriptedResponse::text(200, "chosen"));
    auto delegate = std::make_shared<TakingDelegate>(URL(server.url("/chosen")));
    auto request = get("/ask");
    request->setDelegate(delegate);
    int redirectedBlock = 0;
    request->setRequestRedirectedBlock([&redirectedBlock] { ++redirectedBlock; });
    const auto outcome = run(request);
    EXPECT_EQ(outcome.completions, 1);
    ASSERT_EQ(delegate->offered.size(), 1U);
    EXPECT_EQ(delegate->offered[0], URL(server.url("/offered")));
    EXPECT_EQ(delegate->redirected, 1);
    EXPECT_EQ(redirectedBlock, 1);
    ASSERT_EQ(server.requestCount(), 2U);
    EXPECT_EQ(server.requests()[1].target, "/chosen");
}

class DecidingLaterDelegate : public HTTPRequestDelegate {
public:
    bool takesRedirects() const override { return true; }
    void requestWillRedirectToURL(HTTPRequest&, const URL&) override { ++offers; }
    int offers = 0;
};

TEST_F(RedirectTest, ARequestWaitingForARedirectDecisionCanBeCancelled) {
    server.enqueue(redirect(302, "/offered"));
    auto delegate = std::make_shared<DecidingLaterDelegate>();
    auto request = get("/ask");
    request->setDelegate(delegate);
    auto outcome = observe(*request);
    request->startAsynchronous();
    runUntil([&] { return delegate->offers == 1; });
    request->cancel();
    runUntil([&] { return outcome->reports() > 0; });
    drainMainLoop();
    EXPECT_EQ(outcome->failures, 1);
    expectError(*request, kRequestCancelledErrorType, "The request was cancelled");
    EXPECT_TRUE(request->isFinished());
    EXPECT_EQ(server.requestCount(), 1U);
}

}  // namespace
}  // namespace tomely
