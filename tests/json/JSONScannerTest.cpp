#include "json/JSONScanner.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "JSONTestSupport.h"
#include "json/JSONDeserializer.h"
#include "platform/UTF8.h"

namespace tomely {
namespace {

using test::expectScannerError;

std::optional<JSONValue> decode(std::string_view text, Error* error = nullptr) {
    return JSONDeserializer::deserializer().deserialize(text, error);
}

TEST(JSONScannerTest, DecodesEveryKindOfValueLeniently) {
    constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();
    constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
    constexpr auto kUInt64Max = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        std::string text;
        JSONValue expected;
    };
    const Case cases[] = {
        {R"( {"title":"Tides","book_id":42,"ok":true,"no":false,"gone":null,"downloads":[{"guid":"G-1"}],)"
         R"("empty":{},"none":[]} )",
         JSONDictionary{{"title", "Tides"},
                        {"book_id", 42U},
                        {"ok", true},
                        {"no", false},
                        {"gone", nullptr},
                        {"downloads", JSONArray{JSONDictionary{{"guid", "G-1"}}}},
                        {"empty", JSONDictionary{}},
                        {"none", JSONArray{}}}},
        {"[1,2,]", JSONArray{1U, 2U}},
        {R"({ "a" : 1 , } )", JSONDictionary{{"a", 1U}}},
        {R"({"a":1} and then some)", JSONDictionary{{"a", 1U}}},
        {R"({"a":1,"a":2})", JSONDictionary{{"a", 2U}}},
        {"\xEF\xBB\xBF[1]", JSONArray{1U}},  // a UTF-8 byte-order mark
        // Only these six bytes are whitespace.
        {"\t\n\v\f\r [\v1\f]", JSONArray{1U}},
        // A word is matched as a prefix; what follows is left to the caller.
        {"truex", true},
        // Raw control bytes inside strings are kept.
        {"\"a\tb\x01\"", "a\tb\x01"},
        // Number kinds come from the characters of the text.
        {"1e5", Decimal(1, 5, false)},
        {"2E+3", Decimal(2, 3, false)},
        // An unsigned number with a leading 0 reads as octal; a signed one does not.
        {"010", 8U},
        {"-010", -10},
        {"-7", -7},
        {"7", 7U},
        {"0.5", Decimal(5, -1, false)},
        {"-0.25e-2", Decimal(25, -4, true)},
        {"-0", 0},
        {"99999999999999999999999", kUInt64Max},
        {"-9223372036854775808", kInt64Min},
        {"9223372036854775808-", kInt64Max},
        {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {R"("\u00e9\u00C9")", "\xC3\xA9\xC3\x89"},
        {R"("\u0000")", std::string(1, '\0')},
        // A surrogate pair written as two escapes is one character.
        {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
        // Unpaired surrogates have no UTF-8 form.
        {R"("\ud83d")", "\xEF\xBF\xBD"},
        {R"("\ud83dx")", "\xEF\xBF\xBDx"},
        {R"("\ud83d\u0041")", "\xEF\xBF\xBD\x41"},
        {R"("\ude00\ud83d")", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        // Unknown escapes stand for the escaped character, multi-byte ones included.
        {R"("\q")", "q"},
        {"\"\\\xC3\xA9\"", "\xC3\xA9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        const std::optional<JSONValue> value = decode(c.text, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(*value, c.expected);
    }
}

// The code of the construct that failed, where, and its message word for word.
TEST(JSONScannerTest, MalformedInputFailsWithTheCodeOfTheOutermostFailedConstructAtItsStart) {
    const std::map<long, std::string> messages = {
        {-12, "Could not scan data. Data wasn't encoded properly?"},
        {-15, "Could not scan object. Character not a valid JSON character."},
        {-101, "Could not scan dictionary. Dictionary that does not start with '{' character."},
        {-102, "Could not scan dictionary. Failed to scan a key."},
        {-103, "Could not scan dictionary. Key was not terminated with a ':' character."},
        {-104, "Could not scan dictionary. Failed to scan a value."},
        {-105, "Could not scan dictionary. Key value pairs not delimited with a ',' character."},
        {-106, "Could not scan dictionary. Dictionary not terminated by a '}' character."},
        {-201, "Could not scan array. Array not started by a '[' character."},
        {-202, "Could not scan array. Could not scan a value."},
        {-203, "Could not scan array. Value is NULL."},
        {-204, "Could not scan array. Array not terminated by a ']' character."},
        {-301, "Could not scan string constant. String not started by a '\"' character."},
        {-302, "Could not scan string constant. Unicode character could not be decoded."},
        {-303, "Could not scan string constant. Unknown escape code."},
        {-304, "Could not scan string constant. No terminating double quote character."},
        {-401, "Could not scan number constant."},
    };
    struct Case {
        std::string text;
        long code;
        std::size_t location;
    };
    const Case cases[] = {
        {"  @", -15, 2},
        {"-", -401, 0},
        {R"(  "ab\u00g9")", -302, 2},
        {R"("\ud83d\uzzzz")", -302, 0},
        // An unterminated string fails where the input ends.
        {R"(  "abc)", -304, 6},
        {"\"\xED\xA0", -304, 3},
        {"'abc'", -301, 0},
        {"  [1 2]", -204, 2},
        {"[1,,2]", -202, 0},
        {"[tru]", -203, 1},
        {"{1:2}", -102, 0},
        {"{\"a\" 1}", -103, 0},
        {"{\"a\":}", -104, 0},
        {"{\"a\":1 \"b\":2}", -105, 0},
        {"{\"a\":[1,x]}", -104, 0},
        {"  [[1,x]]", -202, 2},
        {R"({"a":tru})", -105, 0},
        // Comments are stray characters like any other.
        {"/* a */ [1]", -15, 0},
        {"[1, // one\n 2]", -202, 0},
        // A UTF-16 byte-order mark does not match the detection, and the bytes are no UTF-8.
        {std::string("\xFE\xFF\0[\0]", 6), -12, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        EXPECT_FALSE(decode(c.text, &error));
        expectScannerError(error, c.code, c.location);
        EXPECT_EQ(error.localizedDescription(), messages.at(c.code));
        // The position details are text, even where the input is not.
        EXPECT_TRUE(utf8::isValid(error.userInfoValue("snippet")));
    }
    Error error;
    EXPECT_FALSE(decode(
        "\n\r\n  [\"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\", tru]", &error));
    EXPECT_EQ(error.userInfoValue("snippet"),
              "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\", !HERE>!tru]")
        << "the snippet never starts or ends inside a character";
}

TEST(JSONScannerTest, NestingIsBoundedAndFailsAtTheOutermostContainer) {
    const auto nestedArrays = [](std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    const auto nestedObjects = [](std::size_t depth) {
        std::string text;
        for (std::size_t i = 0; i < depth; ++i) {
            text += "{\"a\":";
        }
        text += "1";
        return text + std::string(depth, '}');
    };
    constexpr std::size_t kLimit = JSONScanner::kMaxNestingDepth;
    EXPECT_TRUE(decode(nestedArrays(kLimit)));
    EXPECT_TRUE(decode(nestedObjects(kLimit)));

    Error error;
    EXPECT_FALSE(decode(nestedArrays(kLimit + 1), &error));
    expectScannerError(error, -202, 0);
    EXPECT_FALSE(decode(nestedObjects(kLimit + 1), &error));
    expectScannerError(error, -104, 0);
    // Far deeper input fails the same way instead of exhausting the stack.
    EXPECT_FALSE(decode(std::string(1'000'000, '['), &error));
    expectScannerError(error, -202, 0);

    // The limit counts open containers, not how many there were: siblings are fine.
    std::string siblings = "[";
    for (int i = 0; i < 3; ++i) {
        siblings += nestedArrays(kLimit - 1) + ",";
    }
    EXPECT_TRUE(decode(siblings + "]"));
}

TEST(JSONScannerTest, InvalidUTF8InShortInputBecomesReplacementCharacters) {
    // Inputs under four bytes are not checked as a whole before scanning.
    for (const std::string& text : {std::string("\"\xFF\""), std::string("\"\xC3\"")}) {
        SCOPED_TRACE(::testing::PrintToString(text));
        EXPECT_EQ(decode(text), JSONValue(std::string(utf8::kReplacementCharacter)));
    }
}

}  // namespace
}  // namespace tomely
