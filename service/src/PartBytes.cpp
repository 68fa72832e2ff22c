#include "PartBytes.h"

#include <openssl/sha.h>
#include <zlib.h>

#include <array>
#include <charconv>

namespace tomely::shelf {

namespace {

constexpr std::size_t kSha1HexLength = 40;

bool isLowerHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool isDecimal(std::string_view text) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text.front() == '0')) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string sha1Hex(std::string_view bytes) {
    std::array<unsigned char, SHA_DIGEST_LENGTH> digest{};
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest.data());
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(kSha1HexLength);
    for (const unsigned char byte : digest) {
        hex.push_back(kDigits[byte >> 4U]);
        hex.push_back(kDigits[byte & 0x0fU]);
    }
    return hex;
}

std::string fingerprintOf(std::string_view deflated) {
    return sha1Hex(deflated) + "_" + std::to_string(deflated.size());
}

bool isFingerprint(std::string_view text) {
    if (text.size() < kSha1HexLength + 2 || text[kSha1HexLength] != '_') {
        return false;
    }
    for (std::size_t i = 0; i < kSha1HexLength; ++i) {
        if (!isLowerHex(text[i])) {
            return false;
        }
    }
    return isDecimal(text.substr(kSha1HexLength + 1));
}

std::uint64_t fingerprintLength(std::string_view fingerprint) {
    std::uint64_t length = 0;
    const auto digits = fingerprint.substr(kSha1HexLength + 1);
    std::from_chars(digits.data(), digits.data() + digits.size(), length);
    return length;
}

std::uint32_t crc32Of(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size() - offset, 1U << 30U));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data() + offset), chunk);
        offset += chunk;
    }
    return static_cast<std::uint32_t>(crc);
}

std::optional<Inflated> inflateRaw(std::string_view deflated, std::size_t limit) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    Inflated out;
    std::array<char, 64 * 1024> buffer{};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    stream.avail_in = static_cast<uInt>(deflated.size());
    bool ok = true;
    bool finalBlock = false;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        const int result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = buffer.size() - stream.avail_out;
        if (out.bytes.size() + produced > limit) {
            ok = false;
            break;
        }
        out.bytes.append(buffer.data(), produced);
        if (result == Z_STREAM_END) {
            finalBlock = true;
            ok = stream.avail_in == 0;
            break;
        }
        if (result == Z_BUF_ERROR || (result == Z_OK && stream.avail_in == 0 && produced < buffer.size())) {
            // All input consumed without a final block: the end of the part ends the data.
            ok = stream.avail_in == 0;
            break;
        }
        if (result != Z_OK) {
            ok = false;
            break;
        }
    }
    if (ok && !finalBlock) {
        // Chaining is safe only if the data stops on a block boundary: then an empty final
        // block appended to it ends the stream at once, adding nothing.
        static constexpr std::string_view kSyncMarker("\x00\x00\xff\xff", 4);
        unsigned char terminator[] = {0x03, 0x00};
        stream.next_in = terminator;
        stream.avail_in = sizeof terminator;
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        const bool ends =
            inflate(&stream, Z_NO_FLUSH) == Z_STREAM_END && stream.avail_in == 0 && stream.avail_out == buffer.size();
        out.openEnded = deflated.empty() || (deflated.ends_with(kSyncMarker) && ends);
    }
    inflateEnd(&stream);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

}  // namespace tomely::shelf
