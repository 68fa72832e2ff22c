#include "json/JSONDeserializer.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tomely
