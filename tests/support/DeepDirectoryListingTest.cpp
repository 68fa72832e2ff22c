#include "support/DeepDirectoryListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

using test::TemporaryDirectory;
using test::writeFile;

std::vector<std::string> sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

class DeepDirectoryListingTest : public ::testing::Test {
protected:
    DeepDirectoryListingTest() {
        writeFile(book_.pathOf("a.txt"), "a");
        writeFile(book_.pathOf("sub/b.txt"), "b");
        writeFile(book_.pathOf("sub/deeper/.DS_Store"), "hidden");
        std::filesystem::create_directories(book_.pathOf("empty"));
    }

    TemporaryDirectory book_;
};

TEST_F(DeepDirectoryListingTest, ListsEveryNonDirectoryAtAnyDepthAndNothingForAFileOrAMissingPath) {
    struct Case {
        const char* name;
        std::string givenPath;
        std::string joint;
    };
    const Case cases[] = {
        {"plain path", book_.path(), "/"},
        {"path ending in a slash", book_.path() + "/", "//"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string prefix = book_.path() + c.joint;
        EXPECT_EQ(sorted(deepDirectoryContents(c.givenPath)),
                  sorted({prefix + "a.txt", prefix + "sub/b.txt", prefix + "sub/deeper/.DS_Store"}));
    }
    for (const char* nothing : {"missing", "a.txt", "empty"}) {
        SCOPED_TRACE(nothing);
        EXPECT_TRUE(deepDirectoryContents(book_.pathOf(nothing)).empty());
    }
}

TEST_F(DeepDirectoryListingTest, ListsLinksToFilesButNeitherEntersNorListsLinksToDirectories) {
    TemporaryDirectory elsewhere;
    writeFile(elsewhere.pathOf("outside/secret.txt"), "secret");
    std::filesystem::create_symlink("a.txt", book_.pathOf("link-to-file"));
    std::filesystem::create_symlink("sub", book_.pathOf("link-to-dir"));
    std::filesystem::create_symlink(elsewhere.pathOf("outside"), book_.pathOf("link-outside"));
    std::filesystem::create_symlink("missing", book_.pathOf("dangling"));

    const std::string prefix = book_.path() + "/";
    EXPECT_EQ(
        sorted(deepDirectoryContents(book_.path())),
        sorted({prefix + "a.txt", prefix + "sub/b.txt", prefix + "sub/deeper/.DS_Store", prefix + "link-to-file"}));
}

}  // namespace
}  // namespace tomely
