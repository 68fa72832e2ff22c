#include "upload/SHA1Digest.h"

#include <openssl/evp.h>

namespace tomely {

SHA1Digest sha1Digest(std::span<const std::uint8_t> bytes) {
    SHA1Digest digest{};
    // With the default provider SHA-1 is always there; the digest stays zero only if it were not.
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha1(), nullptr);
    return digest;
}

}  // namespace tomely
