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
        {"HTTP/1.0", {}, false, std::nullopt},
        {"HTTP/1.0", {{"Connection", "Keep-Alive"}}, true, std::nullopt},
        {"HTTP/1.1", {{"Keep-Alive", "timeout=5, max=100"}}, true, 5.0},
        {"HTTP/1.1", {{"Keep-Alive", "timeout=5, max=5"}}, false, std::nullopt},
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

}  // namespace
}  // namespace tomely
