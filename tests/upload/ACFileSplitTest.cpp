#include "upload/ACFileSplit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "CallbackLog.h"
#include "TestFiles.h"
#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

using test::Bytes;
using test::CallbackLog;

struct SplitSettings {
    bool keepOriginalFile = true;
    std::uint64_t maxBytes = ACFileSplit::kDefaultMaxBytes;
};

// Splits `paths` with a splitter that the test drops at once, and returns the log once the
// splitter has released itself, so that no callback can follow.
std::shared_ptr<CallbackLog> split(std::vector<std::string> paths, SplitSettings settings = {}) {
    auto log = CallbackLog::create();
    {
        auto splitter = ACFileSplit::create();
        splitter->setKeepOriginalFile(settings.keepOriginalFile);
        splitter->setMaxBytes(settings.maxBytes);
        auto token = log->releaseToken();
        splitter->setProgressBlock([log, token](ACFileSplit&, std::uint64_t done, std::uint64_t total) {
            log->record("progress " + std::to_string(done) + "/" + std::to_string(total));
        });
        splitter->setCompleteBlock([log, token](ACFileSplit&) { log->record("complete"); });
        splitter->splitFiles(std::move(paths));
    }
    EXPECT_TRUE(log->waitUntilReleased()) << "the splitter was never released";
    return log;
}

TEST(ACFileSplitTest, NamesPartsWithAtLeastFiveIndexDigits) {
    const struct {
        std::uint64_t index;
        const char* name;
    } cases[] = {
        {0, "/w/a.png.part00000"},        {7, "/w/a.png.part00007"},           {99'999, "/w/a.png.part99999"},
        {100'000, "/w/a.png.part100000"}, {1'234'567, "/w/a.png.part1234567"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ACFileSplit::partFilePath("/w/a.png", c.index), c.name);
    }
}

TEST(ACFileSplitTest, CutsEachFileIntoConsecutivePartsOfAtMostMaxBytes) {
    const struct {
        const char* name;
        std::size_t size;
        std::uint64_t maxBytes;
        std::vector<std::size_t> partSizes;
    } cases[] = {
        {"empty file has no part", 0, ACFileSplit::kDefaultMaxBytes, {}},
        {"exactly one part", 1'024'000, ACFileSplit::kDefaultMaxBytes, {1'024'000}},
        {"one byte over", 1'024'001, ACFileSplit::kDefaultMaxBytes, {1'024'000, 1}},
        {"exactly two parts, no empty third", 2'048'000, ACFileSplit::kDefaultMaxBytes, {1'024'000, 1'024'000}},
        {"a smaller maxBytes", 25, 10, {10, 10, 5}},
        {"a maxBytes beyond the file", 3, std::uint64_t{1} << 62, {3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryDirectory directory;
        const std::string source = directory.pathOf("book.bin");
        const Bytes contents = test::noise(c.size, 7);
        test::writeBytes(source, contents);

        split({source}, {.keepOriginalFile = true, .maxBytes = c.maxBytes});

        std::vector<std::string> expectedNames{"book.bin"};
        std::size_t offset = 0;
        for (std::size_t index = 0; index < c.partSizes.size(); ++index) {
            const std::string part = ACFileSplit::partFilePath(source, index);
            expectedNames.push_back(std::filesystem::path(part).filename().string());
            const Bytes expected(contents.begin() + static_cast<std::ptrdiff_t>(offset),
                                 contents.begin() + static_cast<std::ptrdiff_t>(offset + c.partSizes[index]));
            EXPECT_TRUE(test::readBytes(part) == expected) << "part " << index << " differs";
            offset += c.partSizes[index];
        }
        // The source is untouched and nothing else (no temporary file) is left beside it.
        EXPECT_EQ(test::treeListing(directory.path()), expectedNames);
        EXPECT_TRUE(test::readBytes(source) == contents);
    }
}

TEST(ACFileSplitTest, WithoutKeepOriginalFileOnlyThePartsRemainAFileOfOnePartIsRenamedAndEveryFileIsReported) {
    // A missing file counts as done and leaves no part.
    test::TemporaryDirectory directory;
    const std::string empty = directory.pathOf("empty");
    const std::string small = directory.pathOf("small");
    const std::string full = directory.pathOf("full");
    const std::string large = directory.pathOf("large");
    test::writeBytes(empty, {});
    test::writeBytes(small, test::bytesOf("x"));
    test::writeBytes(full, test::noise(ACFileSplit::kDefaultMaxBytes, 5));
    test::writeBytes(large, test::text(2'500'000));
    // The same inode: renamed, not copied.
    const auto inode = [](const std::string& path) {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
    };
    const auto smallInode = inode(small);
    const auto fullInode = inode(full);

    const auto log = split({empty, directory.pathOf("missing"), small, full, large}, {.keepOriginalFile = false});

    // The empty file has no part, so it leaves the tree altogether.
    EXPECT_EQ(test::treeListing(directory.path()),
              (std::vector<std::string>{"full.part00000", "large.part00000", "large.part00001", "large.part00002",
                                        "small.part00000"}));
    EXPECT_EQ(inode(small + ".part00000"), smallInode);
    EXPECT_EQ(inode(full + ".part00000"), fullInode);
    EXPECT_TRUE(test::readBytes(full + ".part00000") == test::noise(ACFileSplit::kDefaultMaxBytes, 5));
    // Progress counts files, not parts.
    EXPECT_EQ(log->events(), (std::vector<std::string>{"progress 1/5", "progress 2/5", "progress 3/5", "progress 4/5",
                                                       "progress 5/5", "complete"}));
    EXPECT_TRUE(log->cameOnOneWorkerThread());
}

TEST(ACFileSplitTest, EmptyListCompletesOnceWithoutProgress) {
    const auto log = split({});

    EXPECT_EQ(log->events(), std::vector<std::string>{"complete"});
    EXPECT_TRUE(log->cameOnOneWorkerThread());
}

TEST(ACFileSplitTest, ReplacesAnExistingPartFile) {
    test::TemporaryDirectory directory;
    const std::string source = directory.pathOf("page.xhtml");
    test::writeBytes(source, test::bytesOf("new contents"));
    test::writeBytes(source + ".part00000", test::text(5'000));

    split({source});

    EXPECT_TRUE(test::readBytes(source + ".part00000") == test::bytesOf("new contents"));
    EXPECT_EQ(test::treeListing(directory.path()), (std::vector<std::string>{"page.xhtml", "page.xhtml.part00000"}));
}

TEST(ACFileSplitTest, SourceWithAPartThatCannotBeWrittenIsKeptAndTheOtherPartsAreWritten) {
    test::TemporaryDirectory directory;
    const std::string source = directory.pathOf("movie.mov");
    const Bytes contents = test::noise(2'500'000, 3);
    test::writeBytes(source, contents);
    // A directory in the way of the second part: no file can be renamed onto it.
    std::filesystem::create_directory(source + ".part00001");

    split({source}, {.keepOriginalFile = false});

    // Deleting the source now would lose the bytes of the missing part.
    EXPECT_TRUE(test::readBytes(source) == contents);
    EXPECT_TRUE(test::readBytes(source + ".part00002") == Bytes(contents.begin() + 2'048'000, contents.end()));
    EXPECT_EQ(
        test::treeListing(directory.path()),
        (std::vector<std::string>{"movie.mov", "movie.mov.part00000", "movie.mov.part00001/", "movie.mov.part00002"}));
}

}  // namespace
}  // namespace tomely
