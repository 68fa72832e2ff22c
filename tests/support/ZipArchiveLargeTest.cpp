// Entries past 2 GiB and 4 GiB, made by a generator as the archive is written and checked by their
// size and CRC-32 as they come out; nothing of them is kept.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/TemporaryDirectory.h"
#include "common/Zip64Writer.h"
#include "support/ZipArchive.h"

namespace tomely {
namespace {

TEST(ZipArchiveLargeTest, EntriesOfAnySizeZip64AllowsComeOutWhole) {
    for (const std::uint64_t size : {(std::uint64_t{2} << 30) + (1 << 20), (std::uint64_t{4} << 30) + (1 << 20)}) {
        SCOPED_TRACE(size);
        test::TemporaryDirectory directory;
        const std::string archive = directory.pathOf("large.iba");
        std::uint32_t crc = 0;
        {
            test::Zip64Writer zip(archive);
            zip.add("index.xml", 64, test::Zip64Writer::Method::Stored, test::Zip64Writer::numberedLines);
            crc =
                zip.add("media/movie.mov", size, test::Zip64Writer::Method::Deflated, test::Zip64Writer::numberedLines);
            zip.add("after.txt", 100, test::Zip64Writer::Method::Stored, test::Zip64Writer::numberedLines);
        }
        Error error;
        ASSERT_TRUE(ZipArchive::unzipFileAtPath(archive, directory.pathOf("working/"), true, "", &error))
            << error.localizedDescription();
        std::filesystem::remove(archive);
        const std::string movie = directory.pathOf("working/media/movie.mov");
        EXPECT_EQ(test::digestOfFile(movie), (test::FileDigest{size, crc}));
        std::filesystem::remove(movie);
        EXPECT_EQ(test::digestOfFile(directory.pathOf("working/after.txt")).size, 100U);
    }
}

}  // namespace
}  // namespace tomely
