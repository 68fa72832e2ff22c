#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/ByteSet.h"

namespace tomely {

enum class HexCase { Lower, Upper };

// The letters and digits of ASCII, which every percent-encoding here keeps.
inline constexpr ByteSet kASCIIAlphanumerics{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"};

// Appends the two hex digits of `byte`, high nibble first.
void appendHexDigits(std::string& out, std::uint8_t byte, HexCase letterCase);

// Two hex digits per byte ("0aff" or "0AFF").
[[nodiscard]] std::string hexDigits(std::span<const std::uint8_t> bytes, HexCase letterCase);

// The bytes of `kept` as they are and every other byte as "%XX", with uppercase digits.
[[nodiscard]] std::string percentEncoded(std::string_view bytes, const ByteSet& kept);
[[nodiscard]] std::string percentEncoded(std::span<const std::uint8_t> bytes, const ByteSet& kept);

}  // namespace tomely
