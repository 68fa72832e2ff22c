#include "support/ZipArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "common/ZipBuilder.h"
#include "platform/SystemLog.h"
#include "support/DosDate.h"

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

const std::uint32_t kOpsDate = ZipBuilder::dosDate(2012, 3, 4, 5, 6, 8);
const std::uint32_t kPageDate = ZipBuilder::dosDate(2013, 7, 15, 10, 20, 30);
const std::uint32_t kIndexDate = ZipBuilder::dosDate(2011, 1, 2, 3, 4, 6);

ZipBuilder::Options stored(std::uint32_t dosDate = kPageDate) {
    ZipBuilder::Options options;
    options.method = ZipBuilder::Method::Stored;
    options.dosDate = dosDate;
    return options;
}

ZipBuilder::Options deflated(std::uint32_t dosDate = kPageDate) {
    ZipBuilder::Options options;
    options.dosDate = dosDate;
    return options;
}

// Text that deflates well but not to nothing, so that damage in its middle is met part-way.
std::string prose(std::size_t size) {
    static constexpr std::array<const char*, 8> kWords = {"book ",   "page ", "shelf ", "chapter ",
                                                          "figure ", "the ",  "of ",    "author "};
    std::mt19937 random(7);
    std::string text;
    while (text.size() < size) {
        text += kWords[random() % kWords.size()];
    }
    text.resize(size);
    return text;
}

class ZipArchiveTest : public ::testing::Test {
protected:
    ZipArchiveTest() { environment_.set("TZ", "UTC0"); }

    std::string archive() const { return dir_.pathOf("book.iba"); }
    // Like the wizard's Working directory: missing at first, and its path ends in "/".
    std::string working() const { return dir_.pathOf("working/"); }
    std::string extracted(std::string_view relative) const { return working() + std::string(relative); }

    bool unzip(bool overwrite = true) {
        return ZipArchive::unzipFileAtPath(archive(), working(), overwrite, {}, &error_);
    }

    // Whether a line logged so far holds `text`.
    bool logged(const std::string& text) const {
        const Strings lines = log_.lines();
        return std::any_of(lines.begin(), lines.end(), [&](const auto& line) { return line.find(text) != line.npos; });
    }

    test::TemporaryDirectory dir_;
    test::ScopedEnvironment environment_;
    SystemLog::Capture log_;
    Error error_;
};

TEST_F(ZipArchiveTest, ExtractsTheBookIntoTheWorkingDirectoryWithItsArchivedDates) {
    {
        ZipBuilder zip(archive());
        zip.addDirectory("OPS/", kOpsDate);
        zip.add("OPS/a.xhtml", "<html/>", deflated(kPageDate));
        zip.add("index.xml", "<book/>", stored(kIndexDate));
        // Backslashes separate directories too, and missing parents are created.
        zip.add("OPS\\b.xhtml", "b");
        zip.addDirectory("Media\\");
        zip.add("deep/er/c.txt", "c");
        zip.add("empty-stored", "", stored());
        zip.add("empty-deflated", "", deflated());
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(error_.domain, "");
    EXPECT_EQ(treeListing(working()), (Strings{"Media/", "OPS/", "OPS/a.xhtml", "OPS/b.xhtml", "deep/", "deep/er/",
                                               "deep/er/c.txt", "empty-deflated", "empty-stored", "index.xml"}));
    EXPECT_EQ(readFile(extracted("OPS/a.xhtml")), "<html/>");
    EXPECT_EQ(readFile(extracted("OPS/b.xhtml")), "b");
    EXPECT_EQ(readFile(extracted("index.xml")), "<book/>");
    EXPECT_EQ(readFile(extracted("empty-deflated")), "");
    // The directory keeps its archived date although its files were written into it afterwards.
    EXPECT_EQ(modificationTime(extracted("OPS")), timeFromDosDate(kOpsDate));
    EXPECT_EQ(modificationTime(extracted("OPS/a.xhtml")), timeFromDosDate(kPageDate));
    EXPECT_EQ(modificationTime(extracted("index.xml")), timeFromDosDate(kIndexDate));
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ZipArchiveTest, ExistingFilesAreReplacedWithTheirArchivedDates) {
    writeFile(extracted("index.xml"), "old");
    ZipBuilder(archive()).add("index.xml", "new", deflated(kIndexDate));
    EXPECT_TRUE(unzip());
    EXPECT_EQ(readFile(extracted("index.xml")), "new");
    EXPECT_EQ(modificationTime(extracted("index.xml")), timeFromDosDate(kIndexDate));
}

TEST_F(ZipArchiveTest, ArchivesThatCannotBeOpenedReportWhichStepFailed) {
    struct Case {
        const char* name;
        std::function<void()> prepare;
        long code;
        const char* description;
    };
    const std::string path = archive();
    const Case cases[] = {
        {"missing file", [] {}, -1, "failed to open zip file"},
        {"not a zip archive", [path] { writeFile(path, "<?xml version=\"1.0\"?><book/>"); }, -1,
         "failed to open zip file"},
        {"cut in the central directory",
         [path] {
             ZipBuilder(path).add("index.xml", prose(5000), stored());
             std::filesystem::resize_file(path, std::filesystem::file_size(path) - 30);
         },
         -1, "failed to open zip file"},
        {"archive without entries", [path] { ZipBuilder zip(path); }, -2, "failed to open first file in zip file"},
        {"archive without entries after a prefix",
         [path] {
             { ZipBuilder zip(path); }
             writeFile(path, "#!/bin/sh\nexit 0\n" + readFile(path));
         },
         -2, "failed to open first file in zip file"},
        {"empty record with a wrong comment length",
         [path] {
             { ZipBuilder zip(path); }
             writeFile(path, readFile(path) + "x");
         },
         -1, "failed to open zip file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        c.prepare();
        error_ = Error{};
        EXPECT_FALSE(unzip());
        EXPECT_EQ(error_.domain, "ZipArchiveErrorDomain");
        EXPECT_EQ(error_.code, c.code);
        EXPECT_EQ(error_.localizedDescription(), c.description);
        EXPECT_EQ(error_.userInfoValue("NSErrorFailingURLKey"), "");
        EXPECT_FALSE(std::filesystem::exists(working()));
    }
    EXPECT_FALSE(ZipArchive::unzipFileAtPath(path, working(), true, {}));  // no error out-parameter
}

TEST_F(ZipArchiveTest, OnlyStoredEntriesWithTheLowDirectoryBitsAndDataAreLinks) {
    struct Case {
        const char* name;
        ZipBuilder::Method method;
        std::uint32_t attributes;
        const char* data;
        bool isLink;
    };
    const Case cases[] = {
        {"link", ZipBuilder::Method::Stored, 0x4000, "OPS/a.xhtml", true},
        {"link with other bits", ZipBuilder::Method::Stored, 0x41ED, "OPS/a.xhtml", true},
        {"unix-link", ZipBuilder::Method::Stored, 0xA1FF0000, "OPS/a.xhtml", false},  // mode in the high bits
        {"deflated", ZipBuilder::Method::Deflated, 0x4000, "OPS/a.xhtml", false},
        {"no-data", ZipBuilder::Method::Stored, 0x4000, "", false},
        {"dos-directory-bit", ZipBuilder::Method::Stored, 0x10, "OPS/a.xhtml", false},
    };
    {
        ZipBuilder zip(archive());
        for (const Case& c : cases) {
            ZipBuilder::Options options;
            options.method = c.method;
            options.externalAttributes = c.attributes;
            zip.add(c.name, c.data, options);
        }
    }
    EXPECT_TRUE(unzip());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::filesystem::is_symlink(extracted(c.name)), c.isLink);
        if (c.isLink) {
            EXPECT_EQ(std::filesystem::read_symlink(extracted(c.name)), c.data);
        } else {
            EXPECT_EQ(readFile(extracted(c.name)), c.data);
        }
    }
}

TEST_F(ZipArchiveTest, AnEncryptedEntryEndsTheExtractionRatherThanWriteItsBytes) {
    // The wizard gives no password: an encrypted book stops at its first encrypted entry instead of
    // turning up as files full of cipher text.
    {
        ZipBuilder zip(archive());
        zip.add("plain.txt", "plain", deflated());
        ZipBuilder::Options secret = stored();
        secret.encrypted = true;
        zip.add("secret.txt", "stored secret", secret);
        zip.add("after.txt", "after", deflated());
    }
    EXPECT_FALSE(unzip());
    EXPECT_EQ(error_.domain, "");
    EXPECT_EQ(treeListing(working()), Strings{"plain.txt"});
    EXPECT_EQ(log_.lines(), Strings{"[ZipArchive] The entry \"secret.txt\" is encrypted and no password was given"});
}

TEST_F(ZipArchiveTest, AnEntryThatCannotBeOpenedEndsTheExtractionWithTheEarlierOnesKept) {
    {
        ZipBuilder zip(archive());
        zip.add("first.txt", "first");
        zip.add("second.txt", "second");
        zip.add("third.txt", "third");
    }
    // Break the second entry's local header signature.
    ASSERT_EQ(replaceInFile(archive(), "PK\x03\x04", "PK\x03\x05", 1), 1U);
    EXPECT_FALSE(unzip());
    EXPECT_EQ(error_.domain, "");
    EXPECT_EQ(treeListing(working()), Strings{"first.txt"});
    // The dates collected before the failure are still applied.
    EXPECT_EQ(modificationTime(extracted("first.txt")), timeFromDosDate(ZipBuilder::dosDate(1980, 1, 1, 0, 0, 0)));
}

TEST_F(ZipArchiveTest, DataThatFailsToDecompressLeavesAShortenedFileAndTheRestGoesOn) {
    const std::string text = prose(200000);
    {
        ZipBuilder zip(archive());
        zip.add("damaged.txt", text);
        zip.add("after.txt", "after");
    }
    std::string bytes = readFile(archive());
    const std::size_t dataStart = 30 + std::string_view("damaged.txt").size();
    const std::size_t dataEnd = bytes.find("PK\x03\x04", dataStart);
    ASSERT_NE(dataEnd, std::string::npos);
    bytes.replace((dataStart + dataEnd) / 2, 64, std::string(64, '\xff'));
    writeFile(archive(), bytes);

    EXPECT_TRUE(unzip());
    const std::string damaged = readFile(extracted("damaged.txt"));
    EXPECT_LT(damaged.size(), text.size());
    EXPECT_EQ(damaged.substr(0, 4096), text.substr(0, 4096));
    EXPECT_EQ(readFile(extracted("after.txt")), "after");
}

TEST_F(ZipArchiveTest, ADirectoryOrLinkThatCannotBeCreatedIsLoggedAndTheRestGoesOn) {
    {
        ZipBuilder zip(archive());
        zip.add("a b", "file in the way");
        zip.add("a b/b.txt", "cannot land");
        zip.addLink("a b", "target");
        zip.add("c.txt", "c");
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()), (Strings{"a b", "c.txt"}));
    EXPECT_EQ(readFile(extracted("a b")), "file in the way");
    EXPECT_TRUE(logged("Could not open the directory \"" + extracted("a b") + "\": Not a directory"));
    EXPECT_TRUE(logged("Failed to create symbolic link at \"file://" + dir_.path() + "/working/a%20b\""));
}

// Archives that try to reach beyond the destination. Beside the destination lies a directory
// "outside" with one file; after every extraction it must be exactly as it was.
class ZipArchiveHostileTest : public ZipArchiveTest {
protected:
    ZipArchiveHostileTest() {
        writeFile(dir_.pathOf("outside/keep.txt"), "keep");
        fs::last_write_time(dir_.pathOf("outside/keep.txt"), fs::file_time_type{});
        keepTime_ = modificationTime(dir_.pathOf("outside/keep.txt"));
        fs::create_directories(working());
    }

    void expectOutsideUntouched() {
        Strings beside;
        for (const std::string& item : treeListing(dir_.path())) {
            if (!item.starts_with("working")) {
                beside.push_back(item);
            }
        }
        EXPECT_EQ(beside, (Strings{"book.iba", "outside/", "outside/keep.txt"}));
        EXPECT_EQ(readFile(dir_.pathOf("outside/keep.txt")), "keep");
        EXPECT_EQ(modificationTime(dir_.pathOf("outside/keep.txt")), keepTime_);
    }

    std::time_t keepTime_ = 0;
};

TEST_F(ZipArchiveHostileTest, NamesThatLeaveTheDestinationOrAreNoNamesAreSkippedAndLogged) {
    // One row for every kind of refusal; ZipEntryPathTest has the many spellings of each.
    struct Case {
        std::string name;     // as written by the builder
        std::string patchTo;  // the name's final bytes, patched in after building (same length), if any
        std::string logLine;
    };
    const std::string absolute = dir_.pathOf("outside/evil.txt");
    const Case cases[] = {
        {"..\\outside\\evil.txt", "",
         "[ZipArchive] Skipped the entry \"..\\x5Coutside\\x5Cevil.txt\": its name leads out of the destination"},
        {"../outside/", "", "[ZipArchive] Skipped the entry \"../outside/\": its name leads out of the destination"},
        {absolute, "", "[ZipArchive] Skipped the entry \"" + absolute + "\": its name is an absolute path"},
        {"", "", "[ZipArchive] Skipped the entry \"\": its name is empty"},
        {"evil.txtXsuffix", std::string("evil.txt\0suffix", 15),
         "[ZipArchive] Skipped the entry \"evil.txt\\x00suffix\": its name is not valid UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        fs::remove_all(working());
        {
            ZipBuilder zip(archive());
            zip.add(c.name, "escaped");
            zip.add("good.txt", "good");
        }
        if (!c.patchTo.empty()) {
            ASSERT_EQ(replaceInFile(archive(), c.name, c.patchTo), 2U);
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
        zip.addLink("huge", "target");
        zip.add("good.txt", "good");
    }
    // The last link claims 2 GiB of data: the extraction must not believe it.
    ASSERT_EQ(replaceInFile(archive(), std::string("\x06\x00\x00\x00\x06\x00\x00\x00", 8),
                            std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f", 8)),
              2U);
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()), Strings{"good.txt"});
    for (const char* name : {"long", "bad", "huge"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(logged("[ZipArchive] Skipped the entry \"" + std::string(name) +
                           "\": its link target cannot be read as a path"));
    }
}

TEST_F(ZipArchiveHostileTest, AHugeDeclaredSizeEndsTheFileWhereTheArchiveEnds) {
    {
        ZipBuilder zip(archive());
        zip.add("big.bin", "0123456789", stored(0));
        zip.add("after.txt", "after");
    }
    ASSERT_EQ(replaceInFile(archive(), std::string("\x0a\x00\x00\x00\x0a\x00\x00\x00", 8),
                            std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f", 8)),
              2U);
    EXPECT_TRUE(unzip());
    // minizip reads the claimed size in large chunks; the first one already runs past the end.
    EXPECT_LE(fs::file_size(extracted("big.bin")), fs::file_size(archive()));
    EXPECT_EQ(readFile(extracted("after.txt")), "after");
    expectOutsideUntouched();
}

}  // namespace
}  // namespace tomely
