#include <nlohmann/json.hpp>

#include "Manifest.h"
#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

using ManifestTest = ShelfTest;

nlohmann::json asked(const client::Reply& reply) {
    return nlohmann::json::parse(reply.body, nullptr, false);
}

TEST_F(ManifestTest, AsksOnceForPartsThatShareAFingerprint) {
    auto ada = signedIn(kAda, kAdaPassword);
    const std::string same = randomBytes(1000, 7);
    const auto parts = client::splitBook({{"/a.png", same}, {"/b.png", same}, {"/c.png", randomBytes(1000, 8)}});
    const auto reply = ada->postManifest("G1", client::manifestJson(parts, "G1", {{}, "Twins"}));
    EXPECT_EQ(asked(reply), nlohmann::json({"/a.png.part00000", "/c.png.part00000"}));
}

TEST_F(ManifestTest, AcceptsAContentTypeTheHttpLibraryMayAddAndUnescapedSlashes) {
    auto ada = signedIn(kAda, kAdaPassword);
    const auto parts = client::splitBook({{"/a", "x"}});
    nlohmann::json manifest = {
        {"hashes", {{"/a.part00000", parts[0].fingerprint}}}, {"bookGUID", "G1"}, {"format", "iba"}, {"bookName", "A"}};
    const auto reply =
        ada->post("/api/author/shelf/upload/manifest/G1/", manifest.dump(), "application/x-www-form-urlencoded");
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(asked(reply), nlohmann::json({"/a.part00000"}));
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
    const auto hashes = [&](const nlohmann::json& value) { return with([&](auto& m) { m["hashes"] = value; }); };
    const struct {
        std::string body;
        std::string reason;
    } cases[] = {
        {"{\"hashes\":", "manifest is not a JSON object"},
        {hashes(nlohmann::json::object()),
         "manifest \"hashes\" must be a non-empty object of part names and fingerprints"},
        {hashes({{"a.part00000", fp}}), "name \"a.part00000\" does not start with \"/\""},
        {hashes({{"/../etc/passwd.part00000", fp}}),
         "name \"/../etc/passwd.part00000\" holds an empty, \".\" or \"..\" path segment"},
        {hashes({{"/a.png", fp}}), "name \"/a.png\" does not end in a part index such as \".part00000\""},
        {hashes({{"/a.part00000", fp}, {"/a.part00002", fp}}),
         "the parts of \"/a\" are not numbered 0, 1, 2, ... (found 2 where 1 belongs)"},
        {hashes({{"/a.part00000", std::string(40, 'A') + "_1"}}),
         "fingerprint of \"/a.part00000\" is not \"<40 hex digits>_<length>\""},
        {R"({"bookGUID":"G1","format":"iba","bookName":"A","hashes":{"/a.part00000":")" + fp + R"(","/a.part00000":")" +
             fp + "\"}}",
         "name \"/a.part00000\" is listed more than once"},
        {with([](auto& m) { m["bookGUID"] = "G2"; }),
         "manifest \"bookGUID\" is missing or differs from the GUID in the path"},
        {with([](auto& m) { m["format"] = "epub"; }), "manifest \"format\" must be \"iba\""},
        {with([](auto& m) { m["bookId"] = 1; }),
         "manifest must name either \"bookName\" (a new book) or \"bookId\" (a new version)"},
        {with([](auto& m) { m["bookName"] = "  "; }),
         "manifest \"bookName\" must be a non-blank string of at most 256 bytes"},
        {with([](auto& m) {
             m.erase("bookName");
             m["bookId"] = "12a";
         }),
         "manifest \"bookId\" is not a book id"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const auto reply = ada->postManifest("G1", c.body);
        EXPECT_EQ(reply.status, 400);
        EXPECT_EQ(reply.body, c.reason + "\n");
    }
    const auto badGuid = ada->postManifest("G%201", with([](auto& m) { m["bookGUID"] = "G 1"; }));
    EXPECT_EQ(badGuid.status, 400);
    EXPECT_EQ(badGuid.body, "book GUID may hold only letters, digits, \"-\" and \"_\"\n");
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
    // The service reads no more than its limit of what follows; a worker is not held forever.
    EXPECT_TRUE(connection.sendUntilReset(kMaxManifestBytes));
    EXPECT_EQ(ada->list().status, 200);
}

}  // namespace
}  // namespace tomely::shelf::test
