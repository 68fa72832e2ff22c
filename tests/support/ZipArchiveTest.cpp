#include "support/ZipArchive.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

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
    std::string working() const { return dir_.pathOf("support/working/"); }
    std::string extracted(std::string_view relative) const { return working() + std::string(relative); }

    bool unzip(bool overwrite = true, std::string_view password = {}) {
        return ZipArchive::unzipFileAtPath(archive(), working(), overwrite, password, &error_);
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
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(error_.domain, "");
    EXPECT_EQ(treeListing(working()), (Strings{"OPS/", "OPS/a.xhtml", "index.xml"}));
    EXPECT_EQ(readFile(extracted("OPS/a.xhtml")), "<html/>");
    EXPECT_EQ(readFile(extracted("index.xml")), "<book/>");
    // The directory keeps its archived date although its file was written into it afterwards.
    EXPECT_EQ(modificationTime(extracted("OPS")), timeFromDosDate(kOpsDate));
    EXPECT_EQ(modificationTime(extracted("OPS/a.xhtml")), timeFromDosDate(kPageDate));
    EXPECT_EQ(modificationTime(extracted("index.xml")), timeFromDosDate(kIndexDate));
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(ZipArchiveTest, BackslashesSeparateDirectoriesAndMissingParentsAreCreated) {
    {
        ZipBuilder zip(archive());
        zip.add("OPS\\a.xhtml", "a");
        zip.addDirectory("Media\\");
        zip.add("deep/er/c.txt", "c");
        zip.add("empty-stored", "", stored());
        zip.add("empty-deflated", "", deflated());
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()), (Strings{"Media/", "OPS/", "OPS/a.xhtml", "deep/", "deep/er/", "deep/er/c.txt",
                                               "empty-deflated", "empty-stored"}));
    EXPECT_EQ(readFile(extracted("OPS/a.xhtml")), "a");
    EXPECT_EQ(std::filesystem::file_size(extracted("empty-stored")), 0U);
    EXPECT_EQ(std::filesystem::file_size(extracted("empty-deflated")), 0U);
}

TEST_F(ZipArchiveTest, OverwriteDecidesWhetherExistingFilesAreReplacedButDatesAreAlwaysRestored) {
    struct Case {
        bool overwrite;
        const char* expected;
    };
    for (const Case& c : {Case{true, "new"}, Case{false, "old"}}) {
        SCOPED_TRACE(c.overwrite ? "overwrite" : "keep");
        std::filesystem::remove_all(dir_.pathOf("support"));
        writeFile(extracted("index.xml"), "old");
        {
            ZipBuilder zip(archive());
            zip.add("index.xml", "new", deflated(kIndexDate));
            zip.add("added.xml", "added", deflated(kIndexDate));
        }
        EXPECT_TRUE(unzip(c.overwrite));
        EXPECT_EQ(readFile(extracted("index.xml")), c.expected);
        EXPECT_EQ(modificationTime(extracted("index.xml")), timeFromDosDate(kIndexDate));
        EXPECT_EQ(readFile(extracted("added.xml")), "added");
    }
}

TEST_F(ZipArchiveTest, NamesWithoutTheUTF8FlagAreCodePage437UnlessUTF8AndUnusableNamesFailTheExtraction) {
    {
        ZipBuilder zip(archive());
        zip.add("caf\x82\\men\xa3.txt", "code page 437");
        zip.add("\xc3\xa9t\xc3\xa9.txt", "UTF-8 without the flag");
    }
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
        {
            ZipBuilder zip(archive());
            zip.add("first.txt", "first");
            ZipBuilder::Options options;
            options.flagNameAsUTF8 = c.flagged;
            zip.add(c.name, "lost", options);
            zip.add("after.txt", "after");
        }
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
    const auto buildThenCut = [path](std::size_t keep) {
        {
            ZipBuilder zip(path);
            zip.add("index.xml", prose(5000), stored());
            zip.add("OPS/a.xhtml", prose(3000), stored());
        }
        ASSERT_LT(keep, std::filesystem::file_size(path));
        std::filesystem::resize_file(path, keep);
    };
    const Case cases[] = {
        {"missing file", [] {}, -1, "failed to open zip file"},
        {"not a zip archive", [path] { writeFile(path, "<?xml version=\"1.0\"?><book/>"); }, -1,
         "failed to open zip file"},
        {"empty file", [path] { writeFile(path, ""); }, -1, "failed to open zip file"},
        {"cut in the first entry", [buildThenCut] { buildThenCut(200); }, -1, "failed to open zip file"},
        {"cut in the central directory", [buildThenCut] { buildThenCut(8150); }, -1, "failed to open zip file"},
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

TEST_F(ZipArchiveTest, EncryptedEntriesNeedThePasswordAndPlainOnesNeverGetIt) {
    const std::string password = "s\xc3\xa9same";
    const std::string text = prose(10000);
    {
        ZipBuilder zip(archive());
        zip.add("plain.txt", "plain", deflated());
        ZipBuilder::Options secret = stored();
        secret.password = password;
        zip.add("secret-stored.txt", "stored secret", secret);
        secret.method = ZipBuilder::Method::Deflated;
        zip.add("secret-deflated.txt", text, secret);
        zip.add("secret-empty.txt", "", secret);
        zip.add("after.txt", "after", deflated());
    }
    EXPECT_TRUE(unzip(true, password));
    EXPECT_EQ(readFile(extracted("plain.txt")), "plain");
    EXPECT_EQ(readFile(extracted("secret-stored.txt")), "stored secret");
    EXPECT_TRUE(readFile(extracted("secret-deflated.txt")) == text);
    EXPECT_EQ(readFile(extracted("secret-empty.txt")), "");
    EXPECT_EQ(readFile(extracted("after.txt")), "after");
    EXPECT_TRUE(log_.lines().empty());

    struct Case {
        const char* password;
        const char* description;
    };
    // Either way the extraction stops at the first encrypted entry rather than write its
    // encrypted bytes, or bytes decrypted with the wrong key, as the file's data.
    const Case cases[] = {
        {"", "file \"secret-stored.txt\" in zip file is encrypted and no password was given"},
        {"sesame", "wrong password for file \"secret-stored.txt\" in zip file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        std::filesystem::remove_all(working());
        EXPECT_FALSE(unzip(true, c.password));
        EXPECT_EQ(error_.code, kZipArchiveEntryOpenFailedCode);
        EXPECT_EQ(error_.localizedDescription(), c.description);
        EXPECT_EQ(treeListing(working()), Strings{"plain.txt"});
    }
}

TEST_F(ZipArchiveTest, ReadsEntriesThatInfoZipEncrypted) {
    // An encryptor written by others, so that the cipher is not only checked against itself.
    if (::access("/usr/bin/zip", X_OK) != 0) {
        GTEST_SKIP() << "Info-ZIP's zip is not installed (scripts/install-deps installs it)";
    }
    const std::string text = prose(50000);
    writeFile(dir_.pathOf("in/book.txt"), text);
    writeFile(dir_.pathOf("in/tiny.txt"), "tiny");
    const std::string command = "cd '" + dir_.pathOf("in") + "' && /usr/bin/zip -q -P 'open sesame' '" + archive() +
                                "' book.txt && /usr/bin/zip -q -0 -P 'open sesame' '" + archive() + "' tiny.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(unzip(true, "open sesame"));
    EXPECT_TRUE(readFile(extracted("book.txt")) == text);
    EXPECT_EQ(readFile(extracted("tiny.txt")), "tiny");
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
        std::filesystem::remove_all(dir_.pathOf("support"));
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

TEST_F(ZipArchiveTest, ADirectoryThatCannotBeCreatedIsLoggedAndTheRestGoesOn) {
    {
        ZipBuilder zip(archive());
        zip.add("a", "file in the way");
        zip.add("a/b.txt", "cannot land");
        zip.add("c.txt", "c");
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(treeListing(working()), (Strings{"a", "c.txt"}));
    const std::string blocked = dir_.pathOf("support/working/a");
    EXPECT_EQ(log_.lines(),
              (Strings{"[ZipArchive] Error: Could not open the directory \"" + blocked + "\": Not a directory",
                       "[ZipArchive] Set attributes failed for directory: " + blocked + "/b.txt.",
                       "[ZipArchive] Error setting directory file modification date attribute: Could not open the "
                       "directory \"" +
                           blocked + "\": Not a directory"}));
}

TEST_F(ZipArchiveTest, ALinkThatCannotBeCreatedIsLoggedWithFileURLs) {
    {
        ZipBuilder zip(archive());
        zip.add("a b", "file");
        zip.addLink("a b", "t\xc3\xa4rget");
    }
    EXPECT_TRUE(unzip());
    EXPECT_EQ(readFile(extracted("a b")), "file");
    std::array<char, PATH_MAX> cwd{};
    ASSERT_NE(::getcwd(cwd.data(), cwd.size()), nullptr);
    EXPECT_EQ(log_.lines(), Strings{"Failed to create symbolic link at \"file://" + dir_.path() +
                                    "/support/working/a%20b\" to \"file://" + std::string(cwd.data()) +
                                    "/t%C3%A4rget\". Error: Could not create the symbolic link \"a b\": File exists"});
}

}  // namespace
}  // namespace tomely
