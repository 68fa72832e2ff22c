#include "upload/ACFileSHA1.h"

#include <gtest/gtest.h>

#include "CallbackLog.h"
#include "TestFiles.h"
#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

using test::CallbackLog;

constexpr const char* kFingerprintOfNothing = "da39a3ee5e6b4b0d3255bfef95601890afd80709_0";

// Hashes `paths` with a hasher that the test drops at once, and returns the log once the hasher
// has released itself, so that no callback can follow.
std::shared_ptr<CallbackLog> hash(std::vector<std::string> paths) {
    auto log = CallbackLog::create();
    {
        auto hasher = ACFileSHA1::create();
        auto token = log->releaseToken();
        hasher->setProgressBlock([log, token](ACFileSHA1&, std::uint64_t done, std::uint64_t total) {
            log->record("progress " + std::to_string(done) + "/" + std::to_string(total));
        });
        hasher->setCompleteBlock([log, token](ACFileSHA1&, const ACFileSHA1::Fingerprints& fingerprints) {
            log->record("complete");
            log->keepResult(fingerprints);
        });
        hasher->hashFiles(std::move(paths));
    }
    EXPECT_TRUE(log->waitUntilReleased()) << "the hasher was never released";
    return log;
}

// Many small files keep every core busy at once, and their reports come in quick succession.
TEST(ACFileSHA1Test, ReportsEveryFileInOrderThenCompletesOnceWithEveryPathOnOneThread) {
    constexpr std::size_t kFiles = 300;
    test::TemporaryDirectory directory;
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < kFiles; ++i) {
        paths.push_back(directory.pathOf("f" + std::to_string(i) + ".part00000"));
        test::writeBytes(paths.back(),
                         i % 3 == 0 ? test::noise(i * 37, static_cast<std::uint32_t>(i)) : test::text(i * 101));
        expected.push_back("progress " + std::to_string(i + 1) + "/" + std::to_string(kFiles));
    }
    expected.emplace_back("complete");

    const auto log = hash(paths);

    EXPECT_EQ(log->events(), expected);
    const std::map<std::string, std::string> result = log->result();
    ASSERT_EQ(result.size(), kFiles);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(result.contains(path));
        EXPECT_EQ(result.at(path), ACFileSHA1::fingerprint(test::readBytes(path)));
    }
    const std::vector<std::thread::id> threads = log->threads();
    for (const std::thread::id thread : threads) {
        EXPECT_NE(thread, std::this_thread::get_id());
        EXPECT_EQ(thread, threads.front());
    }
}

TEST(ACFileSHA1Test, EmptyListCompletesOnceWithNoEntriesAndNoProgress) {
    const auto log = hash({});

    EXPECT_EQ(log->events(), std::vector<std::string>{"complete"});
    EXPECT_TRUE(log->result().empty());
    ASSERT_EQ(log->threads().size(), 1U);
    EXPECT_NE(log->threads().front(), std::this_thread::get_id());
}

TEST(ACFileSHA1Test, PathListedTwiceIsHashedOnceAndTheListStillCompletes) {
    test::TemporaryDirectory directory;
    const std::string a = directory.pathOf("a");
    const std::string b = directory.pathOf("b");
    test::writeBytes(a, test::bytesOf("first"));
    test::writeBytes(b, test::bytesOf("second"));

    const auto log = hash({a, b, a});

    EXPECT_EQ(log->events(), (std::vector<std::string>{"progress 1/2", "progress 2/2", "complete"}));
    EXPECT_EQ(log->result().size(), 2U);
}

TEST(ACFileSHA1Test, UnreadableFileCountsAsEmpty) {
    test::TemporaryDirectory directory;
    const std::string missing = directory.pathOf("missing");
    const std::string empty = directory.pathOf("empty");
    test::writeBytes(empty, {});

    const auto log = hash({missing, empty});

    EXPECT_EQ(log->result(),
              (std::map<std::string, std::string>{{missing, kFingerprintOfNothing}, {empty, kFingerprintOfNothing}}));
}

}  // namespace
}  // namespace tomely
