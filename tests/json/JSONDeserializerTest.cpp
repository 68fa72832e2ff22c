#include "json/JSONDeserializer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "JSONTestSupport.h"
#include "json/JSONScanner.h"
#include "platform/TextEncoding.h"

namespace tomely {
namespace {

using test::expectScannerError;

TEST(JSONDeserializerTest, InputThatDoesNotReadInTheDetectedEncoding) {
    // Latin-1, and UTF-16 that the zero bytes announce but that does not read as such.
    for (const std::string& data : {std::string("[\"\xE9t\xE9\"]"), std::string("\0[\0"
                                                                                "1\0]\0",
                                                                                7)}) {
        SCOPED_TRACE(::testing::PrintToString(data));
        Error error;
        EXPECT_FALSE(JSONDeserializer::deserializer().deserialize(data, &error));
        expectScannerError(error, -12, 0);
    }
}

// The encoding comes from the first four bytes: zero bytes where JSON's ASCII characters stand.
TEST(JSONDeserializerTest, TheFirstFourBytesTellTheEncoding) {
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"UTF-16 big-endian", std::string("\0{\0\"\0a\0\"\0:\0\"\0\xE9\0\"\0}", 18)},
        {"UTF-16 little-endian", std::string("{\0\"\0a\0\"\0:\0\"\0\xE9\0\"\0}\0", 18)},
        {"UTF-32 big-endian",
         std::string("\0\0\0{\0\0\0\"\0\0\0a\0\0\0\"\0\0\0:\0\0\0\"\0\0\0\xE9\0\0\0\"\0\0\0}", 36)},
        {"UTF-32 little-endian",
         std::string("{\0\0\0\"\0\0\0a\0\0\0\"\0\0\0:\0\0\0\"\0\0\0\xE9\0\0\0\"\0\0\0}\0\0\0", 36)},
        {"UTF-8", "{\"a\":\"\xC3\xA9\"}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_EQ(JSONDeserializer::deserializer().deserialize(c.data, &error),
                  JSONValue(JSONDictionary{{"a", "\xC3\xA9"}}))
            << error.localizedDescription();
    }
}

TEST(JSONDeserializerTest, ASecondEncodingReadsWhatTheDetectedOneCannot) {
    const std::string bom = std::string("\xFE\xFF\0[\0001\0]", 8);
    JSONDeserializer deserializer = JSONDeserializer::deserializer();
    Error error;
    EXPECT_FALSE(deserializer.deserialize(bom, &error));
    expectScannerError(error, -12, 0);
    deserializer.setAllowedEncoding(TextEncoding::UTF16);
    EXPECT_EQ(deserializer.deserialize(bom), JSONValue(JSONArray{1U}));
}

TEST(JSONDeserializerTest, EmptyInputFailsInTheDeserializersOwnDomain) {
    Error error;
    EXPECT_FALSE(JSONDeserializer::deserializer().deserialize("", &error));
    EXPECT_EQ(error.domain, "JSONDeserializerErrorDomain");
    EXPECT_EQ(error.code, -11);
    EXPECT_TRUE(error.userInfo.empty());
}

TEST(JSONDeserializerTest, NullsAndWordsFollowTheSettings) {
    struct Case {
        const char* text;
        bool withoutNullObject;
        bool strictEscapeCodes;
        std::optional<JSONValue> expected;
        long code;  // when there is no value; 0: no error either
    };
    const Case cases[] = {
        {"[null]", false, false, JSONValue(JSONArray{nullptr}), 0},
        {"[null]", true, false, JSONValue(JSONArray{}), 0},
        {R"({"a":null})", true, false, JSONValue(JSONDictionary{}), 0},
        {"[tru]", true, false, std::nullopt, -204},
        {"tru", false, false, std::nullopt, 0},
        {R"("\q")", false, true, std::nullopt, -303},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        JSONDeserializer deserializer = JSONDeserializer::deserializer();
        if (c.withoutNullObject) {
            deserializer.setNullObject(std::nullopt);
        }
        deserializer.scanner().setStrictEscapeCodes(c.strictEscapeCodes);
        Error error;
        EXPECT_EQ(deserializer.deserialize(c.text, &error), c.expected);
        EXPECT_EQ(error.code, c.code);
    }
}

TEST(JSONDeserializerTest, ArrayElementsAreHandedOverOneAtATimeAndWhatCameBeforeAFailureStays) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<JSONValue> elements;
        // The error, when the text is no array.
        std::optional<long> code = std::nullopt;
    };
    const Case cases[] = {
        {"records and scalars",
         R"([{"title": "A", "book_id": 7}, "two", -3, null, [4]])",
         {JSONDictionary{{"title", "A"}, {"book_id", std::uint64_t{7}}}, "two", std::int64_t{-3}, nullptr,
          JSONArray{std::uint64_t{4}}}},
        {"empty", "[ ]", {}},
        {"after a UTF-8 byte-order mark", "\xEF\xBB\xBF[\"\xC3\xA9\"]", {"\xC3\xA9"}},
        {"UTF-16, converted first", std::string("[\0\"\0\xE9\0\"\0]\0", 10), {"\xC3\xA9"}},
        {"an object", R"({"a": 1})", {}, -201},
        {"cut short after two", "[1, 2, ", {std::uint64_t{1}, std::uint64_t{2}}, -202},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<JSONValue> handed;
        Error error;
        const bool decoded = JSONDeserializer::deserializer().deserializeArrayElements(
            c.text, [&handed](JSONValue&& element) { handed.push_back(std::move(element)); }, &error);
        EXPECT_EQ(handed, c.elements);
        EXPECT_EQ(decoded, !c.code.has_value());
        if (c.code) {
            expectScannerError(error, *c.code, 0);
        }
    }
}

}  // namespace
}  // namespace tomely
