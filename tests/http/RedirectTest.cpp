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

TEST_F(RedirectTest, APostBecomesAPlainGetExceptAfter307) {
    const std::string body = "name=value";
    // 301 takes the same branch as 302.
    for (const int status : {302, 303, 307}) {
        SCOPED_TRACE(status);
        const bool keepsPost = status == 307;
        const std::size_t before = server.requestCount();
        server.enqueue(redirect(status, "/target?from=form"));
        server.enqueue(ScriptedResponse::text(200, "arrived"));
        auto request = formPost("/form", body);
        const auto outcome = run(request);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_EQ(test::text(request->responseData()), "arrived");
        const auto recorded = server.requests();
        ASSERT_EQ(recorded.size(), before + 2);
        const auto& followed = recorded.back();
        EXPECT_EQ(followed.target, "/target?from=form");
        EXPECT_EQ(followed.header("Accept"), "text/plain");
        if (keepsPost) {
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

TEST_F(RedirectTest, AnEmptyLocationIsNoRedirectAndTheRedirectIsTheAnswer) {
    for (const char* location : {"", " \t "}) {
        SCOPED_TRACE("\"" + std::string(location) + "\"");
        const std::size_t before = server.requestCount();
        server.enqueue(redirect(302, location));
        auto request = get("/stay");
        const auto outcome = run(request);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_EQ(request->responseStatusCode(), 302);
        EXPECT_EQ(request->redirectCount(), 0);
        EXPECT_EQ(server.requestCount(), before + 1);
    }
}

}  // namespace
}  // namespace tomely
