#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"
#include "platform/SystemLog.h"
#include "support/ZipArchive.h"

namespace tomely {
namespace {

using test::modificationTime;
using test::readFile;
using test::replaceInFile;
using test::treeListing;
using test::writeFile;
using test::ZipBuilder;
using Strings = std::vector<std::string>;

namespace fs = std::filesystem;

// Archives that try to reach beyond the destination. Beside the destination lies a directory
// "outside" with one file; after every extraction it must be exactly as it was.
class ZipArchiveHostileTest : public ::testing::Test {
protected:
    ZipArchiveHostileTest() {
        environment_.set("TZ", "UTC0");
        writeFile(dir_.pathOf("outside/keep.txt"), "keep");
        fs::last_write_time(dir_.pathOf("outside/keep.txt"), fs::file_time_type{});
        keepTime_ = modificationTime(dir_.pathOf("outside/keep.txt"));
        fs::create_directories(working());
    }

    std::string archive() const { return dir_.pathOf("hostile.zip"); }
    std::string working() const { return dir_.pathOf("working"); }
    std::string extracted(std::string_view relative) const { return working() + "/" + std::string(relative); }

    bool unzip(bool overwrite = true) { return ZipArchive::unzipFileAtPath(archive(), working(), overwrite, {}); }

    void expectOutsideUntouched() {
        Strings beside;
        for (const std::string& item : treeListing(dir_.path())) {
            if (!item.starts_with("working")) {
                beside.push_back(item);
            }
        }
        EXPECT_EQ(beside, (Strings{"hostile.zip", "outside/", "outside/keep.txt"}));
        EXPECT_EQ(readFile(dir_.pathOf("outside/keep.txt")), "keep");
        EXPECT_EQ(modificationTime(dir_.pathOf("outside/keep.txt")), keepTime_);
    }

    bool logged(const std::string& line) const {
        const Strings lines = log_.lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    test::TemporaryDirectory dir_;
    test::ScopedEnvironment environment_;
    SystemLog::Capture log_;
    std::time_t keepTime_ = 0;
};

TEST_F(ZipArchiveHostileTest, NamesThatLeaveTheDestinationOrAreNoNamesAreSkippedAndLogged) {
    struct Case {
        std::string name;  // as written by the builder
        std::string logLine;
    };
    const std::string absolute = dir_.pathOf("outside/evil.txt");
    const Case cases[] = {
        {"../outside/evil.txt",
         "[ZipArchive] Skipped the entry \"../outside/evil.txt\": its name leads out of the destination"},
        {"OPS/../../outside/evil.txt",
         "[ZipArchive] Skipped the entry \"OPS/../../outside/evil.txt\": its name leads out of the destination"},
        {"..\\outside\\evil.txt",
         "[ZipArchive] Skipped the entry \"..\\x5Coutside\\x5Cevil.txt\": its name leads out of the destination"},
        {"../outside/", "[ZipArchive] Skipped the entry \"../outside/\": its name leads out of the destination"},
        {absolute, "[ZipArchive] Skipped the entry \"" + absolute + "\": its name is an absolute path"},
        {"\\tmp\\evil.txt", "[ZipArchive] Skipped the entry \"\\x5Ctmp\\x5Cevil.txt\": its name is an absolute path"},
        {"", "[ZipArchive] Skipped the entry \"\": its name is empty"},
        {"./", "[ZipArchive] Skipped the entry \"./\": its name is empty"},
        {"../caf\x82.txt", "[ZipArchive] Skipped the entry \"../caf\\x82.txt\": its name leads out of the destination"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        fs::remove_all(working());
        {
            ZipBuilder zip(archive());
            zip.add(c.name, "escaped");
            zip.add("good.txt", "good");
        }
        SystemLog::Capture log;
        EXPECT_TRUE(unzip());
        EXPECT_EQ(treeListing(working()), Strings{"good.txt"});
        EXPECT_EQ(log.lines(), Strings{c.logLine});
        expectOutsideUntouched();
    }
}

TEST_F(ZipArchiveHostileTest, NothingIsWrittenThroughALinkOnTheWay) {
    // One link was in the destination already and leads outside; the other is the archive's own
    // and leads to a directory inside.
    fs::create_directory_symlink(dir_.pathOf("outside"), extracted("out"));
    {
        ZipBuilder zip(archive());
        zip.add("out/evil.txt", "escaped");
        zip.addDirectory("out/newdir/");
        zip.addDirectory("real/");
        zip.addLink("inner", "real");
        zip.add("inner/x.txt", "through a link");
        zip.add("good.txt", "good");
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()),
              (Strings{"good.txt", "inner -> real", "out -> " + dir_.pathOf("outside"), "real/"}));
    EXPECT_TRUE(logged("[ZipArchive] Skipped the entry \"out/evil.txt\": its path passes through the symbolic link \"" +
                       extracted("out") + "\""));
    EXPECT_TRUE(logged("[ZipArchive] Skipped the entry \"inner/x.txt\": its path passes through the symbolic link \"" +
                       extracted("inner") + "\""));
    expectOutsideUntouched();
}

TEST_F(ZipArchiveHostileTest, AFileEntryReplacesALinkAtItsPathInsteadOfFollowingIt) {
    struct Case {
        bool overwrite;
        const char* link;
        std::string target;
        Strings expected;
    };
    const Case cases[] = {
        {true, "keep", dir_.pathOf("outside/keep.txt"), {"keep"}},
        {false, "keep", dir_.pathOf("outside/keep.txt"), {"keep -> " + dir_.pathOf("outside/keep.txt")}},
        {true, "ghost", dir_.pathOf("outside/ghost.txt"), {"ghost"}},
        {false, "ghost", dir_.pathOf("outside/ghost.txt"), {"ghost -> " + dir_.pathOf("outside/ghost.txt")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.link) + (c.overwrite ? " with overwrite" : " without overwrite"));
        fs::remove_all(working());
        fs::create_directories(working());
        fs::create_symlink(c.target, extracted(c.link));
        {
            ZipBuilder zip(archive());
            zip.add(c.link, "from the archive");
        }
        EXPECT_TRUE(unzip(c.overwrite));
        EXPECT_EQ(treeListing(working()), c.expected);
        if (c.overwrite) {
            EXPECT_EQ(readFile(extracted(c.link)), "from the archive");
        }
        expectOutsideUntouched();
    }
}

TEST_F(ZipArchiveHostileTest, LinksWhoseTargetCouldLeadOutsideAreNotCreated) {
    struct Case {
        std::string name;
        std::string target;
        bool created;
    };
    const Case cases[] = {
        {"absolute", dir_.pathOf("outside/keep.txt"), false},
        {"up", "../outside", false},
        {"sub/up", "../good.txt", true},
        {"sub/up2", "../../outside", false},
        {"sub/sneak", "x/../../outside", false},
        {"p/q/d", "../..", true},
        {"p/q/e", "d/../..", false},  // d leads to the destination itself, so this would be its parent
    };
    {
        ZipBuilder zip(archive());
        zip.add("good.txt", "good");
        for (const Case& c : cases) {
            zip.addLink(c.name, c.target);
        }
        zip.add("p/q/d/evil.txt", "through an accepted link");
    }
    EXPECT_TRUE(unzip());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fs::is_symlink(extracted(c.name)), c.created);
        if (c.created) {
            EXPECT_EQ(fs::read_symlink(extracted(c.name)), c.target);
        } else {
            EXPECT_FALSE(fs::exists(fs::symlink_status(extracted(c.name))));
            EXPECT_TRUE(logged("[ZipArchive] Skipped the entry \"" + c.name + "\": its link target \"" + c.target +
                               "\" leads out of the destination"));
        }
    }
    EXPECT_FALSE(fs::exists(dir_.pathOf("evil.txt")));
    EXPECT_EQ(readFile(extracted("good.txt")), "good");
    expectOutsideUntouched();
}

TEST_F(ZipArchiveHostileTest, LinkTargetsThatAreNoPathsAreNotCreated) {
    {
        ZipBuilder zip(archive());
        zip.addLink("long", std::string(5000, 'a'));
        zip.addLink("bad", "bad\xff");
        zip.add("good.txt", "good");
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()), Strings{"good.txt"});
    for (const char* name : {"long", "bad"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(logged("[ZipArchive] Skipped the entry \"" + std::string(name) +
                           "\": its link target cannot be read as a path"));
    }
}

}  // namespace
}  // namespace tomely
