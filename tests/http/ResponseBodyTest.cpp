#include "http/ResponseBody.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "RequestFixture.h"
#include "http/DataDecompressor.h"

namespace tomely {
namespace {

using test::expectError;
using test::Outcome;
using test::ScriptedResponse;
using test::text;

std::span<const std::uint8_t> bytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ResponseBodyTest, ABodyIsKeptUpToItsLimitAsReceivedAndInflatedAndWholeOrNotAtAll) {
    const std::string thousand(1000, 'x');
    const std::string compressed = test::gzip(thousand);
    struct Case {
        const char* name;
        bool compressed;
        std::string received;
        std::uint64_t limit;
        // Kept when the body is accepted.
        std::optional<std::string> kept;
        long code = 0;
        const char* message = "";
    };
    const Case cases[] = {
        {"plain, exactly the limit", false, "abcd", 4, "abcd"},
        {"plain, a byte past the limit", false, "abcde", 4, std::nullopt, 15,
         "The response was refused because its body is larger than 4 bytes"},
        {"gzip inflating to exactly the limit", true, compressed, 1000, thousand},
        {"gzip inflating to a byte past the limit", true, test::gzip(thousand + "x"), 1000, std::nullopt, 15,
         "The response was refused because its body is larger than 1000 bytes"},
        {"gzip whose trailing bytes take what arrives past the limit", true, test::gzip("ok") + std::string(100, 'j'),
         50, std::nullopt, 15, "The response was refused because its body is larger than 50 bytes"},
        {"gzip that ends inside its stream", true, compressed.substr(0, compressed.size() - 6), 1000, std::nullopt, 11,
         "Decompression of data failed with code -5"},
        {"gzip that is not", true, "plain text", 1000, std::nullopt, 11, "Decompression of data failed with code -3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResponseBody body;
        body.reset(c.compressed, c.limit, c.received.size());
        Error error;
        bool accepted = true;
        // In uneven blocks, as the transport hands them over.
        for (std::size_t offset = 0; accepted && offset < c.received.size(); offset += 7) {
            accepted = body.append(bytes(std::string_view(c.received).substr(offset, 7)), &error);
        }
        accepted = accepted && body.finish(&error);
        EXPECT_LE(body.raw().size(), c.limit);
        EXPECT_LE(body.data().size(), c.limit);
        if (c.kept) {
            ASSERT_TRUE(accepted) << error.localizedDescription();
            EXPECT_EQ(text(body.data()), *c.kept);
            EXPECT_EQ(text(body.raw()), c.received);
        } else {
            ASSERT_FALSE(accepted);
            EXPECT_EQ(error.domain, kNetworkRequestErrorDomain);
            EXPECT_EQ(error.code, c.code);
            EXPECT_EQ(error.localizedDescription(), c.message);
        }
    }
}

TEST(ResponseBodyTest, AThousandfoldBlockIsInflatedABoundedStepAtATimeUntilTheReceiverStops) {
    // 8 KiB or so of gzip that would expand to 8 MiB.
    const std::string bomb = test::gzip(std::string(8 * 1024 * 1024, '\0'));
    ASSERT_LT(bomb.size(), 16U * 1024);
    DataDecompressor inflater;
    ASSERT_TRUE(inflater.setupStream());
    std::size_t handedOver = 0;
    std::size_t largestStep = 0;
    Error error;
    const bool inflated = inflater.inflateBytes(
        bytes(bomb),
        [&](std::span<const std::uint8_t> step) {
            handedOver += step.size();
            largestStep = std::max(largestStep, step.size());
            return handedOver < 1024 * 1024;
        },
        &error);
    EXPECT_FALSE(inflated);
    EXPECT_TRUE(error.domain.empty()) << "the receiver stopped it, not zlib";
    EXPECT_LE(largestStep, 65536U);
    EXPECT_LT(handedOver, 1024U * 1024 + 65536) << "nothing inflated past where the receiver stopped";
}

using ResponseLimitTest = test::RequestFixture;

TEST_F(ResponseLimitTest, ABodyPastTheRequestsLimitFailsAsSoonAsItPassesIt) {
    constexpr std::uint64_t kMiB = 1024 * 1024;
    const std::string oneMiB(kMiB, 'm');
    struct Case {
        const char* name;
        ScriptedResponse answer;
        // 0: the request's default.
        std::uint64_t limit;
        bool accepted;
        const char* message = "";
    };
    const Case cases[] = {
        {"exactly the default limit", ScriptedResponse::text(200, oneMiB), 0, true},
        {"a byte past the default limit", ScriptedResponse::text(200, oneMiB + "m"), 0, false,
         "The response was refused because its body is larger than 1048576 bytes"},
        {"chunks past the default limit",
         ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100000\r\n" + oneMiB +
                                    "\r\n1\r\nm\r\n0\r\n\r\n"),
         0, false, "The response was refused because its body is larger than 1048576 bytes"},
        {"8 KiB of gzip that would expand to 8 MiB",
         ScriptedResponse::text(200, test::gzip(std::string(8 * kMiB, ' ')), {{"Content-Encoding", "gzip"}}), 0, false,
         "The response was refused because its body is larger than 1048576 bytes"},
        {"two MiB within a limit of 64 MiB", ScriptedResponse::text(200, oneMiB + oneMiB), 64 * kMiB, true},
        {"two MiB of gzip past a limit of 1 MiB",
         ScriptedResponse::text(200, test::gzip(oneMiB + oneMiB), {{"Content-Encoding", "gzip"}}), kMiB, false,
         "The response was refused because its body is larger than 1048576 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(c.answer);
        auto request = get("/list/");
        if (c.limit != 0) {
            request->setMaxResponseBodyBytes(c.limit);
        }
        const Outcome outcome = run(request);
        if (c.accepted) {
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_EQ(text(request->responseData()), c.answer.body);
        } else {
            EXPECT_EQ(outcome.completions, 0);
            EXPECT_EQ(outcome.failures, 1);
            expectError(*request, 15, c.message);
            EXPECT_LE(request->responseData().size(), kMiB);
        }
    }
}

}  // namespace
}  // namespace tomely
