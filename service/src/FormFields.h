#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

// Small decoders for what browsers and the uploader send besides multipart bodies. Pure.
namespace tomely::shelf {

// "a=1&b=x%40y" into {a: "1", b: "x@y"}; "+" is a space. A key given twice keeps its first
// value. Malformed escapes are kept as they are.
[[nodiscard]] std::map<std::string, std::string> parseUrlEncoded(std::string_view body);

// The value of cookie `name` in a "Cookie" header ("a=1; b=2"), if present.
[[nodiscard]] std::optional<std::string> cookieValue(std::string_view header, std::string_view name);

}  // namespace tomely::shelf
