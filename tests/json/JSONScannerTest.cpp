#include "json/JSONScanner.h"

#include <gtest/gtest.h>

#include <limits>

#include "JSONTestSupport.h"
#include "json/JSONDeserializer.h"
#include "platform/UTF8.h"

namespace tomely {
namespace {

using test::expectScannerError;

// Decodes `text` with a default deserializer, or with `configure` applied to its scanner.
std::optional<JSONValue> decode(std::string_view text, Error* error = nullptr,
                                const std::function<void(JSONScanner&)>& configure = {}) {
    JSONDeserializer deserializer = JSONDeserializer::deserializer();
    if (configure) {
        configure(deserializer.scanner());
    }
    return deserializer.deserialize(text, error);
}

const auto kWithoutNulls = [](JSONScanner& scanner) { scanner.setNullObject(std::nullopt); };
const auto kStrictEscapes = [](JSONScanner& scanner) { scanner.setStrictEscapeCodes(true); };

TEST(JSONScannerTest, DecodesEveryKindOfValue) {
    const std::optional<JSONValue> value =
        decode(R"( {"title":"Tides","book_id":42,"ratio":0.5,"delta":-3,"ok":true,"no":false,"gone":null,)"
               R"("downloads":[{"guid":"G-1"},{"guid":"G-2"}],"empty":{},"none":[]} )");
    ASSERT_TRUE(value);
    const JSONValue expected = JSONDictionary{
        {"title", "Tides"},
        {"book_id", 42U},
        {"ratio", Decimal(5, -1, false)},
        {"delta", -3},
        {"ok", true},
        {"no", false},
        {"gone", nullptr},
        {"downloads", JSONArray{JSONDictionary{{"guid", "G-1"}}, JSONDictionary{{"guid", "G-2"}}}},
        {"empty", JSONDictionary{}},
        {"none", JSONArray{}},
    };
    EXPECT_EQ(*value, expected);
}

TEST(JSONScannerTest, LenientForms) {
    struct Case {
        const char* text;
        JSONValue expected;
    };
    const Case cases[] = {
        {"[1,2,]", JSONArray{1U, 2U}},
        {"[ 1 , 2 , ]", JSONArray{1U, 2U}},
        {R"({"a":1,})", JSONDictionary{{"a", 1U}}},
        {R"({ "a" : 1 , } )", JSONDictionary{{"a", 1U}}},
        {R"({"a":1} and then some)", JSONDictionary{{"a", 1U}}},
        {"[1]]", JSONArray{1U}},
        {"1 2", 1U},
        {R"({"a":1,"a":2})", JSONDictionary{{"a", 2U}}},
        // Only these six bytes are whitespace.
        {"\t\n\v\f\r [\v1\f]", JSONArray{1U}},
        // A word is matched as a prefix; what follows is left to the caller.
        {"truex", true},
        {"nullify", nullptr},
        // Raw control bytes inside strings are kept.
        {"\"a\tb\x01\"", "a\tb\x01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        const std::optional<JSONValue> value = decode(c.text, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(*value, c.expected);
    }
}

TEST(JSONScannerTest, NumberKindsComeFromTheCharactersOfTheText) {
    constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();
    constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
    constexpr auto kUInt64Max = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        const char* text;
        JSONValue expected;
    };
    const Case cases[] = {
        {"1e5", Decimal(1, 5, false)},
        {"2E+3", Decimal(2, 3, false)},
        {"-7", -7},
        {"7", 7U},
        {"0.5", Decimal(5, -1, false)},
        {"-0.25e-2", Decimal(25, -4, true)},
        {"-0", 0},
        {"18446744073709551615", kUInt64Max},
        {"18446744073709551616", kUInt64Max},
        {"99999999999999999999999", kUInt64Max},
        {"-9223372036854775808", kInt64Min},
        {"-9223372036854775809", kInt64Min},
        {"9223372036854775808-", kInt64Max},
        // The text is not checked against the number grammar: the leading number counts.
        {"5-3", 5},
        {"1+2", 1U},
        {"1.2.3", Decimal(12, -1, false)},
        {"-.5", Decimal(5, -1, true)},
        // Unsigned text conversion reads a leading 0 as octal.
        {"010", 8U},
        {"08", 0U},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        const std::optional<JSONValue> value = decode(c.text, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(*value, c.expected);
    }
}

TEST(JSONScannerTest, NumberWithoutDigitsFails) {
    for (const char* text : {"-", "--5", "-.", "-e5", "[-]"}) {
        SCOPED_TRACE(text);
        Error error;
        EXPECT_FALSE(decode(text, &error));
        EXPECT_EQ(error.code, text[0] == '[' ? -202 : -401);
    }
    JSONScanner scanner;
    ASSERT_TRUE(scanner.setData("  x"));
    Error error;
    EXPECT_FALSE(scanner.scanJSONNumberConstant(&error));
    expectScannerError(error, -401, "Could not scan number constant.", 2);
}

TEST(JSONScannerTest, StringEscapes) {
    struct Case {
        const char* text;
        std::string expected;
    };
    const Case cases[] = {
        {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {R"("\u00e9\u00C9")", "\xC3\xA9\xC3\x89"},
        {R"("caf\u00e9!")", "caf\xC3\xA9!"},
        {R"("\u0000")", std::string(1, '\0')},
        // A surrogate pair written as two escapes is one character.
        {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
        // Unpaired surrogates have no UTF-8 form.
        {R"("\ud83d")", "\xEF\xBF\xBD"},
        {R"("\ud83dx")", "\xEF\xBF\xBDx"},
        {R"("\ud83d\u0041")",
         "\xEF\xBF\xBD"
         "A"},
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
        EXPECT_EQ(*value, JSONValue(c.expected));
    }
}

TEST(JSONScannerTest, StringFailures) {
    struct Case {
        const char* text;
        std::function<void(JSONScanner&)> configure;
        long code;
        const char* message;
        std::size_t location;
    };
    const Case cases[] = {
        {R"("\q")", kStrictEscapes, -303, "Could not scan string constant. Unknown escape code.", 0},
        {R"(  "ab\u00g9")", {}, -302, "Could not scan string constant. Unicode character could not be decoded.", 2},
        {R"("\u12")", {}, -302, "Could not scan string constant. Unicode character could not be decoded.", 0},
        {R"("\ud83d\uzzzz")", {}, -302, "Could not scan string constant. Unicode character could not be decoded.", 0},
        // An unterminated string fails where the input ends.
        {R"(  "abc)", {}, -304, "Could not scan string constant. No terminating double quote character.", 6},
        {R"("abc\)", {}, -304, "Could not scan string constant. No terminating double quote character.", 5},
        {"'abc'", {}, -301, "Could not scan string constant. String not started by a '\"' character.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        EXPECT_FALSE(decode(c.text, &error, c.configure));
        expectScannerError(error, c.code, c.message, c.location);
    }
}

TEST(JSONScannerTest, NullValueAndNone) {
    struct Case {
        const char* text;
        std::function<void(JSONScanner&)> configure;
        JSONValue expected;
    };
    const auto kNullAsText = [](JSONScanner& scanner) { scanner.setNullObject(JSONValue("NULL")); };
    const Case cases[] = {
        {"[null]", {}, JSONArray{nullptr}},
        {"[null]", kWithoutNulls, JSONArray{}},
        {"[1,null,2]", kWithoutNulls, JSONArray{1U, 2U}},
        {R"({"a":null})", kWithoutNulls, JSONDictionary{}},
        {R"({"a":null,"b":1})", kWithoutNulls, JSONDictionary{{"b", 1U}}},
        {"[null]", kNullAsText, JSONArray{"NULL"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<JSONValue> value = decode(c.text, nullptr, c.configure);
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, c.expected);
    }
}

TEST(JSONScannerTest, WordsThatAreNoValue) {
    for (const auto& [text, configure] : std::vector<std::pair<const char*, std::function<void(JSONScanner&)>>>{
             {"tru", {}}, {"nul", {}}, {"  fals", {}}, {"null", kWithoutNulls}}) {
        SCOPED_TRACE(text);
        Error error;
        EXPECT_FALSE(decode(text, &error, configure));
        EXPECT_EQ(error.domain, "") << "no error at the top level";
        EXPECT_EQ(error.code, 0);
    }
    Error error;
    EXPECT_FALSE(decode("[tru]", &error));
    expectScannerError(error, -203, "Could not scan array. Value is NULL.", 1);
    EXPECT_FALSE(decode("[tru]", &error, kWithoutNulls));
    expectScannerError(error, -204, "Could not scan array. Array not terminated by a ']' character.", 0);
    EXPECT_FALSE(decode(R"({"a":tru})", &error));
    expectScannerError(error, -105, "Could not scan dictionary. Key value pairs not delimited with a ',' character.",
                       0);
}

TEST(JSONScannerTest, ContainerFailures) {
    struct Case {
        const char* text;
        long code;
        const char* message;
        std::size_t location;
    };
    const Case cases[] = {
        {"  @", -15, "Could not scan object. Character not a valid JSON character.", 2},
        {"/* note */ 1", -15, "Could not scan object. Character not a valid JSON character.", 0},
        {"// note\n1", -15, "Could not scan object. Character not a valid JSON character.", 0},
        {"[1 // note\n]", -204, "Could not scan array. Array not terminated by a ']' character.", 0},
        {"  [1 2]", -204, "Could not scan array. Array not terminated by a ']' character.", 2},
        {"[1", -204, "Could not scan array. Array not terminated by a ']' character.", 0},
        {"[1,", -202, "Could not scan array. Could not scan a value.", 0},
        {"[,]", -202, "Could not scan array. Could not scan a value.", 0},
        {"[1,,2]", -202, "Could not scan array. Could not scan a value.", 0},
        {"{1:2}", -102, "Could not scan dictionary. Failed to scan a key.", 0},
        {"{,}", -102, "Could not scan dictionary. Failed to scan a key.", 0},
        {"{'a':2}", -102, "Could not scan dictionary. Failed to scan a key.", 0},
        {"{\"a\" 1}", -103, "Could not scan dictionary. Key was not terminated with a ':' character.", 0},
        {"{\"a\":}", -104, "Could not scan dictionary. Failed to scan a value.", 0},
        {"{\"a\":1 \"b\":2}", -105, "Could not scan dictionary. Key value pairs not delimited with a ',' character.",
         0},
        {"{\"a\":1", -105, "Could not scan dictionary. Key value pairs not delimited with a ',' character.", 0},
        // The outermost construct that failed reports, at its start.
        {"{\"a\":[1,x]}", -104, "Could not scan dictionary. Failed to scan a value.", 0},
        {"  [[1,x]]", -202, "Could not scan array. Could not scan a value.", 2},
        {"[{\"a\":\"\\u00g9\"}]", -202, "Could not scan array. Could not scan a value.", 0},
        {"{\"a\":{\"b\":[tru]}}", -104, "Could not scan dictionary. Failed to scan a value.", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        EXPECT_FALSE(decode(c.text, &error));
        expectScannerError(error, c.code, c.message, c.location);
    }
}

TEST(JSONScannerTest, ScanOperationsCalledDirectly) {
    JSONScanner scanner;
    Error error;
    ASSERT_TRUE(scanner.setData("  [1]"));
    EXPECT_FALSE(scanner.scanJSONDictionary(&error));
    expectScannerError(error, -101, "Could not scan dictionary. Dictionary that does not start with '{' character.", 2);

    ASSERT_TRUE(scanner.setData(" {}"));
    EXPECT_FALSE(scanner.scanJSONArray(&error));
    expectScannerError(error, -201, "Could not scan array. Array not started by a '[' character.", 1);

    // A failing construct moves back to where it began, whitespace included.
    ASSERT_TRUE(scanner.setData("  {1}"));
    EXPECT_FALSE(scanner.scanJSONDictionary(&error));
    EXPECT_EQ(error.code, -102);
    EXPECT_EQ(scanner.scanLocation(), 0U);

    // Each operation leaves the location after what it took, for the next one.
    ASSERT_TRUE(scanner.setData(R"("a" , "b")"));
    EXPECT_EQ(scanner.scanJSONStringConstant(), "a");
    EXPECT_EQ(scanner.scanLocation(), 3U);
    scanner.skipWhitespace();
    EXPECT_TRUE(scanner.scanCharacter(','));
    EXPECT_EQ(scanner.scanJSONStringConstant(), "b");
    EXPECT_TRUE(scanner.isAtEnd());
}

TEST(JSONScannerTest, ErrorPositionDetails) {
    struct Case {
        std::string text;
        std::function<void(JSONScanner&)> configure;
        const char* line;
        const char* character;
        const char* location;
        std::string snippet;
    };
    const Case cases[] = {
        {"\n\r\n  ?", {}, "3", "2", "5", "\n\r\n  !HERE>!?"},
        {"  ?", {}, "0", "2", "2", "  !HERE>!?"},
        {std::string(25, ' ') + "@abcdefghijklmnopqrstuvwxyz",
         {},
         "0",
         "25",
         "25",
         std::string(20, ' ') + "!HERE>!@abcdefghijklmnopqrs"},
        // The snippet never starts or ends inside a character.
        {"[\"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\", tru]",
         {},
         "0",
         "25",
         "25",
         "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\", !HERE>!tru]"},
        {"[tru\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9",
         {},
         "0",
         "1",
         "1",
         "[!HERE>!tru\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Error error;
        EXPECT_FALSE(decode(c.text, &error, c.configure));
        EXPECT_EQ(error.userInfoValue("line"), c.line);
        EXPECT_EQ(error.userInfoValue("character"), c.character);
        EXPECT_EQ(error.userInfoValue("location"), c.location);
        EXPECT_EQ(error.userInfoValue("snippet"), c.snippet);
        EXPECT_TRUE(utf8::isValid(error.userInfoValue("snippet")));
    }
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
    expectScannerError(error, -202, "Could not scan array. Could not scan a value.", 0);
    EXPECT_FALSE(decode(nestedObjects(kLimit + 1), &error));
    expectScannerError(error, -104, "Could not scan dictionary. Failed to scan a value.", 0);
    // Far deeper input fails the same way instead of exhausting the stack.
    EXPECT_FALSE(decode(std::string(1'000'000, '['), &error));
    expectScannerError(error, -202, "Could not scan array. Could not scan a value.", 0);

    // The limit counts open containers, not how many there were: siblings are fine.
    std::string siblings = "[";
    for (int i = 0; i < 3; ++i) {
        siblings += nestedArrays(kLimit - 1) + ",";
    }
    EXPECT_TRUE(decode(siblings + "]"));
}

TEST(JSONScannerTest, InvalidUTF8InShortInputBecomesReplacementCharacters) {
    // Inputs under four bytes are not checked as a whole before scanning.
    for (const std::string& text : {std::string("\"\xFF\""), std::string("\"\xC3\""), std::string("\"\xED\xA0")}) {
        SCOPED_TRACE(::testing::PrintToString(text));
        Error error;
        const std::optional<JSONValue> value = decode(text, &error);
        if (text.back() != '"') {
            EXPECT_FALSE(value);
            EXPECT_EQ(error.code, -304);
            EXPECT_TRUE(utf8::isValid(error.userInfoValue("snippet")));
            continue;
        }
        ASSERT_TRUE(value);
        EXPECT_EQ(*value, JSONValue(std::string(utf8::kReplacementCharacter)));
    }
}

TEST(DataScannerTest, PrimitivesStayWithinTheData) {
    DataScanner scanner;
    scanner.setData("ab");
    EXPECT_FALSE(scanner.scanUTF8String("abc"));
    EXPECT_EQ(scanner.scanLocation(), 0U);
    EXPECT_EQ(scanner.scanCharacter(), 'a');
    EXPECT_FALSE(scanner.scanCharacter('a'));
    EXPECT_TRUE(scanner.scanCharacter('b'));
    EXPECT_TRUE(scanner.isAtEnd());
    EXPECT_EQ(scanner.currentCharacter(), '\0');
    EXPECT_EQ(scanner.scanCharacter(), '\0');
    EXPECT_FALSE(scanner.scanCharacter('\0'));
    EXPECT_EQ(scanner.scanLocation(), 2U);
    scanner.setScanLocation(99);
    EXPECT_EQ(scanner.scanLocation(), 2U);

    scanner.setData("12ab");
    std::string_view run;
    EXPECT_TRUE(scanner.scanCharactersFromSet(ByteSet("0123456789"), &run));
    EXPECT_EQ(run, "12");
    EXPECT_FALSE(scanner.scanCharactersFromSet(ByteSet("0123456789"), &run));
    EXPECT_EQ(run, "");
    EXPECT_EQ(scanner.scanLocation(), 2U);
}

}  // namespace
}  // namespace tomely
