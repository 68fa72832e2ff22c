#include "support/SupportDirectories.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "common/FileModes.h"
#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "platform/PosixError.h"
#include "platform/SystemLog.h"

namespace tomely {
namespace {

using test::ScopedEnvironment;
using test::TemporaryDirectory;

class SupportDirectoriesTest : public ::testing::Test {
protected:
    TemporaryDirectory home_;
    ScopedEnvironment environment_;
};

TEST_F(SupportDirectoriesTest, FindsTheDataAndCacheHomesThatTheEnvironmentNames) {
    struct Case {
        const char* name;
        std::optional<std::string> dataHome;
        std::string expected;
    };
    const Case cases[] = {
        {"XDG_DATA_HOME", home_.pathOf("data"), home_.pathOf("data/tomely-uploader")},
        {"XDG_DATA_HOME with a trailing slash", home_.pathOf("data/"), home_.pathOf("data/tomely-uploader")},
        {"no XDG_DATA_HOME", std::nullopt, home_.pathOf(".local/share/tomely-uploader")},
        {"empty XDG_DATA_HOME", "", home_.pathOf(".local/share/tomely-uploader")},
        {"relative XDG_DATA_HOME", "relative/data", home_.pathOf(".local/share/tomely-uploader")},
    };
    environment_.set("HOME", home_.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        environment_.set("XDG_DATA_HOME", c.dataHome);
        EXPECT_EQ(applicationSupportDirectory(), c.expected);
        EXPECT_TRUE(std::filesystem::is_directory(c.expected));
    }
    EXPECT_FALSE(std::filesystem::exists(home_.pathOf(".local/share/relative")));
}

TEST_F(SupportDirectoriesTest, CachesLiveApartFromTheApplicationSupport) {
    environment_.set("HOME", home_.path()).set("XDG_DATA_HOME", std::nullopt);
    for (const auto& [cacheHome, expected] :
         {std::pair<std::optional<std::string>, std::string>{home_.pathOf("cache"), home_.pathOf("cache/runs")},
          {std::nullopt, home_.pathOf(".cache/runs")},
          {"relative", home_.pathOf(".cache/runs")}}) {
        SCOPED_TRACE(cacheHome.value_or("unset"));
        environment_.set("XDG_CACHE_HOME", cacheHome);
        EXPECT_EQ(findOrCreateDirectory(SearchPathDirectory::Caches, SearchPathDomainMask::User, "runs"), expected);
        EXPECT_TRUE(std::filesystem::is_directory(expected));
    }
    EXPECT_EQ(applicationSupportDirectory(), home_.pathOf(".local/share/tomely-uploader"));
}

TEST_F(SupportDirectoriesTest, ComesBackAfterBeingDeleted) {
    environment_.set("XDG_DATA_HOME", home_.path());
    const auto first = applicationSupportDirectory();
    ASSERT_TRUE(first);
    test::writeFile(*first + "/working/index.xml", "<x/>");
    std::filesystem::remove_all(*first);

    EXPECT_EQ(applicationSupportDirectory(), first);
    EXPECT_TRUE(std::filesystem::is_directory(*first));
    EXPECT_FALSE(std::filesystem::exists(*first + "/working"));
}

TEST_F(SupportDirectoriesTest, TheApplicationsDirectoriesAreTheOwnersAloneUnderTheUsualUmask) {
    test::ScopedUmask umask(022);
    std::filesystem::create_directories(home_.pathOf("old-data/tomely-uploader"));
    ASSERT_EQ(test::permissionsOf(home_.pathOf("old-data/tomely-uploader")), 0755) << "as an older version left it";
    environment_.set("XDG_CACHE_HOME", home_.pathOf("fresh-cache")).set("XDG_DATA_HOME", home_.pathOf("old-data"));
    ASSERT_TRUE(cachesDirectory());
    ASSERT_TRUE(findOrCreateDirectory(SearchPathDirectory::Caches, SearchPathDomainMask::User, "tomely-uploader/runs"));
    ASSERT_TRUE(applicationSupportDirectory());
    struct Case {
        const char* path;
        int permissions;
    };
    const Case cases[] = {
        {"fresh-cache", 0700}, {"fresh-cache/tomely-uploader", 0700}, {"fresh-cache/tomely-uploader/runs", 0700},
        {"old-data", 0755},    {"old-data/tomely-uploader", 0700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(test::permissionsOf(home_.pathOf(c.path)), c.permissions);
    }
}

TEST_F(SupportDirectoriesTest, WithoutAnyBaseItReportsNoPathAndLogs) {
    environment_.set("XDG_DATA_HOME", std::nullopt).set("HOME", std::nullopt);
    Error error;
    EXPECT_EQ(findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomainMask::User, "x", &error),
              std::nullopt);
    EXPECT_EQ(error.domain, "SupportDirectoryErrorDomain");
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.localizedDescription(), "No path found for directory in domain.");

    SystemLog::Capture log;
    EXPECT_EQ(applicationSupportDirectory(), std::nullopt);
    ASSERT_EQ(log.lines().size(), 1U);
    EXPECT_TRUE(
        log.lines()[0].starts_with("Unable to find or create application support directory:\n"
                                   "Error Domain=SupportDirectoryErrorDomain Code=0 "))
        << log.lines()[0];
}

TEST_F(SupportDirectoriesTest, ACreationFailureIsReported) {
    test::writeFile(home_.pathOf("plain-file"), "not a directory");
    environment_.set("XDG_DATA_HOME", home_.pathOf("plain-file"));
    Error error;
    EXPECT_EQ(findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomainMask::User,
                                    kExecutableName, &error),
              std::nullopt);
    EXPECT_EQ(error.domain, kPOSIXErrorDomain);
    EXPECT_TRUE(error.code == ENOTDIR || error.code == EEXIST) << error.code;
}

}  // namespace
}  // namespace tomely
