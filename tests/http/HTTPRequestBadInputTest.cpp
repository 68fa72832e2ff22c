#include "http/HTTPRequest.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "RequestFixture.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

using test::expectError;
using test::Outcome;
using test::ScriptedResponse;
using test::text;

// Bad URLs, dropped connections, malformed answers, TLS refusals: each ends in one defined
// completion or failure, never a crash or a hang.
class HTTPRequestBadInputTest : public test::RequestFixture {};

TEST_F(HTTPRequestBadInputTest, BadURLsAndHeadersFailWithCode5BeforeAnythingIsSent) {
    const char* const urls[] = {"not a url", "", "ftp://127.0.0.1/file", "http://"};
    for (const char* url : urls) {
        SCOPED_TRACE(url);
        auto request = HTTPRequest::requestWithURL(URL(url));
        EXPECT_EQ(run(request).failures, 1);
        expectError(*request, 5, "Unable to create request (bad url?)");
    }
    auto injected = get("/inject");
    injected->addRequestHeader("X-Evil", "value\r\nX-Injected: yes");
    EXPECT_EQ(run(injected).failures, 1);
    expectError(*injected, 5, "Unable to create request (bad url?)");
    EXPECT_EQ(server.requestCount(), 0U);
}

TEST_F(HTTPRequestBadInputTest, ALostConnectionIsRetriedOnceOnAFreshConnectionWithTheSameBody) {
    const auto hangUp = ScriptedResponse::rawBytes("");
    const auto cutShort =
        ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(1000, 'b'));
    for (const bool lostTwice : {false, true}) {
        SCOPED_TRACE(lostTwice ? "lost twice" : "lost once");
        const std::size_t before = server.requestCount();
        server.enqueue(lostTwice ? cutShort : hangUp);
        server.enqueue(lostTwice ? cutShort : ScriptedResponse::text(200, "second time lucky"));
        auto request = get("/flaky");
        const std::string body = "the same body twice";
        request->setPostBody(std::vector<std::uint8_t>(body.begin(), body.end()));
        const Outcome outcome = run(request);
        EXPECT_EQ(request->retryCount(), 1);
        if (lostTwice) {
            EXPECT_EQ(outcome.failures, 1);
            expectError(*request, 1, "A connection failure occurred");
        } else {
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_EQ(text(request->responseData()), "second time lucky");
        }
        const auto recorded = server.requests();
        ASSERT_EQ(recorded.size(), before + 2);
        EXPECT_EQ(recorded[before + 1].body, body);
        EXPECT_NE(recorded[before].connectionIndex, recorded[before + 1].connectionIndex);
    }
}

TEST_F(HTTPRequestBadInputTest, MalformedAnswersAndARefusedConnectionEndInAConnectionFailure) {
    const struct {
        const char* name;
        std::string raw;
    } cases[] = {
        {"no status line", "hello there\r\n\r\n"},
        {"header block without end", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"},
        {"one endless header line", "HTTP/1.1 200 OK\r\nX-Long: " + std::string(3 * 1024 * 1024, 'l') + "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(ScriptedResponse::rawBytes(c.raw));
        server.enqueue(ScriptedResponse::rawBytes(c.raw));
        auto request = get("/malformed");
        EXPECT_EQ(run(request).failures, 1);
        expectError(*request, 1, "A connection failure occurred");
    }
    int port = 0;
    {
        test::ScriptedHTTPServer closed;
        port = closed.port();
    }
    auto refused = HTTPRequest::requestWithURL(URL("http://127.0.0.1:" + std::to_string(port) + "/"));
    EXPECT_EQ(run(refused).failures, 1);
    expectError(*refused, 1, "A connection failure occurred");
}

TEST_F(HTTPRequestBadInputTest, AnAnswerCutShortOrStalledFailsAndIsNeverReportedAsTheAnswer) {
    const std::string body(4000, 'b');
    const std::string compressed = test::gzip(body);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n";
    // The head and a quarter of the body, then nothing until the server stops.
    ScriptedResponse stalled = ScriptedResponse::rawBytes(head + body);
    stalled.dripBytes = head.size() + 1000;
    stalled.dripPause = std::chrono::hours(1);
    const struct {
        const char* name;
        ScriptedResponse answer;
        long code;
        const char* message;
    } cases[] = {
        {"the connection closed before the length was reached", ScriptedResponse::rawBytes(head + body.substr(0, 1000)),
         1, "A connection failure occurred"},
        {"the connection closed before the last chunk",
         ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfa0\r\n" + body + "\r\n"), 1,
         "A connection failure occurred"},
        {"the connection closed inside a gzip body of no stated length",
         ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nConnection: close\r\n\r\n" +
                                    compressed.substr(0, compressed.size() - 10)),
         11, "Decompression of data failed with code -5"},
        {"a gzip body that ends inside its stream",
         ScriptedResponse::text(200, compressed.substr(0, compressed.size() - 6), {{"Content-Encoding", "gzip"}}), 11,
         "Decompression of data failed with code -5"},
        {"a body called gzip that is not", ScriptedResponse::text(200, "plain text", {{"Content-Encoding", "gzip"}}),
         11, "Decompression of data failed with code -3"},
        {"a body that stalls after its first quarter", stalled, 2, "The request timed out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedHTTPServer flaky;
        flaky.setHandler([&c](const test::RecordedRequest&) { return c.answer; });
        auto request = HTTPRequest::requestWithURL(URL(flaky.url("/list/")));
        request->setTimeOutSeconds(0.5);
        const Outcome outcome = run(request);
        EXPECT_EQ(outcome.completions, 0);
        EXPECT_EQ(outcome.failures, 1);
        expectError(*request, c.code, c.message);
    }
}

TEST_F(HTTPRequestBadInputTest, AnswersTheTransportCouldFrameOtherwiseAreRefusedWithCode12) {
    const struct {
        const char* name;
        std::string raw;
        const char* ambiguity;  // nullptr: accepted, with this body and its length
        std::string body = "hello";
    } cases[] = {
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 10\r\n\r\nhello",
         "two different Content-Length values"},
        {"a hexadecimal length", "HTTP/1.1 200 OK\r\nContent-Length: 0x5\r\n\r\nhello",
         "a Content-Length that is not a decimal number"},
        {"a bare carriage return", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-A: 1\rSet-Cookie: s=1\r\n\r\nhello",
         "a carriage return inside a line of its head"},
        {"white space before a colon", "HTTP/1.1 200 OK\r\nContent-Length : 5\r\n\r\nhello",
         "white space before a header's colon"},
        {"line feeds alone", "HTTP/1.1 200 OK\nContent-Length: 5\n\nhello", nullptr},
        {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nhello", nullptr},
        {"a leading zero, which is no octal", "HTTP/1.1 200 OK\r\nContent-Length: 010\r\n\r\nhellohello", nullptr,
         "hellohello"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.enqueue(ScriptedResponse::rawBytes(c.raw));
        auto request = get("/framing");
        const Outcome outcome = run(request);
        if (c.ambiguity == nullptr) {
            EXPECT_EQ(outcome.completions, 1);
            EXPECT_EQ(text(request->responseData()), c.body);
            EXPECT_EQ(request->contentLength(), c.body.size());
        } else {
            EXPECT_EQ(outcome.failures, 1);
            expectError(*request, kAmbiguousResponseErrorType,
                        std::string("The response was refused because its framing is ambiguous: ") + c.ambiguity);
        }
    }
}

TEST_F(HTTPRequestBadInputTest, ABodyFromAFileIsStreamedAndItsTemporaryFileRemoved) {
    test::ScriptedHTTPServer sink(test::ScriptedHTTPServer::Options{.tls = false, .keepBodies = false});
    sink.enqueue(ScriptedResponse::text(200, ""));
    auto request = HTTPRequest::requestWithURL(URL(sink.url("/big")));
    request->setShouldStreamPostDataFromDisk(true);
    std::vector<std::uint8_t> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7);
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    for (int i = 0; i < 24; ++i) {
        request->appendPostData(block);
        crc = crc32(crc, block.data(), static_cast<uInt>(block.size()));
    }
    const std::string bodyFile = request->postBodyFilePath();
    ASSERT_FALSE(bodyFile.empty());
    EXPECT_TRUE(request->postBody().empty()) << "nothing kept in memory";
    EXPECT_EQ(run(request).completions, 1);
    const auto recorded = sink.requests().at(0);
    EXPECT_EQ(recorded.bodyLength, 24U << 20);
    EXPECT_EQ(recorded.bodyCRC32, static_cast<std::uint32_t>(crc));
    EXPECT_FALSE(recorded.hasHeader("Expect")) << "curl would ask for 100-continue above 1 MB";
    EXPECT_FALSE(std::filesystem::exists(bodyFile));
}

TEST_F(HTTPRequestBadInputTest, TLSVerificationRefusesASelfSignedCertificateUnlessSwitchedOff) {
    test::ScriptedHTTPServer secure(test::ScriptedHTTPServer::Options{.tls = true, .keepBodies = true});
    secure.setHandler([](const test::RecordedRequest&) { return ScriptedResponse::text(200, "secret"); });
    auto verified = HTTPRequest::requestWithURL(URL(secure.url("/tls")));
    EXPECT_EQ(run(verified).failures, 1);
    expectError(*verified, 1,
                "A connection failure occurred: SSL problem (Possible causes may include a bad/expired/self-signed "
                "certificate, clock set to wrong date)");
    EXPECT_EQ(secure.requestCount(), 0U);

    auto unverified = HTTPRequest::requestWithURL(URL(secure.url("/tls")));
    unverified->setValidatesSecureCertificate(false);
    EXPECT_EQ(run(unverified).completions, 1);
    EXPECT_EQ(text(unverified->responseData()), "secret");
    EXPECT_EQ(secure.requestCount(), 1U);
}

}  // namespace
}  // namespace tomely
