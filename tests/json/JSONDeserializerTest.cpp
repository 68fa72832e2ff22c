#include "json/JSONDeserializer.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tomely
