#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tomely {

// The traditional PKWARE stream cipher that password-protected zip entries use. Each entry's data
// starts with a 12-byte header whose last byte, once decrypted, tells whether the password fits.
// Debian's minizip is built without it, so the extraction decrypts on its own.
class ZipCipher {
public:
    static constexpr std::size_t kHeaderSize = 12;

    explicit ZipCipher(std::string_view password);

    std::uint8_t decrypt(std::uint8_t cipherByte);

private:
    void update(std::uint8_t plainByte);
    [[nodiscard]] std::uint8_t keystreamByte() const;

    std::array<std::uint32_t, 3> keys_{0x12345678, 0x23456789, 0x34567890};
};

}  // namespace tomely
