#include "ShelfHarness.h"
#include "ShelfProcess.h"

namespace tomely::shelf::test {
namespace {

using client::Target;

class FinishTest : public ShelfTest {
protected:
    void SetUp() override {
        ShelfTest::SetUp();
        ada_ = signedIn(kAda, kAdaPassword);
    }

    // The files of the newest version of the author's first book.
    [[nodiscard]] std::map<std::string, std::string> latestFiles() const {
        return downloadedFiles(*ada_, booksOf(*ada_).at(0).at("downloads").at(0));
    }

    std::unique_ptr<client::ShelfClient> ada_;
};

TEST_F(FinishTest, NonAsciiNamesAreMarkedAsUtf8ForOtherZipReaders) {
    const std::map<std::string, std::string> files = {{"/plain.txt", "a"}, {"/été/résumé.txt", "b"}};
    ASSERT_EQ(ada_->sync("G70", client::splitBook(files), {{}, "Names"}).failure.status, 200);
    TemporaryDirectory directory;
    const auto path = directory.pathOf("book.iba");
    ::tomely::test::writeFile(path, ada_->get(booksOf(*ada_).at(0).at("downloads").at(0).at("url")).body);
    const auto [status, listing] = client::ShelfProcess::runToEnd(
        "/usr/bin/python3", {"-c",
                             "import sys, zipfile\n"
                             "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                             "    sys.stdout.buffer.write(b'%s %d\\n' % (i.filename.encode(), i.flag_bits >> 11 & 1))",
                             path});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listing, "plain.txt 0\nété/résumé.txt 1\n");
}

TEST_F(FinishTest, BooksWhoseGuidsAreTheNamesOfOtherCallsSyncLikeAnyOther) {
    for (const std::string guid : {"auth", "manifest", "list"}) {
        SCOPED_TRACE(guid);
        const std::map<std::string, std::string> files = {{"/index.xml", guid}};
        EXPECT_EQ(ada_->sync(guid, client::splitBook(files), {{}, guid}).failure.status, 200);
        EXPECT_EQ(latestFiles(), files);
    }
    EXPECT_EQ(anonymous()->signIn(kBob, kBobPassword).status, 200);
}

TEST_F(FinishTest, ManifestsBooksAndShelvesOverTheirLimitsAre413WhileOtherAuthorsAreServed) {
    restart([](ServerOptions& options) { options.shelf.limits = {5, 100000, 200000}; });
    ada_ = signedIn(kAda, kAdaPassword);
    const auto syncing = [&](const std::string& guid, const std::map<std::string, std::string>& files) {
        return ada_->sync(guid, client::splitBook(files), {{}, guid}).failure;
    };
    // One small part listed under many names would be written out once for each.
    std::map<std::string, std::string> copies;
    for (const char* name : {"/a", "/b", "/c", "/d", "/e", "/f"}) {
        copies[name] = std::string(30000, '0');
    }
    const auto tooMany = syncing("G80", copies);
    EXPECT_EQ(tooMany.status, 413);
    EXPECT_EQ(tooMany.body, "manifest lists more than 5 parts\n");
    copies.erase("/f");
    const auto tooLarge = syncing("G81", copies);
    EXPECT_EQ(tooLarge.status, 413);
    EXPECT_EQ(tooLarge.body, "the book would be larger than the limit of 100000 bytes for one book\n");
    // The parts of the first book fit on the shelf, but not with the book rebuilt from them.
    ASSERT_EQ(syncing("G82", {{"/a", randomBytes(60000, 80)}}).status, 200);
    const auto full = syncing("G83", {{"/a", randomBytes(60000, 81)}});
    EXPECT_EQ(full.status, 413);
    EXPECT_EQ(full.body, "this book would take your shelf past its limit of 200000 bytes\n");
    EXPECT_EQ(booksOf(*ada_).size(), 1U);
    auto bob = signedIn(kBob, kBobPassword);
    EXPECT_EQ(bob->sync("G80", client::splitBook({{"/a", randomBytes(60000, 80)}}), {{}, "Bob's"}).failure.status, 200);
}

TEST_F(FinishTest, ANewVersionKeepsTheOldOneAndRepeatingAFinishedUploadAddsNothing) {
    const auto first = sampleBook(2);
    ASSERT_EQ(ada_->sync("G2", client::splitBook(first), {{}, "Book"}).failure.status, 200);
    // The answer to the last part was lost, say, and the client runs again.
    EXPECT_TRUE(ada_->sync("G2", client::splitBook(first), {{}, "Book"}).asked.empty());
    const std::int64_t bookId = booksOf(*ada_)[0].at("book_id");
    auto second = first;
    second["/index.xml"] = "new text";
    const auto parts = client::splitBook(second);
    ASSERT_EQ(ada_->sync("G2b", parts, {bookId, {}}).failure.status, 200);
    EXPECT_TRUE(ada_->sync("G2b", parts, {bookId, {}}).asked.empty());
    const auto list = booksOf(*ada_);
    ASSERT_EQ(list.size(), 1U);
    const auto& downloads = list[0].at("downloads");
    ASSERT_EQ(downloads.size(), 2U);
    EXPECT_EQ(downloadedFiles(*ada_, downloads[0]), second);
    EXPECT_EQ(downloadedFiles(*ada_, downloads[1]), first);
}

TEST_F(FinishTest, PartsEndingInAFinalBlockAreInflatedAndPackedAnew) {
    const std::map<std::string, std::string> files = {{"/mixed.bin", randomBytes(1500000, 5)}, {"/text.txt", "hello"}};
    auto parts = client::splitBook(files);
    for (auto* part : {&parts[0], &parts[2]}) {
        part->deflated = deflateWithFinalBlock(part->bytes);
        part->fingerprint = client::fingerprintOf(part->deflated);
    }
    ASSERT_EQ(ada_->sync("G5", parts, {{}, "Mixed"}).failure.status, 200);
    EXPECT_EQ(latestFiles(), files);
}

TEST_F(FinishTest, PendingPartsOutliveARestartAndADamagedOneFailsTheFinishAndIsAskedForAgain) {
    const auto parts = client::splitBook(sampleBook(8));
    const Target target{{}, "Fragile"};
    ASSERT_EQ(ada_->postManifest("G8", client::manifestJson(parts, "G8", target)).status, 200);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        ASSERT_EQ(ada_->postPart("G8", client::partForm(parts[i], i, parts.size(), target)).status, 200);
    }
    restart();
    ada_ = signedIn(kAda, kAdaPassword);
    const auto& victim = parts[2];
    std::filesystem::resize_file(data_.pathOf("parts/" + victim.fingerprint.substr(0, 2) + "/" + victim.fingerprint),
                                 10);

    const auto last = ada_->postPart("G8", client::partForm(parts.back(), 4, parts.size(), target));
    EXPECT_EQ(last.status, 500);
    EXPECT_NE(last.body.find("stored part " + victim.fingerprint), std::string::npos) << last.body;
    EXPECT_TRUE(booksOf(*ada_).empty());

    const auto again = ada_->sync("G8", parts, target);
    ASSERT_EQ(again.failure.status, 200) << again.failure.body;
    EXPECT_EQ(again.asked, std::vector<std::string>({victim.name}));
    restart();
    ada_ = signedIn(kAda, kAdaPassword);
    EXPECT_EQ(latestFiles(), sampleBook(8));
}

TEST_F(FinishTest, TheShelfPageEscapesTitles) {
    ASSERT_EQ(ada_->sync("G9", client::splitBook({{"/a", "a"}}), {{}, "<b>Bold</b> & co"}).failure.status, 200);
    const auto page = ada_->get("/shelf/");
    EXPECT_NE(page.body.find("<h2>&lt;b&gt;Bold&lt;/b&gt; &amp; co</h2>"), std::string::npos) << page.body;
}

}  // namespace
}  // namespace tomely::shelf::test
