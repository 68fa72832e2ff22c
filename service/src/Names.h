#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Checks on the names that reach the service from clients: e-mail addresses, book GUIDs in URL
// paths and part names in manifests and uploads. Pure functions, safe on any thread.
namespace tomely::shelf {

inline constexpr std::size_t kMaxGuidLength = 128;
inline constexpr std::size_t kMaxNameLength = 1024;

// Something, "@", something; at most 254 bytes, without blanks or control characters.
[[nodiscard]] bool isPlausibleEmail(std::string_view email);

// Letters, digits, "-" and "_" only, 1 to kMaxGuidLength characters.
[[nodiscard]] bool isValidGuid(std::string_view guid);

// A part name is the path of a book file below the book's root, beginning with "/", followed by
// ".part" and its index of at least five digits ("/images/a.png.part00002").
struct PartName {
    std::string file;     // "/images/a.png"
    std::uint64_t index;  // 2
};

// The part name split into file and index, or the reason it is refused: a name that does not
// start with "/", holds an empty, "." or ".." segment, a control character or a backslash, is
// longer than kMaxNameLength, or does not end in a part index.
struct PartNameCheck {
    std::optional<PartName> part;
    std::string reason;
};
[[nodiscard]] PartNameCheck checkPartName(std::string_view name);

// Parses an unsigned decimal of ASCII digits only (no sign, no blanks), at most 19 digits.
[[nodiscard]] std::optional<std::uint64_t> parseDecimal(std::string_view text);

}  // namespace tomely::shelf
