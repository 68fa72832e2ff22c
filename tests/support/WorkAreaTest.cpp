#include "support/WorkArea.h"

#include <gtest/gtest.h>

#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

class WorkAreaTest : public ::testing::Test {
protected:
    test::TemporaryDirectory home_;
    test::ScopedEnvironment environment_;
};

TEST_F(WorkAreaTest, EachAreaNamesItsFourPlacesOnceAndMakesTheWorkingDirectory) {
    environment_.set("XDG_DATA_HOME", home_.pathOf("data"));
    // Left by an earlier run of the app; the publisher's run directory is its own and new.
    test::writeFile(home_.pathOf("data/tomely-uploader/working/stale.xhtml"), "old");
    test::writeFile(home_.pathOf("data/tomely-uploader/deflated/stale.part00000"), "old");
    test::writeFile(home_.pathOf("run/lock"), "");
    struct Case {
        const char* name;
        std::optional<WorkArea> area;
        std::string root;
        std::vector<std::string> tree;
    };
    const Case cases[] = {
        {"the app's, made fresh",
         WorkArea::freshInApplicationSupport(),
         home_.pathOf("data/tomely-uploader"),
         {"working/"}},
        {"in a directory of its own",
         WorkArea::inDirectory(home_.pathOf("run")),
         home_.pathOf("run"),
         {"lock", "working/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.area.has_value());
        EXPECT_EQ(c.area->root(), c.root);
        EXPECT_EQ(c.area->working(), c.root + "/working/");
        EXPECT_EQ(c.area->deflated(), c.root + "/deflated");
        EXPECT_EQ(c.area->staging(), c.root + "/staging");
        EXPECT_EQ(test::treeListing(c.root), c.tree);
    }
}

TEST_F(WorkAreaTest, WithoutAnApplicationSupportDirectoryTheAppHasNoneAndSaysWhy) {
    environment_.set("XDG_DATA_HOME", std::nullopt).set("HOME", std::nullopt);
    Error error;
    EXPECT_FALSE(WorkArea::freshInApplicationSupport(&error).has_value());
    EXPECT_EQ(error.domain, "SupportDirectoryErrorDomain");
    EXPECT_EQ(error.localizedDescription(), "No path found for directory in domain.");
}

}  // namespace
}  // namespace tomely
