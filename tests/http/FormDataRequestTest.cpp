#include "http/FormDataRequest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "RequestFixture.h"
#include "http/HTTPRequestError.h"
#include "http/MimeTypes.h"

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

TEST_F(FormDataRequestTest, UrlEncodingCases) {
    const struct {
        const char* text;
        const char* encoding;
        const char* escaped;
    } cases[] = {
        {"AZaz09-._", "UTF-8", "AZaz09-._"},
        {"caf\xC3\xA9", "UTF-8", "caf%C3%A9"},
        {"caf\xC3\xA9", "ISO-8859-1", "caf%E9"},
        {"\xE2\x82\xAC", "ISO-8859-1", ""},
        {"", "UTF-8", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormDataRequest::encodeURL(c.text, c.encoding), c.escaped);
    }
}

TEST_F(FormDataRequestTest, ValuesSetAgainAreSentOnceAtTheirLastPlace) {
    auto request = form();
    request->addPostValue("1", "a");
    request->addPostValue("2", "b");
    request->addPostValue("3", "a");
    request->setPostValue("4", "a");
    request->addPostValue(true, "yes");
    request->addPostValue(false, "no");
    request->addPostValue(-42, "number");
    EXPECT_EQ(send(request).body, "b=2&a=4&yes=1&no=0&number=-42");

    auto single = form();
    single->addPostValue("only", "one");
    EXPECT_EQ(send(single).body, "one=only");
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
    const struct {
        const char* name;
        std::function<void(FormDataRequest&)> configure;
        std::string body;
    } cases[] = {
        {"fields and a data part, fields first",
         [](FormDataRequest& request) {
             request.addData(bytes("\x01\x02 part\r\n"), "f");
             request.addPostValue("value of a", "a");
             request.addPostValue("value of b", "b");
         },
         "--0xKhTmLbOuNdArY\r\n"
         "Content-Disposition: form-data; name=\"a\"\r\n\r\n"
         "value of a\r\n"
         "--0xKhTmLbOuNdArY\r\n"
         "Content-Disposition: form-data; name=\"b\"\r\n\r\n"
         "value of b\r\n"
         "--0xKhTmLbOuNdArY\r\n"
         "Content-Disposition: form-data; name=\"f\"; filename=\"file\"\r\n"
         "Content-Type: application/octet-stream\r\n\r\n"
         "\x01\x02 part\r\n\r\n"
         "--0xKhTmLbOuNdArY--\r\n"},
        {"fields only",
         [](FormDataRequest& request) {
             request.setPostFormat(FormDataRequest::MultipartFormDataPostFormat);
             request.addPostValue("1", "x");
         },
         "--0xKhTmLbOuNdArY\r\n"
         "Content-Disposition: form-data; name=\"x\"\r\n\r\n"
         "1\r\n"
         "--0xKhTmLbOuNdArY--\r\n"},
        {"two data parts, no fields, one replaced",
         [](FormDataRequest& request) {
             request.addData(bytes("old"), "first");
             request.addData(bytes("B"), "b.bin", "application/x-custom", "second");
             request.setData(bytes("A"), "a.txt", "text/plain", "first");
         },
         "--0xKhTmLbOuNdArY\r\n"
         "Content-Disposition: form-data; name=\"second\"; filename=\"b.bin\"\r\n"
         "Content-Type: application/x-custom\r\n\r\n"
         "B\r\n"
         "--0xKhTmLbOuNdArY\r\n"
         "Content-Disposition: form-data; name=\"first\"; filename=\"a.txt\"\r\n"
         "Content-Type: text/plain\r\n\r\n"
         "A\r\n"
         "--0xKhTmLbOuNdArY--\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto request = form();
        c.configure(*request);
        const auto recorded = send(request);
        EXPECT_EQ(recorded.header("Content-Type"), "multipart/form-data; charset=utf-8; boundary=0xKhTmLbOuNdArY");
        EXPECT_EQ(recorded.body, c.body);
        EXPECT_EQ(recorded.header("Content-Length"), std::to_string(c.body.size()));
    }
}

TEST_F(FormDataRequestTest, FilePartsAreReadAsTheBodyGoesOutAndNeverSentShort) {
    const auto directory = std::filesystem::temp_directory_path() / ("form-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const std::string path = (directory / "chapter.txt").string();
    const std::string content(600000, 'k');  // more than two read blocks
    std::ofstream(path, std::ios::binary) << content;

    auto request = form();
    request->setTemporaryFileDirectory(directory.string());
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
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), 1) << "no copy was made";

    // The file shrinks after the body was measured: the request fails instead of going out short.
    auto shrunk = form();
    shrunk->addFile(path, "upload");
    shrunk->buildPostBody();
    std::filesystem::resize_file(path, 1000);
    EXPECT_EQ(run(shrunk).failures, 1);
    EXPECT_EQ(server.requestCount(), 1U);
    std::filesystem::remove_all(directory);
}

TEST_F(FormDataRequestTest, AMissingFileFailsAtOnceAndSendsNothing) {
    const std::string missing = "/no/such/dir/book.iba";
    for (const std::string& path : {missing, std::filesystem::temp_directory_path().string()}) {
        SCOPED_TRACE(path);
        auto request = form();
        auto outcome = observe(*request);
        request->addFile(path, "upload");
        runUntil([&] { return outcome->reports() > 0; });
        const auto error = request->error();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain, kNetworkRequestErrorDomain);
        EXPECT_EQ(error->code, 6);
        EXPECT_EQ(error->localizedDescription(), "No file exists at " + path);
        request->startAsynchronous();
        runUntilOffMainThread([&] { return request->isFinished(); });
        drainMainLoop();
        EXPECT_EQ(outcome->failures, 1);
        EXPECT_EQ(server.requestCount(), 0U);
    }
}

TEST_F(FormDataRequestTest, ATemporaryFileThatCannotBeMadeFailsBeforeSending) {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    ::setenv("TMPDIR", "/no/such/temporary/directory", 1);
    auto request = form();
    // A body to be compressed is written out first.
    request->setShouldCompressRequestBody(true);
    request->addData(bytes("data"), "upload");
    const auto outcome = run(request);
    previous != nullptr ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
    EXPECT_EQ(outcome.failures, 1);
    ASSERT_TRUE(request->error().has_value());
    EXPECT_EQ(request->error()->code, 6);
    EXPECT_EQ(request->error()->localizedDescription(), "Unable to create read stream");
    EXPECT_EQ(server.requestCount(), 0U);
}

TEST_F(FormDataRequestTest, OtherEncodingsConvertTextAndNameTheirCharset) {
    auto request = form();
    request->setStringEncoding("ISO-8859-1");
    request->setPostFormat(FormDataRequest::MultipartFormDataPostFormat);
    request->addPostValue("caf\xC3\xA9", "drink");
    const auto recorded = send(request);
    EXPECT_EQ(recorded.header("Content-Type"), "multipart/form-data; charset=iso-8859-1; boundary=0xKhTmLbOuNdArY");
    EXPECT_NE(recorded.body.find("\r\n\r\ncaf\xE9\r\n"), std::string::npos);
}

TEST(MimeTypesTest, ExtensionsMapThroughTheTypeDatabase) {
    const std::string database =
        "# comment\n"
        "text/plain\t\t\t\ttxt text\n"
        "application/epub+zip epub\n"
        "image/jpeg jpeg jpg # trailing comment\n";
    const struct {
        const char* extension;
        const char* type;
    } cases[] = {{"txt", "text/plain"},
                 {"TEXT", "text/plain"},
                 {"jpg", "image/jpeg"},
                 {"epub", "application/epub+zip"},
                 {"iba", "application/octet-stream"},
                 {"", "application/octet-stream"},
                 {"comment", "application/octet-stream"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extension);
        EXPECT_EQ(mimeTypeForExtension(c.extension, database), c.type);
    }
    EXPECT_FALSE(mimeTypeForFileAtPath("/no/such/file.txt").has_value());
}

}  // namespace
}  // namespace tomely
