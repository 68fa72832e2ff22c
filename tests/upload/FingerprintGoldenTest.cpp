#include <gtest/gtest.h>

#include "CallbackLog.h"
#include "TestFiles.h"
#include "common/TemporaryDirectory.h"
#include "upload/ACFileSHA1.h"

namespace tomely {
namespace {

using test::Bytes;

struct GoldenCase {
    const char* name;
    Bytes contents;
    const char* fingerprint;
};

// The fingerprints the service has kept from earlier uploads: they must never change. Computed
// independently by tests/upload/golden_fingerprints.py (Python's zlib 1.2.13 and hashlib), run once,
// its output pasted here.
std::vector<GoldenCase> goldenCases() {
    return {
        {"empty", {}, "da39a3ee5e6b4b0d3255bfef95601890afd80709_0"},
        {"one byte", test::bytesOf("a"), "9891d6fddf61f3a61c3543886176e3883cc2df16_7"},
        {"text 1,024,000", test::text(1'024'000), "b7ddc5389d250334f0846630c2fd3e791c6f6bfa_51321"},
        {"noise 1,024,000", test::noise(1'024'000, 1), "5e7c322da1b23f5e91894926a049c93dfb85892f_1024320"},
        {"noise 2,500,000", test::noise(2'500'000, 2), "27b041e18bd3d3e73c129bf80680cedba9cb6f23_2500770"},
        // Digest bytes 0x03, 0x00 and 0x0f: every byte takes two digits, zero-padded.
        {"padded digest", test::bytesOf("padding 17"), "034a202c1917d0f1000f38e391c35835942757c5_16"},
    };
}

TEST(FingerprintGoldenTest, ContentsGiveThePinnedFingerprints) {
    for (const GoldenCase& c : goldenCases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ACFileSHA1::fingerprint(c.contents), c.fingerprint);
    }
}

TEST(FingerprintGoldenTest, HashedFilesGiveThePinnedFingerprintsUnderTheirListedPaths) {
    test::TemporaryDirectory directory;
    std::vector<std::string> paths;
    std::map<std::string, std::string> expected;
    for (const GoldenCase& c : goldenCases()) {
        const std::string path = directory.pathOf(std::string(c.name) + ".part00000");
        test::writeBytes(path, c.contents);
        paths.push_back(path);
        expected[path] = c.fingerprint;
    }
    auto log = test::CallbackLog::create();
    {
        auto hasher = ACFileSHA1::create();
        hasher->setCompleteBlock([log, token = log->releaseToken()](ACFileSHA1&, const auto& fingerprints) {
            log->record("complete");
            log->keepResult(fingerprints);
        });
        hasher->hashFiles(paths);
    }
    ASSERT_TRUE(log->waitUntilReleased());
    EXPECT_EQ(log->events(), std::vector<std::string>{"complete"});
    EXPECT_EQ(log->result(), expected);
}

}  // namespace
}  // namespace tomely
