#include "shelf/BookGuid.h"

#include <gtest/gtest.h>

#include "common/TemporaryDirectory.h"

namespace tomely {
namespace {

TEST(BookGuidTest, TheWholeElementMustLieOnOneLineAndTheFirstMatchWins) {
    struct Case {
        const char* name;
        const char* text;
        std::optional<std::string> guid;
    };
    const Case cases[] = {
        {"one line",
         R"(<?xml version="1.0"?>)"
         "\n"
         R"(<sl:textbook sl:GUID="A1" sl:version="2"><sl:title>T</sl:title></sl:textbook>)",
         "A1"},
        {"element over two lines",
         R"(<sl:textbook sl:GUID="A1">)"
         "\n"
         R"(</sl:textbook>)",
         std::nullopt},
        {"carriage return ends a line too", "<sl:textbook sl:GUID=\"A1\">\r</sl:textbook>", std::nullopt},
        {"two elements on one line",
         R"(<sl:textbook sl:GUID="A1"></sl:textbook><sl:textbook sl:GUID="B2"></sl:textbook>)", "A1"},
        {"GUID of a later element on the same line", R"(<sl:textbook sl:id="x"><sl:part sl:GUID="C3"/></sl:textbook>)",
         "C3"},
        {"letter case matters", R"(<SL:TEXTBOOK SL:GUID="A1"></SL:TEXTBOOK>)", std::nullopt},
        {"taken verbatim", R"(<sl:textbook sl:GUID=" a/b?c "></sl:textbook>)", " a/b?c "},
        {"non-ASCII GUID", "<sl:textbook sl:GUID=\"\xC3\xA9t\xC3\xA9\"></sl:textbook>", "\xC3\xA9t\xC3\xA9"},
        {"an empty GUID is none", R"(<sl:textbook sl:GUID=""></sl:textbook>)", std::nullopt},
        {"no closing tag", R"(<sl:textbook sl:GUID="A1">)", std::nullopt},
        {"empty text", "", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(findBookGuidInText(c.text), c.guid);
    }
}

// A missing index and one without a GUID are shown through the locate step; an index that is not
// UTF-8 fails the same way.
TEST(BookGuidTest, AnIndexThatIsNotUTF8HasNoGuid) {
    test::TemporaryDirectory directory;
    test::writeFile(directory.pathOf("index.xml"), "<sl:textbook sl:GUID=\"\xFF\"></sl:textbook>");
    Error error;
    EXPECT_EQ(findBookGuidInLocation(directory.path() + "/", &error), std::nullopt);
    EXPECT_EQ(error.domain, kBookPackageErrorDomain);
    EXPECT_EQ(error.code, kBookPackageIndexNotUTF8);
    EXPECT_NE(error.localizedDescription().find("index.xml"), std::string::npos) << error.localizedDescription();
}

// In the manifest and upload paths a GUID of dots would be a path step ("/upload/../"), and the
// service may read an escaped dot as a dot: such a GUID is refused with its reason.
TEST(BookGuidTest, AGuidMadeOnlyOfDotsIsRefusedWithItsReason) {
    struct Case {
        const char* guid;
        std::optional<std::string> read;
        const char* reason;
    };
    const Case cases[] = {
        {".", std::nullopt,
         "The book's index.xml names the book GUID \".\", made only of dots, which cannot name a book on the "
         "service."},
        {"..", std::nullopt,
         "The book's index.xml names the book GUID \"..\", made only of dots, which cannot name a book on the "
         "service."},
        {"....", std::nullopt,
         "The book's index.xml names the book GUID \"....\", made only of dots, which cannot name a book on the "
         "service."},
        {"..a", "..a", nullptr},
        {". .", ". .", nullptr},
        {"A1.B2", "A1.B2", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.guid);
        test::TemporaryDirectory directory;
        test::writeFile(directory.pathOf("index.xml"),
                        std::string("<sl:textbook sl:GUID=\"") + c.guid + "\"></sl:textbook>");
        Error error;
        EXPECT_EQ(findBookGuidInLocation(directory.path() + "/", &error), c.read);
        if (c.read) {
            EXPECT_EQ(error.domain, "") << "no error";
            continue;
        }
        EXPECT_EQ(error.domain, kBookPackageErrorDomain);
        EXPECT_EQ(error.code, kBookPackageGUIDOnlyDots);
        EXPECT_EQ(error.localizedDescription(), c.reason);
    }
}

}  // namespace
}  // namespace tomely
