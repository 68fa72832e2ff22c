#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "json/JSONValue.h"
#include "platform/Error.h"

namespace tomely {

// Readable values in assertion messages.
inline void PrintTo(const JSONValue& value, std::ostream* os) {
    *os << value.description();
}

namespace test {

// Checks a scanner error: its domain, code, and the location it points at.
inline void expectScannerError(const Error& error, long code, std::size_t location) {
    EXPECT_EQ(error.domain, "JSONScannerErrorDomain");
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.userInfoValue("location"), std::to_string(location));
}

}  // namespace test
}  // namespace tomely
