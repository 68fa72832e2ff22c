#include "upload/ACFileSHA1.h"

#include <gtest/gtest.h>

#include "CallbackLog.h"
#include "TestFiles.h"
#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

using test::Bytes;
using test::CallbackLog;
using Fingerprints = std::map<std::string, std::string>;

constexpr const char* kFingerprintOfNothing = "da39a3ee5e6b4b0d3255bfef95601890afd80709_0";

// Hashes `paths` with a hasher that the test drops at once, and returns the log once the hasher
// has released itself, so that no callback can follow.
std::shared_ptr<CallbackLog> hash(std::vector<std::string> paths, bool cancelled = false,
                                  ACFileSHA1::DeflatedBlock deflated = {}) {
    auto log = CallbackLog::create();
    {
        auto hasher = ACFileSHA1::create();
        auto token = log->releaseToken();
        hasher->setDeflatedBlock(std::move(deflated));
        hasher->setFailedBlock(
            [log, token](ACFileSHA1&, const Error& error) { log->record("failed " + error.localizedDescription()); });
        if (cancelled) {
            hasher->cancel();
        }
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

// The fingerprints the service has kept from earlier uploads: they must never change. Computed
// independently by tests/upload/golden_fingerprints.py (Python's zlib 1.2.13 and hashlib), run once,
// its output pasted here. Being the SHA-1 of the deflated bytes, they pin deflateData's output too.
TEST(ACFileSHA1Test, GivesThePinnedFingerprintsUnderTheListedPathsReportingEveryFileOnOneWorkerThread) {
    const struct {
        const char* name;
        Bytes contents;
        const char* fingerprint;
    } cases[] = {
        {"empty", {}, kFingerprintOfNothing},
        {"one byte", test::bytesOf("a"), "9891d6fddf61f3a61c3543886176e3883cc2df16_7"},
        {"text 1,024,000", test::text(1'024'000), "b7ddc5389d250334f0846630c2fd3e791c6f6bfa_51321"},
        {"noise 1,024,000", test::noise(1'024'000, 1), "5e7c322da1b23f5e91894926a049c93dfb85892f_1024320"},
        {"noise 2,500,000", test::noise(2'500'000, 2), "27b041e18bd3d3e73c129bf80680cedba9cb6f23_2500770"},
        // Digest bytes 0x03, 0x00 and 0x0f: every byte takes two digits, zero-padded.
        {"padded digest", test::bytesOf("padding 17"), "034a202c1917d0f1000f38e391c35835942757c5_16"},
    };
    test::TemporaryDirectory directory;
    std::vector<std::string> paths;
    Fingerprints expected;
    for (const auto& c : cases) {
        paths.push_back(directory.pathOf(std::string(c.name) + ".part00000"));
        test::writeBytes(paths.back(), c.contents);
        expected[paths.back()] = c.fingerprint;
    }

    const auto log = hash(paths);

    EXPECT_EQ(log->events(), (std::vector<std::string>{"progress 1/6", "progress 2/6", "progress 3/6", "progress 4/6",
                                                       "progress 5/6", "progress 6/6", "complete"}));
    EXPECT_EQ(log->result(), expected);
    EXPECT_TRUE(log->cameOnOneWorkerThread());
}

// Many small files keep every core busy at once, and their reports come in quick succession.
TEST(ACFileSHA1Test, ManyFilesOnEveryCoreAreReportedInOrderAsOneThreadWouldHashThem) {
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
    Fingerprints oneThread;
    for (const std::string& path : paths) {
        oneThread[path] = ACFileSHA1::fingerprint(test::readBytes(path));
    }
    EXPECT_EQ(log->result(), oneThread);
    EXPECT_TRUE(log->cameOnOneWorkerThread());
}

// A file taken as empty would put the fingerprint of no bytes into the manifest for data the book
// holds; a form that cannot be kept would have to be compressed again, from a full disk.
TEST(ACFileSHA1Test, AFileThatCannotBeHashedOrKeptStopsTheCallWithItsNameAndReason) {
    test::TemporaryDirectory directory;
    const std::string part = directory.pathOf("page.part00000");
    test::writeBytes(part, test::bytesOf("page"));
    const std::string missing = directory.pathOf("missing.part00000");
    const auto refuse = [](ACFileSHA1&, const std::string&, std::span<const std::uint8_t>, Error* error) {
        report(error, Error::make("NSPOSIXErrorDomain", 28, "Could not write \"kept\": No space left on device"));
        return false;
    };
    struct Case {
        const char* name;
        std::string path;
        bool cancelled;
        ACFileSHA1::DeflatedBlock deflated;
        std::string event;
    };
    const Case cases[] = {
        {"a file that cannot be read",
         missing,
         false,
         {},
         "failed Could not read \"" + missing + "\": No such file or directory"},
        {"a compressed form that cannot be kept", part, false, refuse,
         "failed Could not write \"kept\": No space left on device"},
        {"cancelled", part, true, {}, "failed Looking for changes in the book: Operation canceled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto log = hash({c.path}, c.cancelled, c.deflated);
        EXPECT_EQ(log->events(), std::vector<std::string>{c.event});
    }
}

TEST(ACFileSHA1Test, EmptyListCompletesOnceWithNoEntriesAndNoProgress) {
    const auto log = hash({});

    EXPECT_EQ(log->events(), std::vector<std::string>{"complete"});
    EXPECT_TRUE(log->result().empty());
    EXPECT_TRUE(log->cameOnOneWorkerThread());
}

}  // namespace
}  // namespace tomely
