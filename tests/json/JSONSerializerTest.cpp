#include "json/JSONSerializer.h"

#include <gtest/gtest.h>

#include <limits>

#include "JSONTestSupport.h"
#include "json/JSONDeserializer.h"

namespace tomely {
namespace {

const JSONSerializer kSerializer = JSONSerializer::serializer();

TEST(JSONSerializerTest, WritesCompactText) {
    struct Case {
        const char* name;
        JSONValue value;
        std::string expected;
    };
    const Case cases[] = {
        {"slash escaped", JSONDictionary{{"k", "a/b"}}, R"({"k":"a\/b"})"},
        {"negative", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {"unsigned", std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"},
        {"decimal", Decimal(25, -2, true), "-0.25"},
        {"members in key order, nested",
         JSONDictionary{{"b", JSONArray{1, "x", nullptr, JSONDictionary{}}}, {"a", JSONDictionary{{"c", false}}}},
         R"({"a":{"c":false},"b":[1,"x",null,{}]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        const std::optional<std::string> text = kSerializer.serializeObject(c.value, &error);
        ASSERT_TRUE(text) << error.localizedDescription();
        EXPECT_EQ(*text, c.expected);
    }
}

TEST(JSONSerializerTest, StringsAreEscapedByteByByteWithTheFixedTable) {
    struct Case {
        const char* name;
        std::string string;
        std::string expected;
    };
    const Case cases[] = {
        {"tab and line feed", "a\tb\nc", R"("a\tb\nc")"},
        {"the whole table", "\\\"/\b\t\n\f\r", R"("\\\"\/\b\t\n\f\r")"},
        {"other control bytes as \\u00XX", "\x01\x0B\x1F\x7F",
         R"("\u0001\u000b\u001f)"
         "\x7F\""},
        {"multi-byte characters unchanged", "\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        {"cut at a zero byte", std::string("ab\0cd", 5), R"("ab")"},
        {"bytes that are not UTF-8",
         "a\xFF"
         "b\xC3",
         "\"a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(kSerializer.serializeString(c.string), c.expected);
        // Keys follow the same rule.
        EXPECT_EQ(*kSerializer.serializeDictionary(JSONDictionary{{c.string, 1}}), "{" + c.expected + ":1}");
    }
    std::string controls;
    for (char byte = 1; byte < 0x20; ++byte) {
        controls.push_back(byte);
    }
    const std::optional<std::string> written = kSerializer.serializeObject(JSONArray{controls});
    ASSERT_TRUE(written);
    EXPECT_EQ(written->find_first_of(controls), std::string::npos) << "strict readers refuse raw control bytes";
    EXPECT_EQ(JSONDeserializer::deserializer().deserialize(*written), JSONValue(JSONArray{controls}));
}

}  // namespace
}  // namespace tomely
