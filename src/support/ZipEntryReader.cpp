#include "support/ZipEntryReader.h"

#include <algorithm>
#include <limits>

namespace tomely {
namespace {

constexpr unsigned long kEncryptedFlag = 0x1;
constexpr unsigned long kDataDescriptorFlag = 0x8;
constexpr int kStored = 0;

}  // namespace

ZipEntryReader::ZipEntryReader(unzFile zip, const std::string& archivePath) : zip_(zip), archive_(archivePath) {}

ZipEntryReader::Opened ZipEntryReader::open(const unz_file_info64& info, const ZipEntryExtent& extent,
                                            std::string_view password) {
    close();
    const bool encrypted = (info.flag & kEncryptedFlag) != 0;
    if (info.compression_method != kStored && info.compression_method != Z_DEFLATED) {
        return Opened::No;
    }
    // Opened without one, the encrypted bytes would come out as the entry's data; plain entries
    // never get the password, which would garble them.
    if (encrypted && password.empty()) {
        return Opened::NeedsPassword;
    }
    // Raw: minizip checks the local header and tells where the data starts, and reads none of it.
    int method = 0;
    if (unzOpenCurrentFile2(zip_, &method, nullptr, 1) != UNZ_OK) {
        return Opened::No;
    }
    open_ = true;
    const ZPOS64_T dataStart = unzGetCurrentFileZStreamPos64(zip_);
    if (!archive_.isOpen() || !archive_.seek(dataStart)) {
        close();
        return Opened::No;
    }
    expectedSize_ = extent.uncompressedSize;
    expectedCRC_ = info.crc;
    remainingInput_ = extent.compressedSize;
    if (encrypted && !checkPassword(info, password)) {
        const bool readable = failure_ == Failure::None;
        close();
        return readable ? Opened::WrongPassword : Opened::No;
    }
    if (info.compression_method == Z_DEFLATED) {
        stream_ = z_stream{};
        if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) {
            close();
            return Opened::No;
        }
        inflating_ = true;
    }
    return Opened::Yes;
}

bool ZipEntryReader::checkPassword(const unz_file_info64& info, std::string_view password) {
    cipher_.emplace(password);
    std::array<std::uint8_t, ZipCipher::kHeaderSize> header{};
    const std::optional<std::size_t> read = readStored(header);
    if (!read || *read != header.size()) {
        failure_ = Failure::Unreadable;
        return false;
    }
    // The header's last byte, decrypted, repeats the CRC's high byte, or the time's when the sizes
    // and CRC follow the data.
    const auto expected =
        static_cast<std::uint8_t>((info.flag & kDataDescriptorFlag) != 0 ? (info.dosDate >> 8) : (info.crc >> 24));
    return header.back() == expected;
}

std::optional<std::size_t> ZipEntryReader::read(std::span<std::uint8_t> buffer) {
    if (!open_ || failure_ != Failure::None) {
        return std::nullopt;
    }
    buffer = buffer.first(std::min<std::size_t>(buffer.size(), std::numeric_limits<uInt>::max()));
    const std::optional<std::size_t> read = inflating_ ? readInflated(buffer) : readStored(buffer);
    if (!read) {
        failure_ = Failure::Unreadable;
        return std::nullopt;
    }
    // A header that understates the size is not believed: the data stops being given out here.
    if (*read > expectedSize_ - bytesRead_) {
        failure_ = Failure::LargerThanDeclared;
        return std::nullopt;
    }
    bytesRead_ += *read;
    crc_ = crc32(crc_, buffer.data(), static_cast<uInt>(*read));
    return read;
}

bool ZipEntryReader::finish() {
    const bool intact = open_ && failure_ == Failure::None && bytesRead_ == expectedSize_ && crc_ == expectedCRC_ &&
                        (!inflating_ || streamEnded_);
    close();
    return intact;
}

std::optional<std::size_t> ZipEntryReader::readStored(std::span<std::uint8_t> buffer) {
    buffer = buffer.first(static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), remainingInput_)));
    const std::optional<std::size_t> read = archive_.read(buffer);
    // The archive ends before the entry's data does.
    if (!read || *read != buffer.size()) {
        return std::nullopt;
    }
    remainingInput_ -= *read;
    if (cipher_) {
        for (std::uint8_t& byte : buffer) {
            byte = cipher_->decrypt(byte);
        }
    }
    return read;
}

std::optional<std::size_t> ZipEntryReader::readInflated(std::span<std::uint8_t> buffer) {
    const auto size = static_cast<uInt>(buffer.size());
    stream_.next_out = buffer.data();
    stream_.avail_out = size;
    while (stream_.avail_out == size && !streamEnded_) {
        if (stream_.avail_in == 0) {
            const std::optional<std::size_t> read = readStored(input_);
            if (!read) {
                return std::nullopt;
            }
            if (*read == 0) {
                // The data ends before its stream does: finish() tells.
                break;
            }
            stream_.next_in = input_.data();
            stream_.avail_in = static_cast<uInt>(*read);
        }
        const int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && stream_.avail_in == 0)) {
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
    streamEnded_ = false;
    remainingInput_ = 0;
    expectedSize_ = 0;
    bytesRead_ = 0;
    failure_ = Failure::None;
    crc_ = crc32(0, nullptr, 0);
}

}  // namespace tomely
