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

    [[nodiscard]] nlohmann::json books() const { return booksOf(*ada_); }
    [[nodiscard]] std::map<std::string, std::string> downloaded(const nlohmann::json& download) const {
        return downloadedFiles(*ada_, download);
    }

    std::unique_ptr<client::ShelfClient> ada_;
};

TEST_F(FinishTest, NonAsciiNamesAreMarkedAsUtf8ForOtherZipReaders) {
    const std::map<std::string, std::string> files = {{"/plain.txt", "a"}, {"/été/résumé.txt", "b"}};
    ASSERT_EQ(ada_->sync("G70", client::splitBook(files), {{}, "Names"}).failure.status, 200);
    TemporaryDirectory directory;
    const auto path = directory.pathOf("book.iba");
    ::tomely::test::writeFile(path, ada_->get(books().at(0).at("downloads").at(0).at("url")).body);
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
    unsigned seed = 60;
    for (const std::string guid : {"auth", "manifest", "list"}) {
        SCOPED_TRACE(guid);
        const std::map<std::string, std::string> files = {{"/index.xml", guid}, {"/a.bin", noise(3000, ++seed)}};
        const auto sync = ada_->sync(guid, client::splitBook(files), {{}, "Book " + guid});
        EXPECT_EQ(sync.failure.status, 200) << sync.failure.body;
        EXPECT_EQ(downloaded(books().at(0).at("downloads").at(0)), files);
    }
    EXPECT_EQ(books().size(), 3U);
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
    ASSERT_EQ(syncing("G82", {{"/a", noise(60000, 80)}}).status, 200);
    const auto full = syncing("G83", {{"/a", noise(60000, 81)}});
    EXPECT_EQ(full.status, 413);
    EXPECT_EQ(full.body, "this book would take your shelf past its limit of 200000 bytes\n");
    EXPECT_EQ(books().size(), 1U);
    auto bob = signedIn(kBob, kBobPassword);
    EXPECT_EQ(bob->sync("G80", client::splitBook({{"/a", noise(60000, 80)}}), {{}, "Bob's"}).failure.status, 200);
}

TEST_F(FinishTest, ANewBookIsRebuiltFromItsPartsAndAReplacementSendsOnlyChangedPartsAsANewVersion) {
    auto files = sampleBook(2);
    const auto first = ada_->sync("G2", client::splitBook(files), {{}, "Book"});
    ASSERT_EQ(first.failure.status, 200) << first.failure.body;
    auto list = books();
    ASSERT_EQ(list.size(), 1U);
    EXPECT_EQ(list[0].at("title"), "Book");
    EXPECT_EQ(list[0]["downloads"][0].at("version"), 1);
    EXPECT_EQ(downloaded(list[0]["downloads"][0]), files);
    const std::int64_t bookId = list[0].at("book_id");

    auto changed = files;
    changed["/images/cover.png"][1500000] = static_cast<char>(changed["/images/cover.png"][1500000] ^ 1);
    changed["/index.xml"] = "<sl:textbook sl:GUID=\"G2b\">new text</sl:textbook>";
    changed["/chapter.xhtml"] = std::string(5000, 'c');
    const auto result = ada_->sync("G2b", client::splitBook(changed), {bookId, {}});
    ASSERT_EQ(result.failure.status, 200) << result.failure.body;
    EXPECT_EQ(result.asked, std::vector<std::string>(
                                {"/chapter.xhtml.part00000", "/images/cover.png.part00001", "/index.xml.part00000"}));

    list = books();
    ASSERT_EQ(list.size(), 1U);
    const auto& downloads = list[0].at("downloads");
    ASSERT_EQ(downloads.size(), 2U);
    EXPECT_EQ(downloads[0].at("guid"), "G2b");
    EXPECT_EQ(downloads[0].at("version"), 2);
    EXPECT_EQ(downloads[1].at("guid"), "G2");
    EXPECT_EQ(downloaded(downloads[0]), changed);
    EXPECT_EQ(downloaded(downloads[1]), files);
}

TEST_F(FinishTest, AManifestThatAsksForNothingFinishesAtOnce) {
    const auto parts = client::splitBook(sampleBook(3));
    ASSERT_EQ(ada_->sync("G3", parts, {{}, "Book"}).failure.status, 200);
    const std::int64_t bookId = books()[0].at("book_id");
    // The same files under a new GUID: a new version, with nothing to send.
    const auto result = ada_->sync("G3b", parts, {bookId, {}});
    ASSERT_EQ(result.failure.status, 200);
    EXPECT_TRUE(result.asked.empty());
    const auto downloads = books()[0].at("downloads");
    ASSERT_EQ(downloads.size(), 2U);
    EXPECT_EQ(downloads[0].at("guid"), "G3b");
    EXPECT_EQ(downloaded(downloads[0]), sampleBook(3));
}

TEST_F(FinishTest, RepeatingAFinishedUploadMakesNoSecondBookOrVersion) {
    const auto parts = client::splitBook(sampleBook(4));
    ASSERT_EQ(ada_->sync("G4", parts, {{}, "Book"}).failure.status, 200);
    // The answer to the last part was lost, say, and the client runs again.
    const auto byName = ada_->sync("G4", parts, {{}, "Book"});
    EXPECT_TRUE(byName.asked.empty());
    const std::int64_t bookId = books()[0].at("book_id");
    const auto byId = ada_->sync("G4", parts, {bookId, {}});
    EXPECT_TRUE(byId.asked.empty());
    const auto list = books();
    ASSERT_EQ(list.size(), 1U);
    EXPECT_EQ(list[0].at("downloads").size(), 1U);
}

TEST_F(FinishTest, PartsEndingInAFinalBlockAreInflatedAndPackedAnew) {
    const std::map<std::string, std::string> files = {{"/mixed.bin", noise(1500000, 5)}, {"/text.txt", "hello"}};
    auto parts = client::splitBook(files);
    for (auto* part : {&parts[0], &parts[2]}) {
        part->deflated = deflateWithFinalBlock(part->bytes);
        part->fingerprint = client::fingerprintOf(part->deflated);
    }
    ASSERT_EQ(ada_->sync("G5", parts, {{}, "Mixed"}).failure.status, 200);
    EXPECT_EQ(downloaded(books()[0]["downloads"][0]), files);
}

TEST_F(FinishTest, ARestartKeepsBooksPartsAndPendingUploads) {
    const auto done = sampleBook(6);
    ASSERT_EQ(ada_->sync("G6", client::splitBook(done), {{}, "Done"}).failure.status, 200);
    const auto pending = client::splitBook(sampleBook(7));
    const Target target{{}, "Pending"};
    ASSERT_EQ(ada_->postManifest("G7", client::manifestJson(pending, "G7", target)).status, 200);
    ASSERT_EQ(ada_->postPart("G7", client::partForm(pending[1], 0, 2, target)).status, 200);
    ASSERT_EQ(ada_->postPart("G7", client::partForm(pending[2], 1, 2, target)).status, 200);

    restart();
    ada_ = signedIn(kAda, kAdaPassword);
    const auto list = books();
    ASSERT_EQ(list.size(), 1U);
    EXPECT_EQ(downloaded(list[0]["downloads"][0]), done);
    const auto result = ada_->sync("G7", pending, target);
    ASSERT_EQ(result.failure.status, 200);
    // The empty file's part is the same in both books, so Ada holds it already.
    EXPECT_EQ(result.asked, std::vector<std::string>({"/images/cover.png.part00002", "/index.xml.part00000"}));
    EXPECT_EQ(downloaded(books()[0]["downloads"][0]), sampleBook(7));
}

TEST_F(FinishTest, ADamagedStoredPartFailsTheFinishAndIsAskedForAgain) {
    const auto parts = client::splitBook(sampleBook(8));
    const Target target{{}, "Fragile"};
    ASSERT_EQ(ada_->postManifest("G8", client::manifestJson(parts, "G8", target)).status, 200);
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        ASSERT_EQ(ada_->postPart("G8", client::partForm(parts[i], i, parts.size(), target)).status, 200);
    }
    const auto& victim = parts[2];
    const auto stored = data_.pathOf("parts/" + victim.fingerprint.substr(0, 2) + "/" + victim.fingerprint);
    ASSERT_TRUE(std::filesystem::exists(stored));
    std::filesystem::resize_file(stored, 10);

    const auto last = ada_->postPart("G8", client::partForm(parts.back(), 4, parts.size(), target));
    EXPECT_EQ(last.status, 500);
    EXPECT_NE(last.body.find("the book could not be finished: stored part " + victim.fingerprint), std::string::npos)
        << last.body;
    EXPECT_TRUE(books().empty());

    const auto again = ada_->sync("G8", parts, target);
    ASSERT_EQ(again.failure.status, 200) << again.failure.body;
    EXPECT_EQ(again.asked, std::vector<std::string>({victim.name}));
    EXPECT_EQ(downloaded(books()[0]["downloads"][0]), sampleBook(8));
}

TEST_F(FinishTest, TheShelfPageListsVersionsWithDownloadLinksAndEscapesTitles) {
    ASSERT_EQ(ada_->sync("G9", client::splitBook(sampleBook(9)), {{}, "<b>Bold</b> & co"}).failure.status, 200);
    const auto page = ada_->get("/shelf/");
    ASSERT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<h2>&lt;b&gt;Bold&lt;/b&gt; &amp; co</h2>"), std::string::npos) << page.body;
    const std::string url = books()[0]["downloads"][0].at("url");
    EXPECT_NE(page.body.find("<a href=\"" + url + "\">Download</a>"), std::string::npos);
    const auto file = ada_->get(url);
    EXPECT_EQ(file.contentType, "application/zip");
}

}  // namespace
}  // namespace tomely::shelf::test
