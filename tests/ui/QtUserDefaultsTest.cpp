#include "ui/QtUserDefaults.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/FileModes.h"

namespace tomely::ui {
namespace {

TEST(QtUserDefaultsTest, TheSettingsAreTheOwnersAloneUnderTheUsualUmask) {
    test::ScopedUmask umask(022);
    const std::string file = QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tomely"),
                                       QStringLiteral("tomely-uploader"))
                                 .fileName()
                                 .toStdString();
    const std::string folder = std::filesystem::path(file).parent_path().string();
    std::filesystem::remove_all(folder);
    {
        QtUserDefaults defaults;
        defaults.setString("lastEmail", "ann@example.com");
        defaults.synchronize();
        EXPECT_EQ(test::permissionsOf(folder), 0700);
        EXPECT_EQ(test::permissionsOf(file), 0600);
    }
    // As an older version left them.
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
    std::filesystem::permissions(file, std::filesystem::perms(0644));
    QtUserDefaults again;
    again.setString("lastEmail", "bob@example.com");
    again.synchronize();
    EXPECT_EQ(test::permissionsOf(folder), 0700) << "an older version's folder";
    EXPECT_EQ(test::permissionsOf(file), 0600) << "an older version's file";
    EXPECT_EQ(again.stringForKey("lastEmail"), "bob@example.com");
}

}  // namespace
}  // namespace tomely::ui
