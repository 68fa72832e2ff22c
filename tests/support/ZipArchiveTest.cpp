#include "support/ZipArchive.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/ScopedEnvironment.h"
#include "common/TemporaryDirectory.h"
#include "common/Zip64Writer.h"
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
    return {.method = ZipBuilder::Method::Stored, .dosDate = dosDate};
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

    bool unzip(bool overwrite = true, std::string_view password = {}) {
        return ZipArchive::unzipFileAtPath(archive(), working(), overwrite, password, &error_);
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
    writeFile(extracted("index.xml"), "replaced");
    ZipBuilder(archive())
        .addDirectory("OPS/", kOpsDate)
        .add("OPS/a.xhtml", "<html/>", {.dosDate = kPageDate})
        .add("index.xml", "<book/>", stored(kIndexDate))
        // Backslashes separate directories too, and missing parents are created.
        .add("OPS\\b.xhtml", "b")
        .addDirectory("Media\\")
        .add("deep/er/c.txt", "c")
        .add("empty-stored", "", stored())
        .add("empty-deflated", "");
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()), (Strings{"Media/", "OPS/", "OPS/a.xhtml", "OPS/b.xhtml", "deep/", "deep/er/",
                                               "deep/er/c.txt", "empty-deflated", "empty-stored", "index.xml"}));
    EXPECT_EQ(readFile(extracted("OPS/a.xhtml")), "<html/>");
    EXPECT_EQ(readFile(extracted("index.xml")), "<book/>");
    // The directory keeps its archived date although its files were written into it afterwards.
    EXPECT_EQ(modificationTime(extracted("OPS")), timeFromDosDate(kOpsDate));
    EXPECT_EQ(modificationTime(extracted("OPS/a.xhtml")), timeFromDosDate(kPageDate));
    EXPECT_EQ(modificationTime(extracted("index.xml")), timeFromDosDate(kIndexDate));
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ZipArchiveTest, NamesWithoutTheUTF8FlagAreCodePage437UnlessUTF8AndUnusableNamesFailTheExtraction) {
    ZipBuilder(archive())
        .add("caf\x82\\men\xa3.txt", "code page 437")
        .add("\xc3\xa9t\xc3\xa9.txt", "UTF-8 without the flag");
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()),
              (Strings{"caf\xc3\xa9/", "caf\xc3\xa9/men\xc3\xba.txt", "\xc3\xa9t\xc3\xa9.txt"}));
    EXPECT_EQ(readFile(extracted("caf\xc3\xa9/men\xc3\xba.txt")), "code page 437");

    struct Case {
        std::string name;
        std::string patchTo;  // the name's bytes, patched in after building (same length), if any
        bool flagged;
        const char* description;
    };
    const Case cases[] = {
        {"bad\xff.txt", "", true, "the name \"bad\\xFF.txt\" of a file in zip file cannot be used"},
        {"evil.txtXsuffix", std::string("evil.txt\0suffix", 15), false,
         "the name \"evil.txt\\x00suffix\" of a file in zip file cannot be used"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        std::filesystem::remove_all(working());
        ZipBuilder(archive())
            .add("first.txt", "first")
            .add(c.name, "lost", {.flagNameAsUTF8 = c.flagged})
            .add("after.txt", "after");
        if (!c.patchTo.empty()) {
            ASSERT_EQ(replaceInFile(archive(), c.name, c.patchTo), 2U);
        }
        error_ = Error{};
        EXPECT_FALSE(unzip());
        EXPECT_EQ(error_.code, kZipArchiveEntryNameUnusableCode);
        EXPECT_EQ(error_.localizedDescription(), c.description);
        EXPECT_EQ(treeListing(working()), Strings{"first.txt"});
    }
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
        EXPECT_EQ(error_.domain, kZipArchiveErrorDomain);
        EXPECT_EQ(error_.code, c.code);
        EXPECT_EQ(error_.localizedDescription(), c.description);
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
            zip.add(c.name, c.data, {.method = c.method, .externalAttributes = c.attributes});
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
    // The wizard gives no password: an encrypted book stops at its first encrypted entry, with an
    // error that names it, instead of turning up as files full of cipher text. A password that does
    // not fit stops it the same way.
    ZipBuilder(archive())
        .add("plain.txt", "plain")
        .add("secret.txt", "stored secret", {.method = ZipBuilder::Method::Stored, .encrypted = true})
        .add("after.txt", "after");
    const struct {
        const char* password;
        const char* description;
    } cases[] = {
        {"", "file \"secret.txt\" in zip file is encrypted and no password was given"},
        {"sesame", "wrong password for file \"secret.txt\" in zip file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        std::filesystem::remove_all(working());
        error_ = Error{};
        EXPECT_FALSE(unzip(true, c.password));
        EXPECT_EQ(error_.code, kZipArchiveEntryOpenFailedCode);
        EXPECT_EQ(error_.localizedDescription(), c.description);
        EXPECT_EQ(treeListing(working()), Strings{"plain.txt"});
    }
}

TEST_F(ZipArchiveTest, AnEntryThatCannotBeExtractedWholeFailsTheExtractionByNameAndLeavesNothingOfItself) {
    struct Case {
        const char* name;
        std::function<void(ZipBuilder&)> add;  // adds the entry "damaged.txt"
        std::function<void()> damage;          // then damages the archive
        long code;
        const char* description;
        rlim_t fileSizeLimit = RLIM_INFINITY;
    };
    const std::string path = archive();
    const std::string text = prose(200000);
    const auto addStored = [](ZipBuilder& zip) { zip.add("damaged.txt", "0123456789", stored()); };
    const auto declareSizes = [path](const char* sizes) {
        ASSERT_EQ(replaceInFile(path, std::string("\x0a\x00\x00\x00\x0a\x00\x00\x00", 8), std::string(sizes, 8)), 2U);
    };
    const Case cases[] = {
        {"CRC-32 mismatch", addStored, [path] { ASSERT_EQ(replaceInFile(path, "0123456789", "0123456788"), 1U); },
         kZipArchiveEntryDamagedCode, "file \"damaged.txt\" in zip file is damaged"},
        {"data shorter than declared", addStored, [declareSizes] { declareSizes("\x0a\x00\x00\x00\x0b\x00\x00\x00"); },
         kZipArchiveEntryDamagedCode, "file \"damaged.txt\" in zip file is damaged"},
        {"stored data longer than declared", addStored,
         [declareSizes] { declareSizes("\x0a\x00\x00\x00\x05\x00\x00\x00"); }, kZipArchiveEntryLargerThanDeclaredCode,
         "file \"damaged.txt\" in zip file holds more data than it declares"},
        {"deflated data longer than declared", [&text](ZipBuilder& zip) { zip.add("damaged.txt", text); },
         [path] {
             // 200000 declared as 100000.
             ASSERT_EQ(replaceInFile(path, std::string("\x40\x0d\x03\x00", 4), std::string("\xa0\x86\x01\x00", 4)), 2U);
         },
         kZipArchiveEntryLargerThanDeclaredCode, "file \"damaged.txt\" in zip file holds more data than it declares"},
        {"deflated data damaged part-way", [&text](ZipBuilder& zip) { zip.add("damaged.txt", text); },
         [path] {
             std::string bytes = readFile(path);
             const std::size_t dataStart = bytes.find("damaged.txt") + 11;
             const std::size_t dataEnd = bytes.find("PK\x03\x04", dataStart);
             bytes.replace((dataStart + dataEnd) / 2, 64, std::string(64, '\xff'));
             writeFile(path, bytes);
         },
         kZipArchiveEntryDamagedCode, "file \"damaged.txt\" in zip file is damaged"},
        {"more data declared than the archive holds", addStored,
         [declareSizes] { declareSizes("\xff\xff\xff\x7f\xff\xff\xff\x7f"); }, kZipArchiveEntryReadFailedCode,
         "failed to read file \"damaged.txt\" in zip file"},
        {"a link with more data declared than the archive holds",
         [](ZipBuilder& zip) { zip.addLink("damaged.txt", "0123456789"); },
         [declareSizes] { declareSizes("\xff\xff\xff\x7f\xff\xff\xff\x7f"); }, kZipArchiveEntryReadFailedCode,
         "failed to read file \"damaged.txt\" in zip file"},
        {"a broken local header", addStored,
         [path] { ASSERT_EQ(replaceInFile(path, "PK\x03\x04", "PK\x03\x05", 1), 1U); }, kZipArchiveEntryOpenFailedCode,
         "failed to open file \"damaged.txt\" in zip file"},
        {"a broken central directory record", addStored,
         [path] { ASSERT_EQ(replaceInFile(path, "PK\x01\x02", "PK\x01\x03", 1), 1U); }, kZipArchiveNextEntryFailedCode,
         "failed to find the file after \"first.txt\" in zip file"},
        {"a file that cannot be written whole", [&text](ZipBuilder& zip) { zip.add("damaged.txt", text); }, [] {},
         kZipArchiveEntryWriteFailedCode, "failed to write file \"damaged.txt\" from zip file: File too large", 65536},
    };
    // Past the size limit a write fails with EFBIG instead of ending the process.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(working());
        {
            ZipBuilder zip(path);
            zip.add("first.txt", "first", stored());
            c.add(zip);
            zip.add("after.txt", "after", stored());
        }
        c.damage();
        rlimit limit{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit unlimited = limit;
        limit.rlim_cur = c.fileSizeLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        error_ = Error{};
        const bool result = unzip();
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
        EXPECT_FALSE(result);
        EXPECT_EQ(error_.domain, kZipArchiveErrorDomain);
        EXPECT_EQ(error_.code, c.code);
        EXPECT_EQ(error_.localizedDescription(), c.description);
        EXPECT_EQ(treeListing(working()), Strings{"first.txt"});
        // The entries before it keep their dates.
        EXPECT_EQ(modificationTime(extracted("first.txt")), timeFromDosDate(kPageDate));
    }
    std::signal(SIGXFSZ, previousHandler);
}

TEST_F(ZipArchiveTest, AnItemThatCannotBeCreatedFailsTheExtractionWithTheSystemsReason) {
    struct Case {
        const char* name;
        std::function<void(ZipBuilder&)> add;
        const char* description;  // after "failed to write file "
        Strings left;
    };
    const Case cases[] = {
        {"a file in the way of a directory",
         [](ZipBuilder& zip) { zip.add("a b", "file in the way").add("a b/b.txt", "cannot land"); },
         "\"a b/b.txt\" from zip file: Could not open the directory \"WORKING/a b\": Not a directory",
         {"a b"}},
        {"a directory in the way of a link",
         [](ZipBuilder& zip) { zip.addDirectory("a b/").addLink("a b", "target"); },
         "\"a b\" from zip file: Could not create the symbolic link \"a b\": File exists",
         {"a b/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(working());
        {
            ZipBuilder zip(archive());
            c.add(zip);
            zip.add("c.txt", "c");
        }
        error_ = Error{};
        EXPECT_FALSE(unzip());
        EXPECT_EQ(error_.domain, kZipArchiveErrorDomain);
        EXPECT_EQ(error_.code, kZipArchiveEntryWriteFailedCode);
        std::string description = std::string("failed to write file ") + c.description;
        if (const std::size_t at = description.find("WORKING/"); at != std::string::npos) {
            description.replace(at, 8, working());
        }
        EXPECT_EQ(error_.localizedDescription(), description);
        EXPECT_EQ(treeListing(working()), c.left);
    }
}

TEST_F(ZipArchiveTest, EntriesThatExpandTooMuchOrCannotFitAreRefusedBeforeAnythingIsWritten) {
    const std::string path = archive();
    struct Case {
        const char* name;
        std::function<void()> build;
        long code;
        std::string descriptionStart;
        std::string descriptionEnd;
    };
    const Case cases[] = {
        {"10 bytes declaring 2 MiB, more than 1000:1",
         [&path] {
             ZipBuilder(path).add("first.txt", "first", stored()).add("bomb.txt", "0123456789", stored());
             ASSERT_EQ(replaceInFile(path, std::string("\x0a\x00\x00\x00\x0a\x00\x00\x00", 8),
                                     std::string("\x0a\x00\x00\x00\x00\x00\x20\x00", 8)),
                       2U);
         },
         kZipArchiveEntryExpandsTooMuchCode,
         "file \"bomb.txt\" in zip file expands from 10 to 2097152 bytes, more than 1000 times its size", ""},
        {"1 PiB declared, stored",
         [&path] {
             {
                 test::Zip64Writer zip(path);
                 zip.add("first.txt", 5, test::Zip64Writer::Method::SparseZeros);
                 zip.add("huge.bin", 10, test::Zip64Writer::Method::SparseZeros);
             }
             const std::string ten("\x0a\x00\x00\x00\x00\x00\x00\x00", 8);
             const std::string petabyte("\x00\x00\x00\x00\x00\x00\x04\x00", 8);
             ASSERT_EQ(replaceInFile(path, ten + ten, petabyte + petabyte), 2U);
         },
         kZipArchiveNotEnoughSpaceCode, "the zip file needs 1125899941 MB of room where it is extracted, but only ",
         " MB are free in \"WORKING\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(working());
        c.build();
        error_ = Error{};
        EXPECT_FALSE(unzip());
        EXPECT_EQ(error_.domain, kZipArchiveErrorDomain);
        EXPECT_EQ(error_.code, c.code);
        const std::string description = error_.localizedDescription();
        std::string end = c.descriptionEnd;
        if (const std::size_t at = end.find("WORKING"); at != std::string::npos) {
            end.replace(at, 7, working());
        }
        EXPECT_TRUE(description.starts_with(c.descriptionStart)) << description;
        EXPECT_TRUE(description.ends_with(end)) << description;
        EXPECT_FALSE(fs::exists(working())) << "nothing written";
    }
}

TEST_F(ZipArchiveTest, EntriesWhoseSizesAreInTheZip64ExtraFieldComeOutWhole) {
    const std::uint64_t movieSize = 3 * 1024 * 1024 + 7;
    std::uint32_t movieCRC = 0;
    std::uint32_t pageCRC = 0;
    {
        test::Zip64Writer zip(archive());
        zip.add("index.xml", 64, test::Zip64Writer::Method::Stored, test::Zip64Writer::numberedLines);
        movieCRC = zip.add("media/movie.mov", movieSize, test::Zip64Writer::Method::Deflated,
                           test::Zip64Writer::numberedLines);
        pageCRC = zip.add("page.xhtml", 100, test::Zip64Writer::Method::Stored, test::Zip64Writer::numberedLines);
    }
    ASSERT_TRUE(unzip()) << error_.localizedDescription();
    EXPECT_EQ(treeListing(working()), (Strings{"index.xml", "media/", "media/movie.mov", "page.xhtml"}));
    EXPECT_EQ(test::digestOfFile(extracted("media/movie.mov")), (test::FileDigest{movieSize, movieCRC}));
    EXPECT_EQ(test::digestOfFile(extracted("page.xhtml")), (test::FileDigest{100, pageCRC}));
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
        std::string name;  // as written by the builder
        std::string logLine;
    };
    const std::string absolute = dir_.pathOf("outside/evil.txt");
    const Case cases[] = {
        {"..\\outside\\evil.txt",
         "[ZipArchive] Skipped the entry \"..\\x5Coutside\\x5Cevil.txt\": its name leads out of the destination"},
        {"../outside/", "[ZipArchive] Skipped the entry \"../outside/\": its name leads out of the destination"},
        {absolute, "[ZipArchive] Skipped the entry \"" + absolute + "\": its name is an absolute path"},
        {"", "[ZipArchive] Skipped the entry \"\": its name is empty"},
        {"../caf\x82.txt", "[ZipArchive] Skipped the entry \"../caf\\x82.txt\": its name leads out of the destination"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logLine);
        fs::remove_all(working());
        ZipBuilder(archive()).add(c.name, "escaped").add("good.txt", "good");
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
    ZipBuilder(archive())
        .add("out/evil.txt", "escaped")
        .addDirectory("out/newdir/")
        .addDirectory("real/")
        .addLink("inner", "real")
        .add("inner/x.txt", "through a link")
        .add("good.txt", "good");
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
    // One link leads to a file outside, the other to a file that does not exist.
    for (const bool overwrite : {true, false}) {
        for (const std::string link : {"keep", "ghost"}) {
            SCOPED_TRACE(link + (overwrite ? " with overwrite" : " without overwrite"));
            const std::string target = dir_.pathOf("outside/" + link + ".txt");
            fs::remove_all(working());
            fs::create_directories(working());
            fs::create_symlink(target, extracted(link));
            ZipBuilder(archive()).add(link, "from the archive");
            EXPECT_TRUE(unzip(overwrite));
            EXPECT_EQ(treeListing(working()), Strings{overwrite ? link : link + " -> " + target});
            if (overwrite) {
                EXPECT_EQ(readFile(extracted(link)), "from the archive");
            }
            expectOutsideUntouched();
        }
    }
}

TEST_F(ZipArchiveHostileTest, LinksWhoseTargetCouldLeadOutsideOrIsNoPathAreNotCreated) {
    const std::string outOfDestination = "\" leads out of the destination";
    struct Case {
        std::string name;
        std::string target;
        std::string refusal;  // empty: the link is created
    };
    const Case cases[] = {
        {"absolute", dir_.pathOf("outside/keep.txt"), outOfDestination},
        {"up", "../outside", outOfDestination},
        {"sub/up", "../good.txt", ""},
        {"sub/up2", "../../outside", outOfDestination},
        {"sub/sneak", "x/../../outside", outOfDestination},
        {"p/q/d", "../..", ""},
        {"p/q/e", "d/../..", outOfDestination},  // d leads to the destination itself, so this would be its parent
        {"long", std::string(5000, 'a'), " cannot be read as a path"},
        {"bad", "bad\xff", " cannot be read as a path"},
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
        EXPECT_EQ(fs::is_symlink(extracted(c.name)), c.refusal.empty());
        if (c.refusal.empty()) {
            EXPECT_EQ(fs::read_symlink(extracted(c.name)), c.target);
        } else {
            EXPECT_FALSE(fs::exists(fs::symlink_status(extracted(c.name))));
            const std::string target = c.refusal == outOfDestination ? " \"" + c.target : "";
            EXPECT_TRUE(
                logged("[ZipArchive] Skipped the entry \"" + c.name + "\": its link target" + target + c.refusal));
        }
    }
    EXPECT_FALSE(fs::exists(dir_.pathOf("evil.txt")));
    EXPECT_EQ(readFile(extracted("good.txt")), "good");
    expectOutsideUntouched();
}

}  // namespace
}  // namespace tomely
