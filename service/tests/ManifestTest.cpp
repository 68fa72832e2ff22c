#include <nlohmann/json.hpp>

#include "Manifest.h"
#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using ManifestTest = ShelfTest;
using client::Part;
using client::Target;

std::vector<std::string> names(const std::vector<Part>& parts) {
    std::vector<std::string> result;
    for (const auto& part : parts) {
        result.push_back(part.name);
    }
    return result;
}

std::vector<std::string> asked(const client::Reply& reply) {
    const auto json = nlohmann::json::parse(reply.body, nullptr, false);
    return json.is_array() ? json.get<std::vector<std::string>>() : std::vector<std::string>{"not an array"};
}

TEST_F(ManifestTest, AsksForEveryPartOfANewBookInNameOrderAndOnlyTheMissingOnesLater) {
    auto ada = signedIn(kAda, kAdaPassword);
    const auto parts = client::splitBook(sampleBook(1));
    ASSERT_EQ(parts.size(), 5U);
    const Target target{{}, "First book"};
    const auto first = ada->postManifest("G1", client::manifestJson(parts, "G1", target));
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_EQ(first.contentType, "application/json");
    EXPECT_EQ(asked(first), std::vector<std::string>({"/empty.part00000", "/images/cover.png.part00000",
                                                      "/images/cover.png.part00001", "/images/cover.png.part00002",
                                                      "/index.xml.part00000"}));
    // Two parts arrive, then the client starts over: only the other three are asked for.
    for (std::size_t i : {1U, 3U}) {
        ASSERT_EQ(ada->postPart("G1", client::partForm(parts[i], i, parts.size(), target)).status, 200);
    }
    const auto again = ada->postManifest("G1", client::manifestJson(parts, "G1", target));
    EXPECT_EQ(asked(again),
              std::vector<std::string>({"/empty.part00000", "/images/cover.png.part00001", "/index.xml.part00000"}));
}

TEST_F(ManifestTest, AsksOnceForPartsThatShareAFingerprint) {
    auto ada = signedIn(kAda, kAdaPassword);
    const std::string same = noise(1000, 7);
    const auto parts = client::splitBook({{"/a.png", same}, {"/b.png", same}, {"/c.png", noise(1000, 8)}});
    const auto reply = ada->postManifest("G1", client::manifestJson(parts, "G1", {{}, "Twins"}));
    EXPECT_EQ(asked(reply), std::vector<std::string>({"/a.png.part00000", "/c.png.part00000"}));
}

TEST_F(ManifestTest, AcceptsAContentTypeTheHttpLibraryMayAddAndUnescapedSlashes) {
    auto ada = signedIn(kAda, kAdaPassword);
    const auto parts = client::splitBook({{"/a", "x"}});
    nlohmann::json manifest = {
        {"hashes", {{"/a.part00000", parts[0].fingerprint}}}, {"bookGUID", "G1"}, {"format", "iba"}, {"bookName", "A"}};
    const auto reply =
        ada->post("/api/author/shelf/upload/manifest/G1/", manifest.dump(), "application/x-www-form-urlencoded");
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(asked(reply), names(parts));
}

TEST_F(ManifestTest, RefusesMalformedManifestsWithAReason) {
    auto ada = signedIn(kAda, kAdaPassword);
    const std::string fp = client::splitBook({{"/a", "x"}})[0].fingerprint;
    const auto with = [&](const std::function<void(nlohmann::json&)>& change) {
        nlohmann::json manifest = {
            {"hashes", {{"/a.part00000", fp}}}, {"bookGUID", "G1"}, {"format", "iba"}, {"bookName", "A"}};
        change(manifest);
        return manifest.dump();
    };
    const struct {
        const char* name;
        std::string guid;
        std::string body;
        int status;
        std::string reason;
    } cases[] = {
        {"not JSON", "G1", "{\"hashes\":", 400, "manifest is not a JSON object"},
        {"empty hashes", "G1", with([](auto& m) { m["hashes"] = nlohmann::json::object(); }), 400,
         "manifest \"hashes\" must be a non-empty object of part names and fingerprints"},
        {"name without leading slash", "G1", with([&](auto& m) {
             m["hashes"] = {{"a.part00000", fp}};
         }),
         400, "name \"a.part00000\" does not start with \"/\""},
        {"name climbing out", "G1", with([&](auto& m) {
             m["hashes"] = {{"/../etc/passwd.part00000", fp}};
         }),
         400, "name \"/../etc/passwd.part00000\" holds an empty, \".\" or \"..\" path segment"},
        {"name without part index", "G1", with([&](auto& m) {
             m["hashes"] = {{"/a.png", fp}};
         }),
         400, "name \"/a.png\" does not end in a part index such as \".part00000\""},
        {"gap in part indices", "G1", with([&](auto& m) {
             m["hashes"] = {{"/a.part00000", fp}, {"/a.part00002", fp}};
         }),
         400, "the parts of \"/a\" are not numbered 0, 1, 2, ... (found 2 where 1 belongs)"},
        {"upper-case fingerprint", "G1", with([](auto& m) {
             m["hashes"] = {{"/a.part00000", std::string(40, 'A') + "_1"}};
         }),
         400, "fingerprint of \"/a.part00000\" is not \"<40 hex digits>_<length>\""},
        {"name listed twice", "G1",
         R"({"bookGUID":"G1","format":"iba","bookName":"A","hashes":{"/a.part00000":")" + fp + R"(","/a.part00000":")" +
             fp + "\"}}",
         400, "name \"/a.part00000\" is listed more than once"},
        {"GUID differs from path", "G1", with([](auto& m) { m["bookGUID"] = "G2"; }), 400,
         "manifest \"bookGUID\" is missing or differs from the GUID in the path"},
        {"other format", "G1", with([](auto& m) { m["format"] = "epub"; }), 400, "manifest \"format\" must be \"iba\""},
        {"both targets", "G1", with([](auto& m) { m["bookId"] = 1; }), 400,
         "manifest must name either \"bookName\" (a new book) or \"bookId\" (a new version)"},
        {"blank title", "G1", with([](auto& m) { m["bookName"] = "  "; }), 400,
         "manifest \"bookName\" must be a non-blank string of at most 256 bytes"},
        {"book id not a number", "G1", with([](auto& m) {
             m.erase("bookName");
             m["bookId"] = "12a";
         }),
         400, "manifest \"bookId\" is not a book id"},
        {"GUID with a percent-encoded space", "G%201", with([](auto& m) { m["bookGUID"] = "G 1"; }), 400,
         "book GUID may hold only letters, digits, \"-\" and \"_\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto reply = ada->postManifest(c.guid, c.body);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.body, c.reason + "\n");
    }
}

TEST_F(ManifestTest, AnOversizedManifestIsRefusedBeforeItIsReadAndCutOffWhenItGoesOnTooLong) {
    restart([](ServerOptions& options) { options.linger.bytes = 1024U * 1024U; });
    auto ada = signedIn(kAda, kAdaPassword);
    RawConnection connection(shelf_->port());
    connection.send("POST /api/author/shelf/upload/manifest/G1/ HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " +
                    ada->cookie() + "\r\nContent-Length: " + std::to_string(kMaxManifestBytes + 1) + "\r\n\r\n");
    const std::string answer = connection.receiveToEnd();
    EXPECT_EQ(answer.rfind("HTTP/1.1 413 ", 0), 0U) << answer;
    EXPECT_NE(answer.find("\r\nConnection: close\r\n"), std::string::npos) << answer;
    EXPECT_TRUE(answer.ends_with("\r\n\r\nthe manifest is larger than 67108864 bytes\n")) << answer;
    // The service reads no more than its limit of what follows; a worker is not held forever.
    EXPECT_TRUE(connection.sendUntilReset(kMaxManifestBytes));
    EXPECT_EQ(ada->list().status, 200);
}

}  // namespace
}  // namespace tomely::shelf::test
