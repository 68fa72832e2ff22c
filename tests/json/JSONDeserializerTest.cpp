#include "json/JSONDeserializer.h"

#include <gtest/gtest.h>

#include "JSONTestSupport.h"

namespace tomely {
namespace {

using test::expectScannerError;

TEST(JSONDeserializerTest, EmptyInputFailsInTheFacadeDomainWithoutUserInformation) {
    Error error;
    EXPECT_FALSE(JSONDeserializer::deserializer().deserialize("", &error));
    EXPECT_EQ(error.domain, "JSONDeserializerErrorDomain");
    EXPECT_EQ(error.code, -11);
    EXPECT_TRUE(error.userInfo.empty());
}

TEST(JSONDeserializerTest, ReadsUTF8WithOrWithoutAByteOrderMark) {
    const std::string text = R"({"a":["\u00e9",1]})";
    const JSONValue expected = JSONDictionary{{"a", JSONArray{"\xC3\xA9", 1U}}};
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"UTF-8", text},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        const std::optional<JSONValue> value = JSONDeserializer::deserializer().deserialize(c.data, &error);
        ASSERT_TRUE(value) << error.localizedDescription();
        EXPECT_EQ(*value, expected);
    }
}

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
