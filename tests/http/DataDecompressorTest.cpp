#include "http/DataDecompressor.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/ScriptedHTTPServer.h"
#include "http/HTTPRequestError.h"

namespace tomely {
namespace {

std::vector<std::uint8_t> bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string text(const std::vector<std::uint8_t>& data) {
    return {data.begin(), data.end()};
}

TEST(DataDecompressorTest, EveryGzipMemberIsInflatedInTurn) {
    const std::string first = "the first member, ";
    const std::string second(3000, 's');
    const std::string members = test::gzip(first) + test::gzip(second) + test::gzip("");
    const std::string whole = first + second;
    for (const std::string& trailer : {std::string(), std::string("junk"), std::string(8, '\0'), std::string("\x1F")}) {
        SCOPED_TRACE("followed by " + std::to_string(trailer.size()) + " bytes that are no member");
        EXPECT_EQ(text(DataDecompressor::uncompressData(bytes(members + trailer)).value_or(bytes("<failed>"))), whole);
    }
    const std::string damaged = test::gzip(first) + test::gzip(second).substr(0, 20);
    Error error;
    EXPECT_FALSE(DataDecompressor::uncompressData(bytes(damaged), &error).has_value()) << "a member cut short";
    EXPECT_EQ(error.domain, kNetworkRequestErrorDomain);
    EXPECT_EQ(error.code, kCompressionError);
    EXPECT_EQ(error.localizedDescription(), "Decompression of data failed with code -5");
}

}  // namespace
}  // namespace tomely
