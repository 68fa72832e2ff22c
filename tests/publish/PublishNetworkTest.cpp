// tomely-publish run as a subprocess against a scripted service that answers badly: an answer
// cut short, a redirect loop, an answer past its limit, a sign-in sent elsewhere. Each is the
// network's failure (exit 5) with the transport's error, never the service's answer.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ShelfProcess.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"

namespace tomely {
namespace {

using shelf::client::ShelfProcess;
using test::ScriptedResponse;
constexpr auto kDeadline = std::chrono::seconds(120);
constexpr std::size_t kMiB = 1024 * 1024;

ScriptedResponse json(std::string body) {
    return ScriptedResponse::text(200, std::move(body), {{"Content-Type", "application/json"}});
}

// An empty JSON array spread over `bytes` by white space, sent gzip-compressed.
ScriptedResponse paddedEmptyArray(std::size_t bytes) {
    return ScriptedResponse::text(200, test::gzip("[" + std::string(bytes - 2, ' ') + "]"),
                                  {{"Content-Encoding", "gzip"}});
}

ScriptedResponse cutShort() {
    return ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n[{\"title\":");
}

TEST(PublishNetworkTest, AnAnswerCutShortLoopingOrPastItsLimitIsTheNetworksFailure) {
    test::TemporaryDirectory directory;
    test::ScopedEnvironment environment;
    environment.set("XDG_CACHE_HOME", directory.pathOf("cache"));
    const std::string book = directory.pathOf("net.iba");
    test::ZipBuilder(book)
        .add("index.xml",
             "<?xml version=\"1.0\"?>\n<sl:textbook sl:GUID=\"G-NET\"><sl:title>T</sl:title></sl:textbook>\n")
        .add("chapters/one.xhtml", "<html><p>One</p></html>");
    test::ScriptedHTTPServer service;
    test::ScriptedHTTPServer elsewhere;
    const std::string auth = service.url("/api/author/shelf/upload/auth/");
    const std::string list = service.url("/api/author/shelf/upload/list/");
    const std::string manifest = service.url("/api/author/shelf/upload/manifest/G-NET/");

    struct Case {
        const char* cause;
        std::vector<std::string> options;
        ScriptedResponse signIn;
        ScriptedResponse books;
        ScriptedResponse manifestAnswer;
        int status;
        std::string says;
    };
    const ScriptedResponse signedIn = ScriptedResponse::text(200, "", {{"Set-Cookie", "session=1; Path=/"}});
    const ScriptedResponse noBooks = json("[]");
    const ScriptedResponse unused = ScriptedResponse::text(404, "not expected");
    const Case cases[] = {
        {"a list cut short",
         {"--new", "T"},
         signedIn,
         cutShort(),
         unused,
         5,
         "tomely-publish: listing your books failed: A connection failure occurred (" + list + ")"},
        {"a list whose chunks stop",
         {"--new", "T"},
         signedIn,
         ScriptedResponse::rawBytes("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40\r\n[{\"title\":"),
         unused,
         5,
         "tomely-publish: listing your books failed: A connection failure occurred (" + list + ")"},
        {"a list that redirects to itself",
         {"--new", "T"},
         signedIn,
         ScriptedResponse::text(302, "", {{"Location", "/api/author/shelf/upload/list/"}}),
         unused,
         5,
         "tomely-publish: listing your books failed: The request failed because it redirected too many times (" + list +
             ")"},
        {"a list past 64 MiB",
         {"--new", "T"},
         signedIn,
         paddedEmptyArray(64 * kMiB + 1),
         unused,
         5,
         "tomely-publish: listing your books failed: The response was refused because its body is larger than "
         "67108864 bytes (" +
             list + ")"},
        {"a list of 2 MiB",
         {"--new", "T", "--dry-run"},
         signedIn,
         paddedEmptyArray(2 * kMiB),
         unused,
         0,
         "Dry run: 2 parts"},
        {"a manifest answer cut short",
         {"--new", "T"},
         signedIn,
         noBooks,
         cutShort(),
         5,
         "tomely-publish: comparing the book with your shelf failed: A connection failure occurred (" + manifest + ")"},
        {"a manifest answer past 64 MiB",
         {"--new", "T"},
         signedIn,
         noBooks,
         paddedEmptyArray(64 * kMiB + 1),
         5,
         "tomely-publish: comparing the book with your shelf failed: The response was refused because its body is "
         "larger than 67108864 bytes (" +
             manifest + ")"},
        {"a manifest answer of 2 MiB",
         {"--new", "T"},
         signedIn,
         noBooks,
         paddedEmptyArray(2 * kMiB),
         0,
         "Nothing to send: the shelf already held all 2 parts"},
        {"a sign-in sent to another server",
         {"--new", "T"},
         ScriptedResponse::text(307, "", {{"Location", elsewhere.url("/api/author/shelf/upload/auth/")}}),
         noBooks,
         unused,
         5,
         "tomely-publish: signing in failed: The request carries credentials and was not redirected to another "
         "server (" +
             auth + ")"},
        {"a challenge no credentials answer, which is the service's",
         {"--new", "T"},
         ScriptedResponse::text(401, "", {{"WWW-Authenticate", "Basic realm=\"shelf\""}}),
         noBooks,
         unused,
         6,
         "tomely-publish: signing in failed: the service answered 401 (" + auth + ")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        service.setHandler([&c](const test::RecordedRequest& request) {
            if (request.target == "/api/author/shelf/upload/auth/") {
                return c.signIn;
            }
            if (request.target == "/api/author/shelf/upload/list/") {
                return c.books;
            }
            return request.target == "/api/author/shelf/upload/manifest/G-NET/" ? c.manifestAnswer
                                                                                : ScriptedResponse::text(404, "");
        });
        // Each failure as it comes: retries are shown elsewhere.
        std::vector<std::string> arguments = {
            "--email", "ann@example.com", "--password-stdin", "--service", service.baseURL(), "--retries", "0"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.push_back(book);
        ShelfProcess run(TOMELY_PUBLISH_EXECUTABLE, arguments, std::string("secret\n"));
        EXPECT_EQ(run.wait(kDeadline), c.status) << run.output();
        EXPECT_NE(run.output().find(c.says), std::string::npos) << run.output();
        EXPECT_EQ(test::treeListing(directory.pathOf("cache/tomely-uploader/runs")), std::vector<std::string>{});
    }
    EXPECT_EQ(elsewhere.requestCount(), 0U) << "the password went nowhere else";
}

}  // namespace
}  // namespace tomely
