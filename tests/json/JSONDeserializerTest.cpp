#include "json/JSONDeserializer.h"

#include <gtest/gtest.h>

#include "JSONTestSupport.h"

namespace tomely {
namespace {

using test::bytes;
using test::expectScannerError;

// `text` (ASCII) in UTF-16 or UTF-32 of the given byte order.
std::string encodeASCII(std::string_view text, std::size_t width, bool bigEndian) {
    std::string out;
    for (const char c : text) {
        std::string unit(width, '\0');
        unit[bigEndian ? width - 1 : 0] = c;
        out += unit;
    }
    return out;
}

TEST(JSONDeserializerTest, EmptyInputFailsInTheFacadeDomainWithoutUserInformation) {
    Error error;
    EXPECT_FALSE(JSONDeserializer::deserializer().deserialize("", &error));
    EXPECT_EQ(error.domain, "JSONDeserializerErrorDomain");
    EXPECT_EQ(error.code, -11);
    EXPECT_TRUE(error.userInfo.empty());
}

TEST(JSONDeserializerTest, DetectsTheEncodingFromTheFirstFourBytes) {
    const std::string text = R"({"a":["\u00e9",1]})";
    const JSONValue expected = JSONDictionary{{"a", JSONArray{"\xC3\xA9", 1U}}};
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"UTF-8", text},
        {"UTF-16BE", encodeASCII(text, 2, true)},
        {"UTF-16LE", encodeASCII(text, 2, false)},
        {"UTF-32BE", encodeASCII(text, 4, true)},
        {"UTF-32LE", encodeASCII(text, 4, false)},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        const std::optional<JSONValue> value = JSONDeserializer::deserializer().deserialize(c.data, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(*value, expected);
    }
    // Non-ASCII text survives the re-encoding, a surrogate pair included.
    const std::string utf16 = bytes({0x00, '"', 0x00, 0xE9, 0xD8, 0x3D, 0xDE, 0x00, 0x00, '"'});
    const std::optional<JSONValue> value = JSONDeserializer::deserializer().deserialize(utf16);
    ASSERT_TRUE(value);
    EXPECT_EQ(*value, JSONValue("\xC3\xA9\xF0\x9F\x98\x80"));
}

TEST(JSONDeserializerTest, InputThatDoesNotReadInTheDetectedEncoding) {
    const std::string utf16WithMark = bytes({0xFF, 0xFE, '[', 0, '1', 0, ']', 0});
    const std::string latin1 = "[\"\xE9t\xE9\"]";
    const std::string truncatedUTF16 = bytes({0, '[', 0, '1', 0, ']', 0});
    for (const std::string& data : {utf16WithMark, latin1, truncatedUTF16}) {
        SCOPED_TRACE(::testing::PrintToString(data));
        Error error;
        EXPECT_FALSE(JSONDeserializer::deserializer().deserialize(data, &error));
        expectScannerError(error, -12, 0);
    }
}

TEST(JSONDeserializerTest, TheListAnswerIsReadAsAnArray) {
    JSONDeserializer deserializer = JSONDeserializer::deserializer();
    Error error;
    const std::optional<JSONArray> array = deserializer.deserializeAsArray(" [\"/a.part00000\",] ", &error);
    ASSERT_TRUE(array);
    EXPECT_EQ(JSONValue(*array), JSONValue(JSONArray{"/a.part00000"}));
    EXPECT_FALSE(deserializer.deserializeAsArray("{}", &error));
    expectScannerError(error, -201, 0);
}

}  // namespace
}  // namespace tomely
