#pragma once

#include <unzip.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/FileIO.h"
#include "support/ZipCentralEntry.h"
#include "support/ZipCipher.h"

namespace tomely {

// Reads the data of an open archive's current entry. minizip finds the entry and where its data
// begins; the data itself is read here, from a descriptor of its own on the archive, within the
// entry's real extent (ZipEntryExtent), then decrypted (the traditional PKWARE cipher) and
// inflated as the entry needs. So entries of any size zip64 allows come out whole, and the CRC-32
// is checked here for every entry. Used on one thread, one entry at a time; the archive handle
// stays the caller's.
class ZipEntryReader {
public:
    ZipEntryReader(unzFile zip, const std::string& archivePath);
    ~ZipEntryReader() { close(); }
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    enum class Opened { Yes, No, NeedsPassword, WrongPassword };

    // Opens the current entry, described by `info` and `extent`. No: its method is neither stored
    // nor deflated, or its local header is damaged; NeedsPassword: it is encrypted and `password`
    // is empty; WrongPassword: the password does not fit the entry's check byte.
    [[nodiscard]] Opened open(const unz_file_info64& info, const ZipEntryExtent& extent, std::string_view password);

    enum class Failure {
        None,
        Unreadable,          // the data cannot be read or inflated
        LargerThanDeclared,  // it comes out larger than the size the archive declares
    };
    // Reads the next bytes of the entry's data into `buffer`: their number, 0 at the end of the
    // data, or nothing when failure() says why it cannot go on. Never gives more bytes in all than
    // the entry declares.
    [[nodiscard]] std::optional<std::size_t> read(std::span<std::uint8_t> buffer);
    [[nodiscard]] Failure failure() const { return failure_; }
    // Closes the entry once its data has been read to the end: true when that data has the size
    // and CRC-32 the archive declares for it. A deflate stream that stops early, and a wrong
    // password that passed the one-byte check, both show here.
    [[nodiscard]] bool finish();
    // Closes the entry, if open, whether or not its data was read.
    void close();

private:
    // Up to `buffer.size()` bytes of the entry's stored data, decrypted; 0 when it is used up.
    [[nodiscard]] std::optional<std::size_t> readStored(std::span<std::uint8_t> buffer);
    [[nodiscard]] std::optional<std::size_t> readInflated(std::span<std::uint8_t> buffer);
    [[nodiscard]] bool checkPassword(const unz_file_info64& info, std::string_view password);

    unzFile zip_;
    InputFile archive_;
    bool open_ = false;
    std::optional<ZipCipher> cipher_;  // set for an encrypted entry
    bool inflating_ = false;
    bool streamEnded_ = false;
    std::uint64_t remainingInput_ = 0;
    std::uint64_t expectedSize_ = 0;
    std::uint64_t bytesRead_ = 0;
    unsigned long expectedCRC_ = 0;
    uLong crc_ = 0;
    Failure failure_ = Failure::None;
    z_stream stream_{};
    std::array<Bytef, 16384> input_{};
};

}  // namespace tomely
