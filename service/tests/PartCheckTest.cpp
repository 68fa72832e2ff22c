#include "Names.h"
#include "PartBytes.h"
#include "ShelfHarness.h"

namespace tomely::shelf::test {
namespace {

TEST(PartCheckTest, PartNamesSplitIntoFileAndIndexOrAreRefused) {
    const struct {
        std::string name;
        std::string file;
        std::uint64_t index;
    } good[] = {
        {"/index.xml.part00000", "/index.xml", 0},     {"/a/b c/d.png.part00012", "/a/b c/d.png", 12},
        {"/big.bin.part100000", "/big.bin", 100000},   {"/a..b.part00001", "/a..b", 1},
        {"/x.part00001.part00002", "/x.part00001", 2},
    };
    for (const auto& c : good) {
        SCOPED_TRACE(c.name);
        const auto check = checkPartName(c.name);
        ASSERT_TRUE(check.part.has_value()) << check.reason;
        EXPECT_EQ(check.part->file, c.file);
        EXPECT_EQ(check.part->index, c.index);
    }
    const std::string bad[] = {"",
                               "index.xml.part00000",
                               "/a/../b.part00000",
                               "//a.part00000",
                               "/a/.part00000",
                               "/a.part0001",
                               "/a.part",
                               "/a\\b.part00000",
                               std::string("/a\nb.part00000"),
                               "/" + std::string(1030, 'a') + ".part00000"};
    for (const auto& name : bad) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(checkPartName(name).part.has_value());
    }
}

TEST(PartCheckTest, GuidsAreLettersDigitsDashesAndUnderscores) {
    EXPECT_TRUE(isValidGuid("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    EXPECT_TRUE(isValidGuid("book_1"));
    for (const std::string& guid :
         std::vector<std::string>{"", "a.b", "a/b", "a b", "\xc3\xa4", std::string(129, 'a')}) {
        SCOPED_TRACE(guid);
        EXPECT_FALSE(isValidGuid(guid));
    }
}

TEST(PartCheckTest, InflateTellsChainablePartsFromOthersAndBoundsItsOutput) {
    const std::string bytes = randomBytes(300000, 41) + std::string(300000, 'z');
    const std::string open = client::deflateData(bytes);
    const std::string closed = deflateWithFinalBlock(bytes);
    const auto fromOpen = inflateRaw(open, bytes.size());
    ASSERT_TRUE(fromOpen.has_value());
    EXPECT_EQ(fromOpen->bytes, bytes);
    EXPECT_TRUE(fromOpen->openEnded);

    const auto fromClosed = inflateRaw(closed, bytes.size());
    ASSERT_TRUE(fromClosed.has_value());
    EXPECT_EQ(fromClosed->bytes, bytes);
    EXPECT_FALSE(fromClosed->openEnded);

    const auto empty = inflateRaw("", 0);
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->openEnded);

    EXPECT_FALSE(inflateRaw(open, bytes.size() - 1).has_value()) << "more than the limit";
    EXPECT_FALSE(inflateRaw(closed + "trailing", bytes.size()).has_value()) << "bytes after the final block";
    EXPECT_FALSE(inflateRaw("\xff\xff\xff", 100).has_value()) << "not deflate";
    // Cut inside a block: what arrived inflates, but it must not be chained.
    const auto cut = inflateRaw(open.substr(0, open.size() / 2), bytes.size());
    ASSERT_TRUE(cut.has_value());
    EXPECT_FALSE(cut->openEnded);
}

TEST(PartCheckTest, FingerprintsAreLowerHexSha1AndTheDeflatedLength) {
    EXPECT_EQ(fingerprintOf(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709_0");
    EXPECT_TRUE(isFingerprint("da39a3ee5e6b4b0d3255bfef95601890afd80709_0"));
    for (const std::string& text : std::vector<std::string>{
             "da39a3ee5e6b4b0d3255bfef95601890afd80709", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709_0",
             "da39a3ee5e6b4b0d3255bfef95601890afd8070_10", "da39a3ee5e6b4b0d3255bfef95601890afd80709_-1"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(isFingerprint(text));
    }
}

}  // namespace
}  // namespace tomely::shelf::test
