#include "upload/ACMultiFileUploader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <thread>

#include "TestFiles.h"
#include "common/MainLoopFixture.h"
#include "common/MultipartForm.h"
#include "common/ScopedEnvironment.h"
#include "common/ScriptedHTTPServer.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

using test::Bytes;
using test::ScriptedResponse;

// An uploader of files below a temporary application-support directory, sending to a scripted
// service that stores everything.
class ACMultiFileUploaderTest : public test::MainLoopFixture {
protected:
    ACMultiFileUploaderTest() {
        environment.set("TOMELY_SERVICE_URL", server.baseURL());
        server.setHandler([](const auto&) { return ScriptedResponse::text(200, "{}"); });
    }

    void writePart(const std::string& name, const Bytes& contents) {
        test::writeBytes(support.path() + "/working" + name, contents);
    }

    // Makes an uploader whose blocks count into the fields below.
    std::shared_ptr<ACMultiFileUploader> uploader() {
        auto made = ACMultiFileUploader::create(support.path());
        made->setCompressionBlock([this](ACMultiFileUploader&, std::uint64_t done, std::uint64_t total) {
            compressions.emplace_back(done, total);
            compressedOnMainThread = compressedOnMainThread || loop().isMainThread();
        });
        made->setFileFinishedBlock([this](ACMultiFileUploader&, NetworkQueue&, HTTPRequest&) { ++answered; });
        made->setFileFailedBlock([this](ACMultiFileUploader&, NetworkQueue&, HTTPRequest& request) {
            failureCodes.push_back(request.error() ? request.error()->code : 0);
        });
        made->setProgressBlock(
            [this](ACMultiFileUploader&, NetworkQueue&, double fraction) { lastFraction = fraction; });
        made->setQueueFinishedBlock([this](ACMultiFileUploader&, NetworkQueue&) { ++finished; });
        return made;
    }

    test::TemporaryDirectory support;
    test::ScriptedHTTPServer server;
    test::ScopedEnvironment environment;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> compressions;
    bool compressedOnMainThread = false;
    int answered = 0;
    std::vector<long> failureCodes;
    double lastFraction = -1;
    int finished = 0;
};

TEST_F(ACMultiFileUploaderTest, EachNameIsOnePostInListOrderWithItsPlaceSizeCrcAndDeflatedBytes) {
    const std::vector<std::pair<std::string, Bytes>> parts = {{"/a.txt.part00000", test::text(300000)},
                                                              {"/sub dir/b.png.part00000", test::noise(1024000, 7)},
                                                              {"/empty.part00000", {}}};
    std::vector<std::string> names;
    for (const auto& [name, contents] : parts) {
        writePart(name, contents);
        names.push_back(name);
    }
    auto sender = uploader();
    const std::weak_ptr<ACMultiFileUploader> weak = sender;
    sender->uploadFiles(names, "GUID-1", {{"format", "iba"}, {"bookName", "A Title"}});
    sender.reset();
    ASSERT_TRUE(runUntil([&] { return finished == 1; }));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        SCOPED_TRACE(parts[i].first);
        const Bytes& contents = parts[i].second;
        EXPECT_EQ(requests[i].target, "/api/author/shelf/upload/GUID-1/");
        EXPECT_FALSE(requests[i].hasHeader("Content-Encoding"));
        const auto items = test::parseMultipart(requests[i].body);
        std::vector<std::string> order;
        for (const auto& item : items) {
            order.push_back(item.name);
        }
        EXPECT_EQ(order, (std::vector<std::string>{"name", "isZipped", "isBatch", "batchTotal", "batchCurrent", "size",
                                                   "crc", "bookName", "format", "file"}));
        EXPECT_EQ(test::formValue(items, "name"), parts[i].first);
        EXPECT_EQ(test::formValue(items, "isZipped"), "1");
        EXPECT_EQ(test::formValue(items, "isBatch"), "1");
        EXPECT_EQ(test::formValue(items, "batchTotal"), "2");
        EXPECT_EQ(test::formValue(items, "batchCurrent"), std::to_string(i));
        EXPECT_EQ(test::formValue(items, "size"), std::to_string(contents.size()));
        EXPECT_EQ(test::formValue(items, "crc"), std::to_string(crc32(0, contents.data(), contents.size())));
        EXPECT_EQ(test::formValue(items, "bookName"), "A Title");
        ASSERT_EQ(items.size(), 10U);
        EXPECT_EQ(items.back().fileName, "file");
        EXPECT_EQ(items.back().contentType, "application/octet-stream");
        EXPECT_EQ(test::inflateRaw(items.back().content), std::string(contents.begin(), contents.end()));
    }
    EXPECT_EQ(compressions, (decltype(compressions){{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_FALSE(compressedOnMainThread);
    EXPECT_EQ(answered, 3);
    EXPECT_DOUBLE_EQ(lastFraction, 1.0);
    EXPECT_TRUE(weak.expired()) << "the uploader lets go of itself once its queue has finished";
    EXPECT_EQ(test::entryNames(support.path()), std::vector<std::string>{"working"}) << "nothing staged is left";
}

TEST_F(ACMultiFileUploaderTest, ASecondBatchWaitsForTheFirstWhichCancelEndsAtOnce) {
    writePart("/a.part00000", test::text(5000));
    writePart("/b.part00000", test::text(6000));
    server.setHandler([](const auto&) {
        ScriptedResponse held = ScriptedResponse::text(200, "{}");
        held.holdUntilReleased = true;
        return held;
    });
    auto sender = uploader();
    sender->uploadFiles({"/a.part00000", "/b.part00000"}, "G", {});
    try {
        sender->uploadFiles({"/b.part00000"}, "G", {});
        ADD_FAILURE() << "a second batch started while the first was under way";
    } catch (const UploadInProgress& refusal) {
        EXPECT_STREQ(refusal.what(), "Create another instance");
    }
    ASSERT_TRUE(server.waitForRequests(1));
    sender->cancel();
    ASSERT_TRUE(runUntil([&] { return finished == 1; }));
    EXPECT_EQ(failureCodes, (std::vector<long>{kRequestCancelledErrorType, kRequestCancelledErrorType}));
    EXPECT_EQ(answered, 0);
    server.releaseHeldAnswers();

    // Once finished, the same uploader takes the next batch.
    sender->uploadFiles({"/b.part00000"}, "G", {});
    ASSERT_TRUE(runUntil([&] { return finished == 2; }));
    EXPECT_EQ(answered, 1);
}

}  // namespace
}  // namespace tomely
