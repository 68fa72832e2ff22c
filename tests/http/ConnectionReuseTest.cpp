#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "RequestFixture.h"

namespace tomely {
namespace {

using test::RecordedRequest;
using test::ScriptedResponse;

class ConnectionReuseTest : public test::RequestFixture {
protected:
    // Runs two requests one after the other and tells whether the server saw them on one
    // connection.
    bool sharedOneConnection(const std::function<std::shared_ptr<HTTPRequest>()>& make) {
        const std::size_t before = server.requestCount();
        EXPECT_EQ(run(make()).completions, 1);
        EXPECT_EQ(run(make()).completions, 1);
        const auto recorded = server.requests();
        EXPECT_EQ(recorded.size(), before + 2);
        return recorded.size() == before + 2 &&
               recorded[before].connectionIndex == recorded[before + 1].connectionIndex;
    }
};

TEST_F(ConnectionReuseTest, GetsShareAConnectionUnlessRefusedAndBodiesGoOnTheirOwn) {
    server.setHandler([](const RecordedRequest&) { return ScriptedResponse::text(200, "ok"); });
    EXPECT_TRUE(sharedOneConnection([&] { return get("/page"); }));
    EXPECT_FALSE(sharedOneConnection([&] {
        auto request = get("/form");
        request->setRequestMethod("POST");
        request->setPostBody({'a', '=', '1'});
        return request;
    })) << "two posts use two connections";

    // The server's word, as keepAliveFor reads it, reaches the pool.
    const auto closing =
        ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok");
    server.setHandler([closing](const RecordedRequest&) { return closing; });
    EXPECT_FALSE(sharedOneConnection([&] { return get("/page"); })) << "Connection: close";
}

TEST_F(ConnectionReuseTest, AConnectionTheServerWroteToOrClosedWhileIdleIsNotUsedAgain) {
    const struct {
        const char* name;
        std::string lateBytes;
    } cases[] = {
        {"a late 408", "HTTP/1.1 408 Request Timeout\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
        {"stray bytes", "stray"},
        {"nothing but the close", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A server of its own, so that no connection of another case is at hand.
        test::ScriptedHTTPServer idle;
        ScriptedResponse first = ScriptedResponse::text(200, "first");
        first.lateBytes = c.lateBytes;
        idle.enqueue(first);
        idle.enqueue(ScriptedResponse::text(200, "second"));
        EXPECT_EQ(run(HTTPRequest::requestWithURL(URL(idle.url("/first")))).completions, 1);
        idle.releaseHeldAnswers();
        ASSERT_TRUE(idle.waitForLateBytes(1));
        auto second = HTTPRequest::requestWithURL(URL(idle.url("/second")));
        EXPECT_EQ(run(second).completions, 1);
        EXPECT_EQ(second->responseStatusCode(), 200);
        EXPECT_EQ(test::text(second->responseData()), "second");
        EXPECT_EQ(second->retryCount(), 0) << "not a lost connection that happened to be retried";
        const auto recorded = idle.requests();
        ASSERT_EQ(recorded.size(), 2U);
        EXPECT_EQ(recorded[1].connectionIndex, 1U);
    }
}

}  // namespace
}  // namespace tomely
