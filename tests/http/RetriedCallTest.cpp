#include "http/RetriedCall.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RequestFixture.h"
#include "common/ImmediateRetries.h"

namespace tomely {
namespace {

using std::chrono::milliseconds;
using test::ScriptedResponse;

class RetriedCallTest : public test::RequestFixture {
protected:
    // Makes the call with `policy` and waits for its end: "answered 200", "failed" and the like.
    std::string call(RetryPolicy policy) {
        ends.clear();
        retries.clear();
        auto call = RetriedCall::create(
            [this] {
                auto request = HTTPRequest::requestWithURL(URL(server.url("/api/author/shelf/list/")));
                // Each attempt on a connection of its own, so that every answer below is one request.
                request->setShouldAttemptPersistentConnection(false);
                return request;
            },
            std::move(policy));
        call->setAnsweredBlock([this](HTTPRequest& request) {
            ends.push_back("answered " + std::to_string(request.responseStatusCode()));
        });
        call->setFailedBlock([this](HTTPRequest&) { ends.push_back("failed"); });
        call->setRetryBlock([this](HTTPRequest&, const RetryPolicy::Retry& retry) { retries.push_back(retry); });
        call->start();
        EXPECT_TRUE(runUntil([&] { return !ends.empty(); }));
        drainMainLoop();
        EXPECT_EQ(ends.size(), 1U) << "one end";
        return ends.empty() ? "none" : ends.front();
    }

    test::ScriptedHTTPServer server;
    std::vector<std::string> ends;
    std::vector<RetryPolicy::Retry> retries;
};

TEST_F(RetriedCallTest, TransientFailuresAreMadeAgainUntilAnAnswerOrTheRetriesAreSpent) {
    const ScriptedResponse ok = ScriptedResponse::text(200, "[]");
    const ScriptedResponse busy = ScriptedResponse::text(503, "busy");
    const ScriptedResponse hangUp = ScriptedResponse::rawBytes("");
    struct Case {
        const char* name;
        int retries;
        std::vector<ScriptedResponse> answers;
        const char* end;
        std::vector<RetryPolicy::Retry> waits;
    };
    const Case cases[] = {
        {"a 503, then the answer", 4, {busy, ok}, "answered 200", {{2, 5, milliseconds(1000)}}},
        // A request sends itself once more at once on a new connection when one is lost: an attempt
        // that loses its connection takes two hang-ups.
        {"a lost connection, then the answer", 4, {hangUp, hangUp, ok}, "answered 200", {{2, 5, milliseconds(1000)}}},
        {"a 429 asking for 3 s, then the answer",
         4,
         {ScriptedResponse::text(429, "slow down", {{"Retry-After", "3"}}), ok},
         "answered 200",
         {{2, 5, milliseconds(3000)}}},
        {"503s until the retries are spent",
         2,
         {busy, busy, busy},
         "answered 503",
         {{2, 3, milliseconds(1000)}, {3, 3, milliseconds(2000)}}},
        {"lost connections until the retries are spent",
         1,
         {hangUp, hangUp, hangUp, hangUp},
         "failed",
         {{2, 2, milliseconds(1000)}}},
        {"a 403 is final", 4, {ScriptedResponse::text(403, "no")}, "answered 403", {}},
        {"a 404 is final", 4, {ScriptedResponse::text(404, "gone")}, "answered 404", {}},
        {"no retries: a 503 is the end", 0, {busy}, "answered 503", {}},
        {"a Retry-After past the bound ends the retries",
         4,
         {ScriptedResponse::text(503, "later", {{"Retry-After", "3600"}})},
         "answered 503",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const ScriptedResponse& answer : c.answers) {
            server.enqueue(answer);
        }
        const std::size_t before = server.requestCount();
        EXPECT_EQ(call(test::immediateRetries(c.retries)), c.end);
        EXPECT_EQ(retries, c.waits);
        EXPECT_EQ(server.requestCount() - before, c.answers.size()) << "one request per attempt";
    }
}

TEST_F(RetriedCallTest, ACancelDuringAWaitEndsTheCallAsFailedWithoutAnotherAttempt) {
    server.enqueue(ScriptedResponse::text(503, "busy"));
    RetryPolicy policy(4);
    std::function<void()> next;
    policy.setWait([&next](milliseconds, std::function<void()> attempt) { next = std::move(attempt); });
    std::vector<std::string> seen;
    auto call = RetriedCall::create(
        [this] { return HTTPRequest::requestWithURL(URL(server.url("/api/author/shelf/list/"))); }, policy);
    call->setAnsweredBlock([&seen](HTTPRequest&) { seen.push_back("answered"); });
    call->setFailedBlock([&seen](HTTPRequest&) { seen.push_back("failed"); });
    call->start();
    ASSERT_TRUE(runUntil([&] { return static_cast<bool>(next); }));
    call->cancel();
    ASSERT_TRUE(runUntil([&] { return !seen.empty(); }));
    next();
    drainMainLoop();
    EXPECT_EQ(seen, std::vector<std::string>{"failed"});
    EXPECT_EQ(server.requestCount(), 1U);
}

}  // namespace
}  // namespace tomely
