#include "platform/PrivateFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "common/FileModes.h"
#include "common/TemporaryDirectory.h"
#include "platform/PosixError.h"

namespace tomely {
namespace {

using test::permissionsOf;

TEST(PrivateFilesTest, NewDirectoriesAreTheOwnersAloneWhateverTheUmask) {
    struct Case {
        const char* name;
        mode_t umask;
    };
    const Case cases[] = {
        {"the usual umask", 022},
        {"a umask that lets everyone write", 0},
        {"a umask that takes the owner's write and search", 0377},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TemporaryDirectory home;
        ASSERT_EQ(::chmod(home.path().c_str(), 0755), 0);
        test::ScopedUmask umask(c.umask);
        ASSERT_TRUE(createPrivateDirectories(home.pathOf("cache/tomely-uploader/runs/")));
        EXPECT_EQ(permissionsOf(home.pathOf("cache")), 0700);
        EXPECT_EQ(permissionsOf(home.pathOf("cache/tomely-uploader")), 0700);
        EXPECT_EQ(permissionsOf(home.pathOf("cache/tomely-uploader/runs")), 0700);
        EXPECT_EQ(permissionsOf(home.path()), 0755) << "what exists already is the user's";

        ASSERT_TRUE(createPrivateFile(home.pathOf("cache/tomely-uploader/fingerprints.sqlite")));
        EXPECT_EQ(permissionsOf(home.pathOf("cache/tomely-uploader/fingerprints.sqlite")), 0600);
    }
}

TEST(PrivateFilesTest, WhatAnOlderVersionLeftOpenIsClosedToOthers) {
    test::TemporaryDirectory home;
    test::ScopedUmask umask(022);
    std::filesystem::create_directories(home.pathOf("open/inner"));
    test::writeFile(home.pathOf("open/memo"), "kept");
    test::writeFile(home.pathOf("open/shared"), "x");
    ASSERT_EQ(::chmod(home.pathOf("open/shared").c_str(), 0664), 0);
    std::filesystem::create_symlink(home.pathOf("open/memo"), home.pathOf("open/link"));
    struct Case {
        const char* name;
        std::string path;
        bool asFile;
        int permissions;
    };
    const Case cases[] = {
        {"a directory", home.pathOf("open"), false, 0700},
        {"a file", home.pathOf("open/memo"), true, 0600},
        {"a group-writable file", home.pathOf("open/shared"), false, 0600},
        {"a missing file is made", home.pathOf("open/new"), true, 0600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.asFile ? createPrivateFile(c.path) : restrictToOwner(c.path));
        EXPECT_EQ(permissionsOf(c.path), c.permissions);
    }
    EXPECT_EQ(test::readFile(home.pathOf("open/memo")), "kept") << "its contents stay";
    EXPECT_TRUE(restrictToOwner(home.pathOf("open/missing")));
    EXPECT_TRUE(restrictToOwner(home.pathOf("open/link")));
    EXPECT_EQ(permissionsOf(home.pathOf("open/link")), 0777) << "a link is left alone";
    EXPECT_EQ(permissionsOf(home.pathOf("open/inner")), 0755) << "only the path itself";
}

TEST(PrivateFilesTest, AFileInTheWayIsTheSystemsError) {
    test::TemporaryDirectory home;
    test::writeFile(home.pathOf("plain"), "not a directory");
    Error error;
    EXPECT_FALSE(createPrivateDirectories(home.pathOf("plain/below"), &error));
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_EQ(error.code, ENOTDIR);
    EXPECT_EQ(error.localizedDescription(), "Not a directory");
}

}  // namespace
}  // namespace tomely
