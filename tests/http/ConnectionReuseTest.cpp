#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "RequestFixture.h"
#include "http/ConnectionPool.h"

namespace tomely {
namespace {

using test::RecordedRequest;
using test::ScriptedResponse;

TEST(KeepAliveTest, TheResponseDecidesWhetherItsConnectionMayServeAgain) {
    struct Case {
        const char* version;
        std::vector<std::pair<std::string, std::string>> headers;
        bool reusable;
        std::optional<double> timeout;
    };
    const Case cases[] = {
        {"HTTP/1.1", {}, true, std::nullopt},
        {"HTTP/1.1", {{"Connection", "close"}}, false, std::nullopt},
        {"HTTP/1.1", {{"Connection", "Close"}}, false, std::nullopt},
        {"HTTP/1.0", {}, false, std::nullopt},
        {"HTTP/1.0", {{"Connection", "Keep-Alive"}}, true, std::nullopt},
        {"HTTP/1.1", {{"Keep-Alive", "timeout=5, max=100"}}, true, 5.0},
        {"HTTP/1.1", {{"Keep-Alive", "timeout=5, max=5"}}, false, std::nullopt},
        {"HTTP/1.1", {{"Keep-Alive", "timeout=5"}}, false, std::nullopt},
        {"HTTP/1.1", {{"Keep-Alive", "max=6"}}, true, std::nullopt},
    };
    for (const Case& c : cases) {
        ResponseHead head;
        head.httpVersion = c.version;
        std::string trace = c.version;
        for (const auto& [name, value] : c.headers) {
            head.headers.emplace(name, value);
            trace += " " + name + ": " + value;
        }
        SCOPED_TRACE(trace);
        const KeepAlive decision = keepAliveFor(head);
        EXPECT_EQ(decision.reusable, c.reusable);
        EXPECT_EQ(decision.timeoutSeconds, c.timeout);
    }
}

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

TEST_F(ConnectionReuseTest, GetsShareAConnectionAndBodiesGoOnTheirOwn) {
    server.setHandler([](const RecordedRequest&) { return ScriptedResponse::text(200, "ok"); });
    EXPECT_TRUE(sharedOneConnection([&] { return get("/page"); }));
    EXPECT_FALSE(sharedOneConnection([&] {
        auto request = get("/form");
        request->setRequestMethod("POST");
        request->setPostBody({'a', '=', '1'});
        return request;
    })) << "two posts use two connections";
    EXPECT_FALSE(sharedOneConnection([&] {
        auto request = get("/put");
        request->setRequestMethod("PUT");
        return request;
    })) << "a PUT takes no shared connection even without a body";
}

TEST_F(ConnectionReuseTest, TheServerCanRefuseReuse) {
    struct Case {
        const char* what;
        ScriptedResponse answer;
        bool shared;
    };
    ScriptedResponse closing = ScriptedResponse::text(200, "ok");
    closing.closeConnection = true;
    const Case cases[] = {
        {"Connection: close", closing, false},
        {"Keep-Alive with too few requests left",
         ScriptedResponse::text(200, "ok", {{"Keep-Alive", "timeout=5, max=3"}}), false},
        {"Keep-Alive with enough requests left",
         ScriptedResponse::text(200, "ok", {{"Keep-Alive", "timeout=5, max=100"}}), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        server.setHandler([answer = c.answer](const RecordedRequest&) { return answer; });
        EXPECT_EQ(sharedOneConnection([&] { return get("/page"); }), c.shared);
    }
}

TEST_F(ConnectionReuseTest, TheServersTimeoutBecomesTheIdleLimit) {
    server.enqueue(ScriptedResponse::text(200, "ok", {{"Keep-Alive", "timeout=7, max=100"}}));
    auto request = get("/page");
    run(request);
    EXPECT_TRUE(request->connectionCanBeReused());
    EXPECT_EQ(request->persistentConnectionTimeoutSeconds(), 7.0);
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
        EXPECT_EQ(idle.connectionCount(), 2U);
    }
}

TEST_F(ConnectionReuseTest, ExpiredConnectionsAreNotUsedAgain) {
    server.setHandler([](const RecordedRequest&) { return ScriptedResponse::text(200, "ok"); });
    run(get("/first"));
    HTTPRequest::expirePersistentConnections();
    run(get("/second"));
    const auto recorded = server.requests();
    ASSERT_EQ(recorded.size(), 2U);
    EXPECT_NE(recorded[0].connectionIndex, recorded[1].connectionIndex);
}

}  // namespace
}  // namespace tomely
