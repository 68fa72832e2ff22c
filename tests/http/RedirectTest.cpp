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

TEST_F(RedirectTest, NoRedirectLeadsFromHttpsToHttpNorTakesCredentialsToAnotherServer) {
    test::ScriptedHTTPServer secure(test::ScriptedHTTPServer::Options{.tls = true, .keepBodies = true});
    test::ScriptedHTTPServer other;
    const std::string localhost = "http://localhost:" + std::to_string(server.port());
    // Every server answers what it is not redirecting with this.
    for (test::ScriptedHTTPServer* each : {&server, &secure, &other}) {
        each->setHandler([](const RecordedRequest&) { return ScriptedResponse::text(200, "arrived"); });
    }
    struct Case {
        const char* name;
        test::ScriptedHTTPServer* origin;
        int status;
        std::string location;
        bool credentials;
        // Where the redirect points, which must hear nothing when it is refused.
        test::ScriptedHTTPServer* target;
        long code;  // 0: followed
        const char* message = "";
    };
    const Case cases[] = {
        {"https to http, a sign-in form", &secure, 307, server.url("/auth/"), true, &server, 13,
         "The request was not redirected from https to http"},
        {"https to http, a form without credentials", &secure, 307, server.url("/form/"), false, &server, 13,
         "The request was not redirected from https to http"},
        {"https to http, becoming a GET", &secure, 302, server.url("/list/"), false, &server, 13,
         "The request was not redirected from https to http"},
        {"https to another path of the same server, a sign-in form", &secure, 307, "/auth/again/", true, &secure, 0},
        {"another port, a sign-in form", &server, 307, other.url("/auth/"), true, &other, 14,
         "The request carries credentials and was not redirected to another server"},
        {"another host name, a sign-in form", &server, 307, localhost + "/auth/", true, &server, 14,
         "The request carries credentials and was not redirected to another server"},
        {"another port, a sign-in form becoming a GET", &server, 302, other.url("/welcome/"), true, &other, 14,
         "The request carries credentials and was not redirected to another server"},
        {"another port, a form without credentials", &server, 307, other.url("/form/"), false, &other, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.origin->enqueue(redirect(c.status, c.location));
        const std::size_t heardBefore = c.target->requestCount();
        auto request = HTTPRequest::requestWithURL(URL(c.origin->url("/start/")));
        request->setValidatesSecureCertificate(false);
        request->setCarriesCredentials(c.credentials);
        request->setRequestMethod("POST");
        request->setPostBody({'e', '=', 'a'});
        const auto outcome = run(request);
        if (c.code == 0) {
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_EQ(test::text(request->responseData()), "arrived");
            ASSERT_EQ(c.target->requestCount(), heardBefore + 1 + (c.target == c.origin ? 1 : 0));
            EXPECT_EQ(c.target->requests().back().body, "e=a");
        } else {
            EXPECT_EQ(outcome.failures, 1);
            expectError(*request, c.code, c.message);
            EXPECT_EQ(c.target->requestCount(), heardBefore + (c.target == c.origin ? 1 : 0)) << "heard nothing";
        }
    }
}

// Whoever takes a redirect hands a URL back, which is judged like the answer's own.
class HandsBackURL : public HTTPRequestDelegate {
public:
    explicit HandsBackURL(URL url) : url_(std::move(url)) {}
    bool takesRedirects() const override { return true; }
    void requestWillRedirectToURL(HTTPRequest& request, const URL&) override { request.redirectToURL(url_); }

private:
    URL url_;
};

TEST_F(RedirectTest, AURLHandedBackByWhoeverTakesTheRedirectIsJudgedTheSame) {
    test::ScriptedHTTPServer secure(test::ScriptedHTTPServer::Options{.tls = true, .keepBodies = true});
    secure.enqueue(redirect(307, "/next/"));
    auto request = HTTPRequest::requestWithURL(URL(secure.url("/start/")));
    request->setValidatesSecureCertificate(false);
    auto delegate = std::make_shared<HandsBackURL>(URL(server.url("/plain/")));
    request->setDelegate(delegate);
    EXPECT_EQ(run(request).failures, 1);
    expectError(*request, 13, "The request was not redirected from https to http");
    EXPECT_EQ(server.requestCount(), 0U);
}

}  // namespace
}  // namespace tomely
