#pragma once

#include <unzip.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "support/ZipCipher.h"

namespace tomely {

// Reads the data of an open archive's current entry: plain entries through minizip, and entries
// encrypted with the traditional PKWARE cipher by decrypting minizip's raw bytes and inflating
// them here. Used on one thread, one entry at a time; the archive handle stays the caller's.
class ZipEntryReader {
public:
    explicit ZipEntryReader(unzFile zip) : zip_(zip) {}
    ~ZipEntryReader() { close(); }
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    enum class Opened { Yes, No, NeedsPassword };

    // Opens the current entry. No: minizip refused it (unsupported method, damaged header) or the
    // password does not fit; NeedsPassword: it is encrypted and `password` is empty.
    [[nodiscard]] Opened open(const unz_file_info64& info, std::string_view password);
    // Like unzReadCurrentFile: the number of bytes read, 0 at the end of the data, < 0 on error.
    [[nodiscard]] int read(char* buffer, unsigned size);
    // Closes the entry, if open. minizip's CRC verdict is not looked at.
    void close();

private:
    [[nodiscard]] Opened openEncrypted(const unz_file_info64& info, std::string_view password);
    [[nodiscard]] int readDecrypted(char* buffer, unsigned size);
    [[nodiscard]] int readInflated(char* buffer, unsigned size);

    unzFile zip_;
    bool open_ = false;
    std::optional<ZipCipher> cipher_;  // set for an encrypted entry
    bool inflating_ = false;
    bool inputEnded_ = false;
    bool streamEnded_ = false;
    std::uint64_t remainingOutput_ = 0;  // the declared size caps the output, as minizip does
    z_stream stream_{};
    std::array<Bytef, 16384> input_{};
};

}  // namespace tomely
