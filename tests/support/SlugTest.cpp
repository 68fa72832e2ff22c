#include "support/Slug.h"

#include <gtest/gtest.h>

#include <string>

namespace tomely {
namespace {

TEST(SlugTest, KeepsOnlyLowercaseLatinLettersAndTurnsSpacesIntoHyphens) {
    struct Case {
        const char* title;
        const char* expected;
    };
    const Case cases[] = {
        {"My Book", "my-book"},
        {"Book 2", "book"},                  // the digit goes, then the space it leaves at the end
        {"  two  spaces ", "-two--spaces"},  // one leading and one trailing space only; runs stay runs
        {"Caf\u00e9 Noir", "caf-noir"},      // precomposed: the accented letter goes whole
        {"Cafe\u0301 Noir", "cafe-noir"},    // decomposed: the base letter stays
        {"2013", ""},
        {"Tom's Big-Book!", "toms-bigbook"},
        {"\u0130STANBUL", "istanbul"},  // dotted capital I lowercases to i + combining dot
        {"\u212A", "k"},                // the Kelvin sign lowercases to the ASCII letter
        {"\uFF22ook", "ook"},           // fullwidth letters are not a to z
        {"\u039C\u03C5 Book", "book"},  // Greek letters go, and so does the space they leave in front
        {"\xff\xfe"
         "ab",
         "ab"},  // ill-formed bytes are dropped like any other non-letter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(slug(c.title), c.expected);
    }
}

}  // namespace
}  // namespace tomely
