#include "json/JSONSerializer.h"

#include <gtest/gtest.h>

#include <limits>

#include "JSONTestSupport.h"
#include "json/JSONDeserializer.h"

namespace tomely {
namespace {

// A value of the caller's own type, with or without a JSON form.
class FakeDate : public JSONCustomObject {
public:
    explicit FakeDate(std::optional<std::string> json = std::nullopt) : json_(std::move(json)) {}
    std::string typeName() const override { return "Date"; }
    std::string description() const override { return "2011-03-04 05:06:07 +0000"; }
    std::optional<std::string> JSONDataRepresentation() const override { return json_; }

private:
    std::optional<std::string> json_;
};

JSONValue date(std::optional<std::string> json = std::nullopt) {
    return JSONValue(std::make_shared<const FakeDate>(std::move(json)));
}

const JSONSerializer kSerializer = JSONSerializer::serializer();

TEST(JSONSerializerTest, WritesCompactText) {
    struct Case {
        const char* name;
        JSONValue value;
        std::string expected;
    };
    const Case cases[] = {
        {"empty dictionary", JSONDictionary{}, "{}"},
        {"empty array", JSONArray{}, "[]"},
        {"slash escaped", JSONDictionary{{"k", "a/b"}}, R"({"k":"a\/b"})"},
        {"true", true, "true"},
        {"false", false, "false"},
        {"null", nullptr, "null"},
        {"integer", 1, "1"},
        {"negative", std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
        {"unsigned", std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"},
        {"decimal", Decimal(25, -2, true), "-0.25"},
        {"large decimal", Decimal(15, 300, false), "15E300"},
        {"members in key order, nested",
         JSONDictionary{{"b", JSONArray{1, "x", nullptr, JSONDictionary{}}}, {"a", JSONDictionary{{"c", false}}}},
         R"({"a":{"c":false},"b":[1,"x",null,{}]})"},
        {"custom object with a JSON form", JSONArray{date("\"2011-03-04\"")}, R"(["2011-03-04"])"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        const std::optional<std::string> text = kSerializer.serializeObject(c.value, &error);
        ASSERT_TRUE(text) << error.localizedDescription();
        EXPECT_EQ(*text, c.expected);
    }
    EXPECT_EQ(kSerializer.serializeDictionary(JSONDictionary{{"k", "a/b"}})->size(), 12U);
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

TEST(JSONSerializerTest, ValuesThatCannotBeWritten) {
    struct Case {
        const char* name;
        std::function<std::optional<std::string>(Error*)> serialize;
        std::string message;
    };
    const Case cases[] = {
        {"dictionary holding a date",
         [](Error* error) {
             return kSerializer.serializeDictionary(JSONDictionary{{"d", date()}}, error);
         },
         "Cannot serialize data of type 'Date'"},
        {"array holding a date",
         [](Error* error) {
             return kSerializer.serializeArray(JSONArray{1, date()}, error);
         },
         "Cannot serialize data of type 'Date'"},
        {"date alone", [](Error* error) { return kSerializer.serializeObject(date(), error); },
         "Cannot serialize data of type 'Date'"},
        // The outermost value below the called operation that failed names itself.
        {"object whose member holds a date",
         [](Error* error) {
             return kSerializer.serializeObject(JSONDictionary{{"d", date()}}, error);
         },
         "Could not serialize object '{\"d\":2011-03-04 05:06:07 +0000}'"},
        {"dictionary holding an array holding a date",
         [](Error* error) {
             return kSerializer.serializeDictionary(JSONDictionary{{"a", JSONArray{JSONArray{date()}}}}, error);
         },
         "Could not serialize object '[[2011-03-04 05:06:07 +0000]]'"},
        {"number of another kind", [](Error* error) { return kSerializer.serializeNumber("7", error); },
         "Cannot serialize data of type 'string'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        EXPECT_FALSE(c.serialize(&error));
        EXPECT_EQ(error.domain, "TODO_DOMAIN");
        EXPECT_EQ(error.code, -1);
        EXPECT_EQ(error.localizedDescription(), c.message);
        EXPECT_FALSE(c.serialize(nullptr));
    }
}

TEST(JSONSerializerTest, ValidityLooksOnlyAtTheValueItself) {
    EXPECT_TRUE(JSONSerializer::isValidJSONObject("text"));
    EXPECT_TRUE(JSONSerializer::isValidJSONObject(date("1")));
    EXPECT_FALSE(JSONSerializer::isValidJSONObject(date()));
    EXPECT_TRUE(JSONSerializer::isValidJSONObject(JSONArray{date()}));
}

TEST(JSONSerializerTest, TheManifestReadsBackAsWritten) {
    JSONDictionary hashes;
    for (int i = 0; i < 3; ++i) {
        hashes.emplace("/images/cover.png.part0000" + std::to_string(i),
                       std::string(40, 'a') + "_" + std::to_string(i));
    }
    const JSONValue manifest = JSONDictionary{
        {"hashes", hashes}, {"bookGUID", "GUID-1"}, {"format", "iba"}, {"bookName", "\"Tides\" \xE2\x80\x94 a/b"},
        {"bookId", 1234},
    };
    const std::optional<std::string> text = kSerializer.serializeObject(manifest);
    ASSERT_TRUE(text);
    EXPECT_TRUE(
        text->starts_with("{\"bookGUID\":\"GUID-1\",\"bookId\":1234,\"bookName\":\"\\\"Tides\\\" "
                          "\xE2\x80\x94 a\\/b\",\"format\""))
        << *text;
    EXPECT_NE(text->find(R"("\/images\/cover.png.part00002":")"), std::string::npos);
    const std::optional<JSONValue> decoded = JSONDeserializer::deserializer().deserialize(*text);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded->find("hashes"), JSONValue(hashes));
    EXPECT_EQ(*decoded->find("bookName"), *manifest.find("bookName"));
}

}  // namespace
}  // namespace tomely
