#include "support/ZipEntryReader.h"

#include <algorithm>
#include <limits>

namespace tomely {
namespace {

constexpr unsigned long kEncryptedFlag = 0x1;
constexpr unsigned long kDataDescriptorFlag = 0x8;

}  // namespace

ZipEntryReader::Opened ZipEntryReader::open(const unz_file_info64& info, std::string_view password) {
    close();
    expectedSize_ = info.uncompressed_size;
    expectedCRC_ = info.crc;
    if ((info.flag & kEncryptedFlag) != 0) {
        return openEncrypted(info, password);
    }
    // Plain entries never get the password: applied to them it would garble their data.
    if (unzOpenCurrentFile(zip_) != UNZ_OK) {
        return Opened::No;
    }
    open_ = true;
    return Opened::Yes;
}

ZipEntryReader::Opened ZipEntryReader::openEncrypted(const unz_file_info64& info, std::string_view password) {
    if (password.empty()) {
        return Opened::NeedsPassword;
    }
    int method = 0;
    if (unzOpenCurrentFile2(zip_, &method, nullptr, 1) != UNZ_OK) {
        return Opened::No;
    }
    open_ = true;
    if (method != 0 && method != Z_DEFLATED) {
        close();
        return Opened::No;
    }
    cipher_.emplace(password);
    std::array<char, ZipCipher::kHeaderSize> header{};
    if (unzReadCurrentFile(zip_, header.data(), header.size()) != static_cast<int>(header.size())) {
        close();
        return Opened::No;
    }
    std::uint8_t check = 0;
    for (const char byte : header) {
        check = cipher_->decrypt(static_cast<std::uint8_t>(byte));
    }
    // The header's last byte repeats the CRC's high byte, or the time's when the sizes and CRC
    // follow the data.
    const auto expected =
        static_cast<std::uint8_t>((info.flag & kDataDescriptorFlag) != 0 ? (info.dosDate >> 8) : (info.crc >> 24));
    if (check != expected) {
        close();
        return Opened::WrongPassword;
    }
    remainingOutput_ = info.uncompressed_size;
    if (method == Z_DEFLATED) {
        stream_ = z_stream{};
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
            close();
            return Opened::No;
        }
        inflating_ = true;
    }
    return Opened::Yes;
}

std::optional<std::size_t> ZipEntryReader::read(std::span<std::uint8_t> buffer) {
    if (!open_) {
        return std::nullopt;
    }
    // minizip reads at most an unsigned's worth at once.
    buffer = buffer.first(std::min<std::size_t>(buffer.size(), std::numeric_limits<unsigned>::max()));
    if (!cipher_) {
        const int read = unzReadCurrentFile(zip_, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (read < 0) {
            return std::nullopt;
        }
        bytesRead_ += static_cast<std::size_t>(read);
        return static_cast<std::size_t>(read);
    }
    buffer = buffer.first(static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), remainingOutput_)));
    if (buffer.empty()) {
        return 0;
    }
    const std::optional<std::size_t> read = inflating_ ? readInflated(buffer) : readDecrypted(buffer);
    if (read) {
        remainingOutput_ -= *read;
        bytesRead_ += *read;
        crc_ = crc32(crc_, buffer.data(), static_cast<uInt>(*read));
    }
    return read;
}

bool ZipEntryReader::finish() {
    if (!open_) {
        return false;
    }
    const bool intact = bytesRead_ == expectedSize_ && (!cipher_ || crc_ == expectedCRC_);
    // minizip answers UNZ_CRCERROR here when a plain entry's data does not match its CRC-32.
    const bool closed = unzCloseCurrentFile(zip_) == UNZ_OK;
    open_ = false;
    close();
    return intact && closed;
}

std::optional<std::size_t> ZipEntryReader::readDecrypted(std::span<std::uint8_t> buffer) {
    const int read = unzReadCurrentFile(zip_, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (read < 0) {
        return std::nullopt;
    }
    for (std::uint8_t& byte : buffer.first(static_cast<std::size_t>(read))) {
        byte = cipher_->decrypt(byte);
    }
    return static_cast<std::size_t>(read);
}

std::optional<std::size_t> ZipEntryReader::readInflated(std::span<std::uint8_t> buffer) {
    const auto size = static_cast<uInt>(buffer.size());
    stream_.next_out = buffer.data();
    stream_.avail_out = size;
    while (stream_.avail_out == size && !streamEnded_) {
        if (stream_.avail_in == 0 && !inputEnded_) {
            const std::optional<std::size_t> read = readDecrypted(input_);
            if (!read) {
                return std::nullopt;
            }
            inputEnded_ = *read == 0;
            stream_.next_in = input_.data();
            stream_.avail_in = static_cast<uInt>(*read);
        }
        const int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && stream_.avail_in == 0 && !inputEnded_)) {
            return std::nullopt;
        }
    }
    return static_cast<std::size_t>(size - stream_.avail_out);
}

void ZipEntryReader::close() {
    if (inflating_) {
        inflateEnd(&stream_);
        inflating_ = false;
    }
    if (open_) {
        unzCloseCurrentFile(zip_);
        open_ = false;
    }
    cipher_.reset();
    inputEnded_ = false;
    streamEnded_ = false;
    remainingOutput_ = 0;
    bytesRead_ = 0;
    crc_ = crc32(0, nullptr, 0);
}

}  // namespace tomely
