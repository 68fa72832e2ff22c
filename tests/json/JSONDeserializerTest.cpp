#include "json/JSONDeserializer.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "JSONTestSupport.h"

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
