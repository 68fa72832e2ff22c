#include "support/ZipCipher.h"

#include "platform/CRC32.h"

namespace tomely {

ZipCipher::ZipCipher(std::string_view password) {
    for (const char character : password) {
        update(static_cast<std::uint8_t>(character));
    }
}

std::uint8_t ZipCipher::decrypt(std::uint8_t cipherByte) {
    const auto plain = static_cast<std::uint8_t>(cipherByte ^ keystreamByte());
    update(plain);
    return plain;
}

void ZipCipher::update(std::uint8_t plainByte) {
    keys_[0] = CRC32Step(keys_[0], plainByte);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813U + 1;
    keys_[2] = CRC32Step(keys_[2], static_cast<std::uint8_t>(keys_[1] >> 24));
}

std::uint8_t ZipCipher::keystreamByte() const {
    const std::uint32_t temp = (keys_[2] | 2) & 0xFFFF;
    return static_cast<std::uint8_t>((temp * (temp ^ 1)) >> 8);
}

}  // namespace tomely
