#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Password hashes and random tokens. Safe on any thread.
namespace tomely::shelf {

// Iterations of PBKDF2-HMAC-SHA256 for new hashes unless the service is told otherwise.
inline constexpr int kDefaultPasswordIterations = 600000;

// A self-describing hash: "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>", with a fresh
// 16-byte random salt. Throws std::runtime_error when the system has no randomness to give.
[[nodiscard]] std::string hashPassword(std::string_view password, int iterations);

// Recomputes the hash with the stored salt and iterations and compares in constant time.
// A malformed stored value never verifies.
[[nodiscard]] bool verifyPassword(std::string_view password, std::string_view stored);

// `bytes` random bytes as lowercase hex, for session cookies.
[[nodiscard]] std::string randomToken(std::size_t bytes);

}  // namespace tomely::shelf
