#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tomely {

using SHA1Digest = std::array<std::uint8_t, 20>;

// The SHA-1 digest (FIPS 180) of `bytes`. Thread-safe.
[[nodiscard]] SHA1Digest sha1Digest(std::span<const std::uint8_t> bytes);

}  // namespace tomely
