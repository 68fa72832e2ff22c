#pragma once

#include <unzip.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
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

    enum class Opened { Yes, No, NeedsPassword, WrongPassword };

    // Opens the current entry. No: minizip refused it (unsupported method, damaged header);
    // NeedsPassword: it is encrypted and `password` is empty; WrongPassword: the password does not
    // fit the entry's check byte.
    [[nodiscard]] Opened open(const unz_file_info64& info, std::string_view password);
    // Reads the next bytes of the entry's data into `buffer`: their number, 0 at the end of the
    // data, or nothing when the data cannot be read.
    [[nodiscard]] std::optional<std::size_t> read(std::span<std::uint8_t> buffer);
    // Closes the entry once its data has been read to the end: true when that data has the size
    // and CRC-32 the archive declares for it. A decompressor that stops early, and a wrong password
    // that passed the one-byte check, both show here.
    [[nodiscard]] bool finish();
    // Closes the entry, if open, whether or not its data was read.
    void close();

private:
    [[nodiscard]] Opened openEncrypted(const unz_file_info64& info, std::string_view password);
    [[nodiscard]] std::optional<std::size_t> readDecrypted(std::span<std::uint8_t> buffer);
    [[nodiscard]] std::optional<std::size_t> readInflated(std::span<std::uint8_t> buffer);

    unzFile zip_;
    bool open_ = false;
    std::optional<ZipCipher> cipher_;  // set for an encrypted entry
    bool inflating_ = false;
    bool inputEnded_ = false;
    bool streamEnded_ = false;
    std::uint64_t remainingOutput_ = 0;  // the declared size caps the output, as minizip does
    std::uint64_t expectedSize_ = 0;
    std::uint64_t bytesRead_ = 0;
    // minizip checks the CRC-32 of plain entries when they close; encrypted ones are checked here.
    unsigned long expectedCRC_ = 0;
    uLong crc_ = 0;
    z_stream stream_{};
    std::array<Bytef, 16384> input_{};
};

}  // namespace tomely
