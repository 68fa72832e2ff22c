#include "support/ZipEntryPath.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tomely {
namespace {

using Verdict = ZipEntryPath::Verdict;

TEST(ZipEntryPathTest, TurnsNamesIntoComponentsBelowTheDestinationOrRefusesThem) {
    struct Case {
        std::string rawName;
        Verdict verdict;
        std::vector<std::string> components;
        bool isDirectory;
        bool flaggedUTF8 = true;
    };
    const Case cases[] = {
        {"index.xml", Verdict::Accepted, {"index.xml"}, false},
        {"OPS/", Verdict::Accepted, {"OPS"}, true},
        {"OPS\\a.xhtml", Verdict::Accepted, {"OPS", "a.xhtml"}, false},
        {"a//./b/", Verdict::Accepted, {"a", "b"}, true},
        {"..data/x..y", Verdict::Accepted, {"..data", "x..y"}, false},
        {"C:\\x.txt", Verdict::Accepted, {"C:", "x.txt"}, false},
        {"\xc3\xa9t\xc3\xa9.txt", Verdict::Accepted, {"\xc3\xa9t\xc3\xa9.txt"}, false},
        {"", Verdict::Empty, {}, false},
        {"/", Verdict::Absolute, {}, true},
        {"./", Verdict::Empty, {}, true},
        {"/etc/passwd", Verdict::Absolute, {}, false},
        {"\\etc\\passwd", Verdict::Absolute, {}, false},
        {"..", Verdict::ParentComponent, {}, false},
        {"../evil", Verdict::ParentComponent, {}, false},
        {"a/../b", Verdict::ParentComponent, {}, false},
        {"a/..", Verdict::ParentComponent, {}, false},
        {"bad\xff.txt", Verdict::Unusable, {}, false},
        {"\xc0\xaf", Verdict::Unusable, {}, false},          // overlong "/"
        {"\xed\xa0\x80", Verdict::Unusable, {}, false},      // a lone surrogate
        {"\xf4\x90\x80\x80", Verdict::Unusable, {}, false},  // above U+10FFFF
        {std::string("a\0b", 3), Verdict::Unusable, {}, false},
        // Without the UTF-8 flag: UTF-8 when it is, else code page 437.
        {"\xc3\xa9t\xc3\xa9.txt", Verdict::Accepted, {"\xc3\xa9t\xc3\xa9.txt"}, false, false},
        {"caf\x82\\men\xa3.txt", Verdict::Accepted, {"caf\xc3\xa9", "men\xc3\xba.txt"}, false, false},
        {"\xc0\xaf", Verdict::Accepted, {"\xe2\x94\x94\xc2\xbb"}, false, false},
        {"..\xff/x", Verdict::Accepted, {"..\xc2\xa0", "x"}, false, false},
        {"../\xff", Verdict::ParentComponent, {}, false, false},
        {std::string("a\0\xff", 3), Verdict::Unusable, {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(printableName(c.rawName));
        const ZipEntryPath path = ZipEntryPath::parse(c.rawName, c.flaggedUTF8);
        EXPECT_EQ(path.verdict, c.verdict);
        EXPECT_EQ(path.components, c.components);
        EXPECT_EQ(path.isDirectory, c.isDirectory);
    }
}

TEST(ZipEntryPathTest, LinkTargetsMayOnlyClimbFirstAndNoHigherThanTheLinkLies) {
    struct Case {
        std::string target;
        std::size_t linkDepth;
        bool staysInside;
    };
    const Case cases[] = {
        {"a.txt", 0, true},
        {"sub/dir/a.txt", 0, true},
        {"./a.txt", 0, true},
        {".", 0, true},
        {"../a.txt", 1, true},
        {"../../Resources/a", 2, true},
        {"../a.txt", 0, false},
        {"../../a", 1, false},
        {"sub/../a.txt", 3, false},  // ".." after a name climbs from wherever "sub" really is
        {"d/../..", 2, false},
        {"/etc/passwd", 5, false},
        {"", 0, false},
        {std::string("a\0b", 3), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(printableName(c.target) + " at depth " + std::to_string(c.linkDepth));
        EXPECT_EQ(linkTargetStaysInside(c.target, c.linkDepth), c.staysInside);
    }
}

}  // namespace
}  // namespace tomely
