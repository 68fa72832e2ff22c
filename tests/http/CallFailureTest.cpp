#include "http/CallFailure.h"

#include <gtest/gtest.h>

#include "RequestFixture.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

using CallFailureTest = test::RequestFixture;

TEST_F(CallFailureTest, ReadsTheStatusTheLastURLTheTransportErrorAndRetryAfter) {
    struct Case {
        const char* name;
        std::vector<ScriptedResponse> answers;
        int status;
        const char* path;  // of the URL the call went to last
        std::optional<std::string> error;
        std::optional<std::string> retryAfter;
    };
    const Case cases[] = {
        // The client tries a lost connection once more, on a fresh one. First, so that no kept-alive
        // connection of an earlier case is lost instead (which is tried again without counting).
        {"no answer at all",
         {ScriptedResponse::rawBytes(""), ScriptedResponse::rawBytes("")},
         0,
         "/call",
         "A connection failure occurred",
         std::nullopt},
        {"an answer that asks to wait",
         {ScriptedResponse::text(503, "busy", {{"Retry-After", "120"}})},
         503,
         "/call",
         std::nullopt,
         "120"},
        {"an answer without a wait", {ScriptedResponse::text(400, "bad")}, 400, "/call", std::nullopt, std::nullopt},
        // The client fails a challenge it cannot answer, and keeps the status beside its error.
        {"a challenge",
         {ScriptedResponse::text(401, "who?")},
         401,
         "/call",
         "Failed to get authentication object from response headers",
         std::nullopt},
        {"an answer after a redirect",
         {ScriptedResponse::text(302, "", {{"Location", "/moved"}}), ScriptedResponse::text(500, "oops")},
         500,
         "/moved",
         std::nullopt,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const ScriptedResponse& answer : c.answers) {
            server.enqueue(answer);
        }
        auto request = get("/call");
        run(request);
        const CallFailure failure = CallFailure::of(*request);
        EXPECT_EQ(failure.statusCode, c.status);
        EXPECT_EQ(failure.url, server.url(c.path));
        EXPECT_EQ(failure.error ? std::optional(failure.error->localizedDescription()) : std::nullopt, c.error);
        EXPECT_EQ(failure.retryAfter, c.retryAfter);
    }
}

}  // namespace
}  // namespace tomely
