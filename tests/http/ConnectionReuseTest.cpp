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

}  // namespace
}  // namespace tomely
