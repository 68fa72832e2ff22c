#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tomely::utf8 {

// The replacement character U+FFFD, which stands in for bytes that are not UTF-8.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// True when `bytes` is well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
[[nodiscard]] bool isValid(std::string_view bytes);

// The length of the well-formed sequence that starts at `bytes[at]`, or 0 when it is ill-formed.
[[nodiscard]] std::size_t wellFormedSequenceLength(std::string_view bytes, std::size_t at);

// Appends `bytes` to `out`, each maximal ill-formed subsequence replaced by U+FFFD, so that what is
// appended is always well-formed.
void appendRepairing(std::string& out, std::string_view bytes);

// `bytes` made well-formed as appendRepairing does it.
[[nodiscard]] std::string repaired(std::string_view bytes);

// Appends the UTF-8 form of `codePoint`; a surrogate or a value past U+10FFFF becomes U+FFFD.
void appendCodePoint(std::string& out, char32_t codePoint);

// The length of the longest prefix of `bytes` that does not end inside a multi-byte sequence,
// so that cutting there never splits a character.
[[nodiscard]] std::size_t completePrefixLength(std::string_view bytes);

}  // namespace tomely::utf8
