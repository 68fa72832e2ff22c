#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <string_view>

namespace tomely {

// Orders header names without regard to letter case: HTTP header names are case-insensitive, so
// "content-type" set by a caller replaces "Content-Type" instead of travelling beside it.
struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};

// Header name to value. Values are bytes as sent or received (not necessarily UTF-8).
using HTTPHeaders = std::map<std::string, std::string, CaseInsensitiveLess>;

// Case-insensitive equality of two ASCII texts.
[[nodiscard]] inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace tomely
