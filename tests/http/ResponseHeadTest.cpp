#include "http/ResponseHead.h"
#include "platform/TextEncoding.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace tomely {
namespace {

TEST(ResponseHeadTest, HeaderBlocks) {
    const auto head = parseResponseHead(
        "HTTP/1.1 100 Continue\r\n\r\n"
        "HTTP/1.1 200 OK\r\n"
        "Content-Type:text/plain \r\n"
        "no colon here\r\n"
        ": nameless\r\n"
        "X-Folded: first\r\n"
        "  second\r\n"
        "Set-Cookie: a=1; Expires=Wed, 09 Jun 2038 10:18:14 GMT\r\n"
        "set-cookie: b=2\r\n"
        "X-Bytes: \xFF\xFE\r\n"
        "\r\n");
    ASSERT_TRUE(head.has_value());
    EXPECT_EQ(head->statusCode, 200) << "the interim answer is replaced";
    EXPECT_EQ(head->headers.at("content-type"), "text/plain");
    EXPECT_EQ(head->headers.at("X-Folded"), "first second");
    EXPECT_EQ(head->headers.at("X-Bytes"), "\xFF\xFE");
    EXPECT_EQ(head->headers.at("Set-Cookie"), "a=1; Expires=Wed, 09 Jun 2038 10:18:14 GMT, b=2");
    ASSERT_EQ(head->setCookieFields.size(), 2U);
    EXPECT_EQ(head->setCookieFields[0], "a=1; Expires=Wed, 09 Jun 2038 10:18:14 GMT");
    EXPECT_EQ(head->headers.size(), 4U);
    EXPECT_FALSE(parseResponseHead("HTTP/1.1 200 OK\r\nX: y\r\n").has_value()) << "no end";
    EXPECT_FALSE(parseResponseHead("garbage\r\n\r\n").has_value());
    EXPECT_FALSE(parseResponseHead("HTTP/1.1 200 OK\r\nX: " + std::string(2 << 20, 'x') + "\r\n\r\n").has_value());
}

TEST(ResponseHeadTest, ContentLengthsAreDecimalAsTheTransportReadsThem) {
    const struct {
        const char* value;
        std::optional<std::uint64_t> length;
    } cases[] = {
        {" 42 ", 42},
        {"010", 10},
        {"5, 5", 5},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"0x1F", std::nullopt},
        {"+5", std::nullopt},
        {"", std::nullopt},
        {"5, 10", std::nullopt},
        {"5,", std::nullopt},
        {"9223372036854775808", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(parseContentLength(c.value), c.length);
    }
}

}  // namespace
}  // namespace tomely
