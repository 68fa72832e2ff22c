#include "upload/ACMultiFileUploader.h"

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "common/MainLoopFixture.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"

namespace tomely {
namespace {

// The uploader's side of the protocol; that the service accepts what it sends (size, CRC-32 and
// fingerprint of the deflated part) is shown end to end by the upload step's tests.
using ACMultiFileUploaderTest = test::MainLoopFixture;

TEST_F(ACMultiFileUploaderTest, EachNameIsOnePostInListOrderAndTheUploaderLetsGoOfItself) {
    test::ScriptedHTTPServer server;
    server.setHandler([](const auto&) { return test::ScriptedResponse::text(200, "{}"); });
    test::ScopedEnvironment environment;
    environment.set("TOMELY_SERVICE_URL", server.baseURL());
    test::TemporaryDirectory support;
    const std::vector<std::string> names = {"/a b/ç.txt.part00000", "/empty.part00000"};
    test::writeBytes(support.path() + "/working" + names[0], test::text(300000));
    test::writeBytes(support.path() + "/working" + names[1], {});

    auto uploader = ACMultiFileUploader::create(WorkArea::inDirectory(support.path()));
    std::vector<std::pair<std::uint64_t, std::uint64_t>> compressions;
    bool compressedOnMainThread = false;
    double lastFraction = -1;
    int finished = 0;
    uploader->setCompressionBlock([&](ACMultiFileUploader&, std::uint64_t done, std::uint64_t total) {
        compressions.emplace_back(done, total);
        compressedOnMainThread = compressedOnMainThread || loop().isMainThread();
    });
    uploader->setProgressBlock([&](ACMultiFileUploader&, NetworkQueue&, double fraction) { lastFraction = fraction; });
    uploader->setQueueFinishedBlock([&](ACMultiFileUploader&, NetworkQueue&) { ++finished; });
    const std::weak_ptr<ACMultiFileUploader> weak = uploader;
    uploader->uploadFiles(names, "GUID-1", {{"format", "iba"}, {"bookName", "A Title"}});
    try {
        uploader->uploadFiles(names, "GUID-1", {});
        ADD_FAILURE() << "a second batch started while the first was under way";
    } catch (const UploadInProgress& refusal) {
        EXPECT_STREQ(refusal.what(), "Create another instance");
    }
    uploader.reset();
    ASSERT_TRUE(runUntil([&] { return finished == 1; }));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(requests[i].target, "/api/author/shelf/upload/GUID-1/");
        EXPECT_FALSE(requests[i].hasHeader("Content-Encoding")) << "the part is deflated already";
        const std::string& body = requests[i].body;
        const std::string fields[] = {"name", "isZipped", "isBatch",  "batchTotal", "batchCurrent",
                                      "size", "crc",      "bookName", "format"};
        const std::string values[] = {names[i], "1", "1", "1", std::to_string(i), i == 0 ? "300000" : "0"};
        std::size_t at = 0;
        for (std::size_t f = 0; f < std::size(fields); ++f) {
            std::string field = "name=\"" + fields[f] + "\"\r\n\r\n";
            field += f < std::size(values) ? values[f] + "\r\n" : "";
            at = body.find(field, at);
            EXPECT_NE(at, std::string::npos) << fields[f] << " is missing, or out of order";
        }
        EXPECT_NE(body.find("name=\"file\"; filename=\"file\"\r\nContent-Type: application/octet-stream", at),
                  std::string::npos);
    }
    EXPECT_EQ(compressions, (decltype(compressions){{1, 2}, {2, 2}}));
    EXPECT_FALSE(compressedOnMainThread);
    EXPECT_DOUBLE_EQ(lastFraction, 1.0);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(test::entryNames(support.path()), std::vector<std::string>{"working"}) << "nothing staged is left";
}

}  // namespace
}  // namespace tomely
