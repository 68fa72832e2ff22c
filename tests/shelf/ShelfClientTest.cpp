#include "shelf/ShelfClient.h"

#include <gtest/gtest.h>

#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "http/HTTPCookieStorage.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

// Each call against a scripted service: what goes out, and what each answer becomes.
class ShelfClientTest : public test::MainLoopFixture {
protected:
    ShelfClientTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies();
    }
    ~ShelfClientTest() override { HTTPCookieStorage::sharedHTTPCookieStorage().deleteAllCookies(); }

    // Starts a call with `start`, which hands it the block to report to, and waits for its one
    // report, which must come on the main thread; a second report would be caught afterwards.
    template <class Result>
    Result answer(const std::function<ShelfCall(std::function<void(Result)>)>& start,
                  const std::function<void(const ShelfCall&)>& meanwhile = {}) {
        std::vector<Result> reports;
        bool onMainThread = true;
        const ShelfCall call = start([&](Result result) {
            onMainThread = onMainThread && loop().isMainThread();
            reports.push_back(std::move(result));
        });
        if (meanwhile) {
            meanwhile(call);
        }
        runUntil([&] { return !reports.empty(); });
        drainMainLoop();
        EXPECT_EQ(reports.size(), 1U);
        EXPECT_TRUE(onMainThread);
        return reports.empty() ? Result{} : reports.front();
    }

    test::ScopedEnvironment environment;
    test::ScriptedHTTPServer server;
    const ShelfClient client{};
};

// "status 503 at URL", "status 0, The request was cancelled, at URL"; "no failure" for any other result.
template <class Result>
std::string failureOf(const Result& result) {
    const auto* failure = std::get_if<CallFailure>(&result);
    if (failure == nullptr) {
        return "no failure";
    }
    std::string text = "status " + std::to_string(failure->statusCode);
    if (failure->error) {
        text += ", " + failure->error->localizedDescription() + ",";
    }
    if (failure->retryAfter) {
        text += ", retry after " + *failure->retryAfter;
    }
    return text + " at " + failure->url;
}

TEST_F(ShelfClientTest, SignInPostsTheFormAndTellsSignedInRefusedAndFailedApart) {
    struct Case {
        const char* name;
        ScriptedResponse answer;
        std::size_t variant;  // 0 signed in, 1 refused, 2 failed
        std::string failure;
    };
    const std::string url = server.url("/api/author/shelf/upload/auth/");
    const Case cases[] = {
        {"200", ScriptedResponse::text(200, "{}"), 0, "no failure"},
        {"204", ScriptedResponse::text(204, ""), 0, "no failure"},
        {"403", ScriptedResponse::text(403, "wrong"), 1, "no failure"},
        {"401", ScriptedResponse::text(401, "who?"), 2,
         "status 401, Failed to get authentication object from response headers, at " + url},
        {"503", ScriptedResponse::text(503, "busy", {{"Retry-After", "30"}}), 2,
         "status 503, retry after 30 at " + url},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.answer);
        const SignInResult result = answer<SignInResult>(
            [&](auto report) { return client.signIn("ann@example.com", "pass word&", std::move(report)); });
        EXPECT_EQ(result.index(), c.variant);
        EXPECT_EQ(failureOf(result), c.failure);
        const test::RecordedRequest sent = server.requests().back();
        EXPECT_EQ(sent.method, "POST");
        EXPECT_EQ(sent.target, "/api/author/shelf/upload/auth/");
        EXPECT_EQ(sent.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
        EXPECT_EQ(sent.body, "email=ann%40example.com&password=pass%20word%26");
    }
}

TEST_F(ShelfClientTest, TheListIsDecodedOnceAndABodyThatIsNoArrayGivesNone) {
    struct Case {
        const char* name;
        ScriptedResponse answer;
        std::optional<std::vector<std::string>> titles;
        std::string failure;
    };
    const Case cases[] = {
        {"two books", ScriptedResponse::text(200, R"([{"title": "One", "book_id": 1}, {"title": "Été"}])"),
         std::vector<std::string>{"One", "Été"}, "no failure"},
        {"gzip",
         [] {
             auto answer = ScriptedResponse::text(200, test::gzip(R"([{"title": "Zipped"}])"));
             answer.headers.emplace_back("Content-Encoding", "gzip");
             return answer;
         }(),
         std::vector<std::string>{"Zipped"}, "no failure"},
        {"not JSON", ScriptedResponse::text(200, "<html>"), std::nullopt, "no failure"},
        {"an object", ScriptedResponse::text(200, "{}"), std::nullopt, "no failure"},
        {"500", ScriptedResponse::text(500, "[]"), std::nullopt,
         "status 500 at " + server.url("/api/author/shelf/upload/list/")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.answer);
        const BookListResult result =
            answer<BookListResult>([&](auto report) { return client.listBooks(std::move(report)); });
        EXPECT_EQ(failureOf(result), c.failure);
        if (const auto* books = std::get_if<0>(&result)) {
            std::optional<std::vector<std::string>> titles;
            if (*books) {
                titles.emplace();
                for (const ExistingBook& book : **books) {
                    titles->push_back(book.displayTitle());
                }
            }
            EXPECT_EQ(titles, c.titles);
        }
        EXPECT_EQ(server.requests().back().method, "GET");
        EXPECT_EQ(server.requests().back().target, "/api/author/shelf/upload/list/");
    }
}

TEST_F(ShelfClientTest, TheManifestIsTheWholeBodyWithoutAContentTypeAndItsAnswerIsDecoded) {
    struct Case {
        const char* name;
        ScriptedResponse answer;
        std::string decoded;  // the answer's JSON, "none" when it is not JSON
        std::string failure;
    };
    const std::string url = server.url("/api/author/shelf/upload/manifest/G%2F1/");
    const Case cases[] = {
        {"names", ScriptedResponse::text(200, R"(["\/a.part00000"])"), R"(["/a.part00000"])", "no failure"},
        {"not JSON", ScriptedResponse::text(200, "no"), "none", "no failure"},
        {"400", ScriptedResponse::text(400, "[]"), "none", "status 400 at " + url},
    };
    const std::string manifest = R"({"hashes":{"\/a.part00000":"x_1"},"bookGUID":"G\/1"})";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.answer);
        const ManifestResult result = answer<ManifestResult>(
            [&](auto report) { return client.postManifest("G/1", manifest, std::move(report)); });
        EXPECT_EQ(failureOf(result), c.failure);
        if (const auto* decoded = std::get_if<JSONAnswer>(&result)) {
            EXPECT_EQ(decoded->body ? decoded->body->description() : "none", c.decoded);
            EXPECT_EQ(decoded->statusCode, 200);
            EXPECT_EQ(decoded->url, url);
        }
        const test::RecordedRequest sent = server.requests().back();
        EXPECT_EQ(sent.method, "POST");
        EXPECT_EQ(sent.target, "/api/author/shelf/upload/manifest/G%2F1/");
        EXPECT_FALSE(sent.hasHeader("Content-Type"));
        EXPECT_EQ(sent.body, manifest);
    }
}

TEST_F(ShelfClientTest, ACancelledCallReportsOnceAsACancelledFailure) {
    ScriptedResponse held = ScriptedResponse::text(200, "[]");
    held.holdUntilReleased = true;
    server.setHandler([held](const test::RecordedRequest&) { return held; });
    const BookListResult result =
        answer<BookListResult>([&](auto report) { return client.listBooks(std::move(report)); },
                               [&](const ShelfCall& call) {
                                   ASSERT_TRUE(server.waitForRequests(1));
                                   call.cancel();
                               });
    EXPECT_EQ(failureOf(result),
              "status 0, The request was cancelled, at " + server.url("/api/author/shelf/upload/list/"));
    server.releaseHeldAnswers();
}

}  // namespace
}  // namespace tomely
