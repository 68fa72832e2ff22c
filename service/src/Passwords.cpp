#include "Passwords.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <stdexcept>
#include <vector>

namespace tomely::shelf {

namespace {

constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;
constexpr std::string_view kScheme = "pbkdf2-sha256";

std::string toHex(const std::vector<unsigned char>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        hex.push_back(kDigits[byte >> 4U]);
        hex.push_back(kDigits[byte & 0x0fU]);
    }
    return hex;
}

bool fromHex(std::string_view hex, std::vector<unsigned char>& bytes) {
    if (hex.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, value, 16);
        if (error != std::errc() || end != hex.data() + i + 2) {
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

std::vector<unsigned char> randomBytes(std::size_t count) {
    std::vector<unsigned char> bytes(count);
    if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1) {
        throw std::runtime_error("no random bytes available");
    }
    return bytes;
}

std::vector<unsigned char> derive(std::string_view password, const std::vector<unsigned char>& salt, int iterations,
                                  std::size_t length) {
    std::vector<unsigned char> out(length);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(), static_cast<int>(length),
                          out.data()) != 1) {
        throw std::runtime_error("PBKDF2 failed");
    }
    return out;
}

}  // namespace

std::string hashPassword(std::string_view password, int iterations) {
    const auto salt = randomBytes(kSaltBytes);
    const auto hash = derive(password, salt, iterations, kHashBytes);
    return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + toHex(salt) + "$" + toHex(hash);
}

bool verifyPassword(std::string_view password, std::string_view stored) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t dollar = stored.find('$'); dollar != std::string_view::npos; dollar = stored.find('$', start)) {
        fields.push_back(stored.substr(start, dollar - start));
        start = dollar + 1;
    }
    fields.push_back(stored.substr(start));
    if (fields.size() != 4 || fields[0] != kScheme) {
        return false;
    }
    int iterations = 0;
    const auto [end, error] = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), iterations);
    std::vector<unsigned char> salt;
    std::vector<unsigned char> expected;
    if (error != std::errc() || end != fields[1].data() + fields[1].size() || iterations < 1 ||
        !fromHex(fields[2], salt) || !fromHex(fields[3], expected) || expected.empty()) {
        return false;
    }
    const auto actual = derive(password, salt, iterations, expected.size());
    return CRYPTO_memcmp(actual.data(), expected.data(), expected.size()) == 0;
}

std::string randomToken(std::size_t bytes) {
    return toHex(randomBytes(bytes));
}

}  // namespace tomely::shelf
