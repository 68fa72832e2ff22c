#include "http/FormDataRequest.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <filesystem>
#include <fstream>

#include "RequestFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

using test::ScriptedResponse;

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

class FormDataRequestTest : public test::RequestFixture {
protected:
    FormDataRequestTest() {
        server.setHandler([](const auto&) { return ScriptedResponse::text(200, "stored"); });
    }

    std::shared_ptr<FormDataRequest> form() { return FormDataRequest::requestWithURL(URL(server.url("/form"))); }

    // Sends the form and answers what the server received.
    test::RecordedRequest send(const std::shared_ptr<FormDataRequest>& request) {
        const auto before = server.requestCount();
        EXPECT_EQ(run(request).completions, 1);
        EXPECT_EQ(server.requestCount(), before + 1);
        return server.requests().back();
    }
};

TEST_F(FormDataRequestTest, UrlEncodedFieldsAreEscapedAndJoined) {
    auto request = form();
    request->addPostValue("someone@example.org", "email");
    request->addPostValue("p a&s=s+w/o?r#d~!*'();:$,[]%\"<>{}|\\^`", "password");
    const auto recorded = send(request);
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(recorded.body,
              "email=someone%40example.org&password=p%20a%26s%3Ds%2Bw%2Fo%3Fr%23d%7E%21%2A%27%28%29%3B%3A%24%2C%5B%5D"
              "%25%22%3C%3E%7B%7D%7C%5C%5E%60");
    EXPECT_EQ(recorded.header("Content-Length"), std::to_string(recorded.body.size()));
}

TEST_F(FormDataRequestTest, ValuesSetAgainAreSentOnceAtTheirLastPlace) {
    auto request = form();
    request->addPostValue("1", "a");
    request->addPostValue("2", "b");
    request->addPostValue("3", "a");
    request->setPostValue("4", "a");
    request->addPostValue(true, "yes");
    request->addPostValue(false, "no");
    request->addPostValue(std::uint32_t{4294967295U}, "crc");
    EXPECT_EQ(send(request).body, "b=2&a=4&yes=1&no=0&crc=4294967295");
}

// A sign-in's body holds the password: the process is not dumpable while the request holds it,
// and the request keeps none of it once it has ended, however it ended.
TEST_F(FormDataRequestTest, ASecretBodyIsOverwrittenOnceTheRequestHasEnded) {
    struct Case {
        const char* name;
        std::vector<ScriptedResponse> answers;
        int completions;
        std::size_t bodiesReceived;
    };
    ScriptedResponse moved = ScriptedResponse::text(307, "", {{"Location", "/form-again"}});
    const Case cases[] = {
        {"answered", {ScriptedResponse::text(403, "wrong")}, 1, 1},
        {"sent again after a 307, then answered", {moved, ScriptedResponse::text(200, "")}, 1, 2},
        {"the connection dropped twice", {ScriptedResponse::rawBytes(""), ScriptedResponse::rawBytes("")}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = server.requestCount();
        for (const ScriptedResponse& answer : c.answers) {
            server.enqueue(answer);
        }
        auto request = form();
        request->addPostValue("ann@example.com", "email");
        request->addPostValue("hunter2", "password");
        request->setBodyHoldsSecret();
        EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 0);
        EXPECT_EQ(run(request).completions, c.completions);
        ASSERT_EQ(server.requestCount(), before + c.bodiesReceived);
        for (std::size_t i = before; i < server.requestCount(); ++i) {
            EXPECT_EQ(server.requests()[i].body, "email=ann%40example.com&password=hunter2");
        }
        EXPECT_EQ(request->postBody(), std::vector<std::uint8_t>{});
        EXPECT_EQ(::prctl(PR_GET_DUMPABLE), 1);
    }
}

TEST_F(FormDataRequestTest, WithoutFieldsTheBodyGoesUnchangedAndUntyped) {
    auto request = form();
    request->setPostBody(bytes("{\"manifest\":[]}"));
    const auto recorded = send(request);
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.body, "{\"manifest\":[]}");
    EXPECT_FALSE(recorded.hasHeader("Content-Type"));
}

TEST_F(FormDataRequestTest, MultipartLayoutByteForByte) {
    // Fields first, in the order set; a field set again keeps one place; then the data part.
    auto request = form();
    request->setPostFormat(FormDataRequest::MultipartFormDataPostFormat);
    request->addData(bytes("\x01\x02 part\r\n"), "f");
    request->addPostValue("old", "a");
    request->addPostValue("value of b", "b");
    request->setPostValue("value of a", "a");
    const std::string body =
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"b\"\r\n\r\n"
        "value of b\r\n"
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"a\"\r\n\r\n"
        "value of a\r\n"
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"f\"; filename=\"file\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n"
        "\x01\x02 part\r\n\r\n"
        "--0xKhTmLbOuNdArY--\r\n";
    const auto recorded = send(request);
    EXPECT_EQ(recorded.header("Content-Type"), "multipart/form-data; charset=utf-8; boundary=0xKhTmLbOuNdArY");
    EXPECT_EQ(recorded.body, body);
    EXPECT_EQ(recorded.header("Content-Length"), std::to_string(body.size()));
}

TEST_F(FormDataRequestTest, FilePartsAreReadAsTheBodyGoesOutAndNeverSentShort) {
    test::TemporaryDirectory directory;
    const std::string path = directory.pathOf("chapter.txt");
    const std::string content(600000, 'k');  // more than two read blocks
    std::ofstream(path, std::ios::binary) << content;

    auto request = form();
    request->setTemporaryFileDirectory(directory.path());
    request->addFile(path, "upload");
    request->addPostValue("/OEBPS/chapter.txt.part00000", "name");
    const auto recorded = send(request);
    const std::string expected =
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"name\"\r\n\r\n"
        "/OEBPS/chapter.txt.part00000\r\n"
        "--0xKhTmLbOuNdArY\r\n"
        "Content-Disposition: form-data; name=\"upload\"; filename=\"chapter.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\n" +
        content + "\r\n--0xKhTmLbOuNdArY--\r\n";
    EXPECT_EQ(recorded.body, expected);
    EXPECT_EQ(request->postBodyFilePath(), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 1) << "no copy was made";

    // The file shrinks after the body was measured: the request fails instead of going out short.
    auto shrunk = form();
    shrunk->addFile(path, "upload");
    shrunk->buildPostBody();
    std::filesystem::resize_file(path, 1000);
    EXPECT_EQ(run(shrunk).failures, 1);
    EXPECT_EQ(server.requestCount(), 1U);
}

TEST_F(FormDataRequestTest, ATemporaryFileThatCannotBeMadeFailsBeforeSending) {
    test::ScopedEnvironment environment;
    environment.set("TMPDIR", "/no/such/temporary/directory");
    auto request = form();
    // A body to be compressed is written out first.
    request->setShouldCompressRequestBody(true);
    request->addData(bytes("data"), "upload");
    EXPECT_EQ(run(request).failures, 1);
    test::expectError(*request, 6, "Unable to create read stream");
    EXPECT_EQ(server.requestCount(), 0U);
}

}  // namespace
}  // namespace tomely
