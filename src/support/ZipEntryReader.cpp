#include "support/ZipEntryReader.h"

#include <algorithm>

namespace tomely {
namespace {

constexpr unsigned long kEncryptedFlag = 0x1;
constexpr unsigned long kDataDescriptorFlag = 0x8;

}  // namespace

ZipEntryReader::Opened ZipEntryReader::open(const unz_file_info64& info, std::string_view password) {
    close();
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
        return Opened::No;
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

int ZipEntryReader::read(char* buffer, unsigned size) {
    if (!open_) {
        return UNZ_PARAMERROR;
    }
    if (!cipher_) {
        return unzReadCurrentFile(zip_, buffer, size);
    }
    size = static_cast<unsigned>(std::min<std::uint64_t>(size, remainingOutput_));
    if (size == 0) {
        return 0;
    }
    const int read = inflating_ ? readInflated(buffer, size) : readDecrypted(buffer, size);
    if (read > 0) {
        remainingOutput_ -= static_cast<std::uint64_t>(read);
    }
    return read;
}

int ZipEntryReader::readDecrypted(char* buffer, unsigned size) {
    const int read = unzReadCurrentFile(zip_, buffer, size);
    for (int i = 0; i < read; ++i) {
        buffer[i] = static_cast<char>(cipher_->decrypt(static_cast<std::uint8_t>(buffer[i])));
    }
    return read;
}

int ZipEntryReader::readInflated(char* buffer, unsigned size) {
    stream_.next_out = reinterpret_cast<Bytef*>(buffer);
    stream_.avail_out = size;
    while (stream_.avail_out == size && !streamEnded_) {
        if (stream_.avail_in == 0 && !inputEnded_) {
            const int read = readDecrypted(reinterpret_cast<char*>(input_.data()), input_.size());
            if (read < 0) {
                return read;
            }
            inputEnded_ = read == 0;
            stream_.next_in = input_.data();
            stream_.avail_in = static_cast<uInt>(read);
        }
        const int status = inflate(&stream_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK && !(status == Z_BUF_ERROR && stream_.avail_in == 0 && !inputEnded_)) {
            return status == Z_BUF_ERROR ? Z_DATA_ERROR : status;
        }
    }
    return static_cast<int>(size - stream_.avail_out);
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
}

}  // namespace tomely
