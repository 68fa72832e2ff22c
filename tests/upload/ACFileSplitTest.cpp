#include "upload/ACFileSplit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "CallbackLog.h"
#include "TestFiles.h"
#include "common/FileModes.h"
#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

using test::Bytes;
using test::CallbackLog;

struct SplitSettings {
    bool keepOriginalFile = true;
    std::uint64_t maxBytes = ACFileSplit::kDefaultMaxBytes;
    bool cancelled = false;
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
        splitter->setFailedBlock(
            [log, token](ACFileSplit&, const Error& error) { log->record("failed " + error.localizedDescription()); });
        if (settings.cancelled) {
            splitter->cancel();
        }
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

    const auto log = split({empty, small, full, large}, {.keepOriginalFile = false});

    // The empty file has no part, so it leaves the tree altogether.
    EXPECT_EQ(test::treeListing(directory.path()),
              (std::vector<std::string>{"full.part00000", "large.part00000", "large.part00001", "large.part00002",
                                        "small.part00000"}));
    EXPECT_EQ(inode(small + ".part00000"), smallInode);
    EXPECT_EQ(inode(full + ".part00000"), fullInode);
    EXPECT_TRUE(test::readBytes(full + ".part00000") == test::noise(ACFileSplit::kDefaultMaxBytes, 5));
    // Progress counts files, not parts.
    EXPECT_EQ(log->events(),
              (std::vector<std::string>{"progress 1/4", "progress 2/4", "progress 3/4", "progress 4/4", "complete"}));
    EXPECT_TRUE(log->cameOnOneWorkerThread());
}

// The parts lie in the author's own folders, and no one else can change them.
TEST(ACFileSplitTest, PartsAreWritableByTheOwnerAloneUnderTheUsualUmask) {
    test::TemporaryDirectory directory;
    test::ScopedUmask umask(022);
    const std::string movie = directory.pathOf("movie.mov");
    test::writeBytes(movie, test::noise(2'500, 1));
    split({movie}, {.keepOriginalFile = false, .maxBytes = 1'000});
    for (const char* part : {"movie.mov.part00000", "movie.mov.part00001", "movie.mov.part00002"}) {
        SCOPED_TRACE(part);
        EXPECT_EQ(test::permissionsOf(directory.pathOf(part)) & 0222, 0200);
    }
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

// Splitting on after a file that did not make it whole into its parts would let the book be
// published without it.
TEST(ACFileSplitTest, AFileThatCannotBeSplitStopsTheCallWithItsNameAndReasonAndKeepsItsSource) {
    struct Case {
        const char* name;
        SplitSettings settings;
        bool partInTheWay;
        bool movieMissing;
        std::vector<std::string> events;  // "DIR/" stands for the directory's path
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"a part that cannot be written",
         {.keepOriginalFile = false},
         true,
         false,
         {"progress 1/3", "failed Could not write \"DIR/movie.mov.part00001\": Is a directory"},
         {"after.txt", "first.txt.part00000", "movie.mov", "movie.mov.part00001/"}},
        {"a file that cannot be read",
         {.keepOriginalFile = false},
         false,
         true,
         {"progress 1/3", "failed Could not read \"DIR/movie.mov\": No such file or directory"},
         {"after.txt", "first.txt.part00000"}},
        {"parts of 0 bytes",
         {.keepOriginalFile = true, .maxBytes = 0},
         false,
         false,
         {"failed Could not split \"DIR/first.txt\" into parts of 0 bytes: Invalid argument"},
         {"after.txt", "first.txt", "movie.mov"}},
        {"cancelled",
         {.keepOriginalFile = true, .cancelled = true},
         false,
         false,
         {"failed Splitting \"DIR/first.txt\": Operation canceled"},
         {"after.txt", "first.txt", "movie.mov"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryDirectory directory;
        const std::string movie = directory.pathOf("movie.mov");
        const Bytes contents = test::noise(2'500'000, 3);
        test::writeBytes(directory.pathOf("first.txt"), test::bytesOf("first"));
        if (!c.movieMissing) {
            test::writeBytes(movie, contents);
        }
        test::writeBytes(directory.pathOf("after.txt"), test::bytesOf("after"));
        if (c.partInTheWay) {
            // No file can be renamed onto a directory.
            std::filesystem::create_directory(movie + ".part00001");
        }

        const auto log = split({directory.pathOf("first.txt"), movie, directory.pathOf("after.txt")}, c.settings);

        std::vector<std::string> expected = c.events;
        for (std::string& event : expected) {
            if (const std::size_t at = event.find("DIR/"); at != std::string::npos) {
                event.replace(at, 3, directory.path());
            }
        }
        EXPECT_EQ(log->events(), expected);
        EXPECT_EQ(test::treeListing(directory.path()), c.left);
        if (!c.movieMissing) {
            EXPECT_TRUE(test::readBytes(movie) == contents) << "the source is whole";
        }
    }
}

}  // namespace
}  // namespace tomely
