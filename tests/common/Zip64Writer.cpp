#include "common/Zip64Writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace tomely::test {
namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::uint32_t kInZip64 = 0xFFFFFFFF;

class Bytes {
public:
    Bytes& u16(std::uint64_t value) { return put(value, 2); }
    Bytes& u32(std::uint64_t value) { return put(value, 4); }
    Bytes& u64(std::uint64_t value) { return put(value, 8); }
    Bytes& text(std::string_view value) {
        data_.append(value);
        return *this;
    }
    [[nodiscard]] const std::string& data() const { return data_; }

private:
    Bytes& put(std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i) {
            data_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
        return *this;
    }
    std::string data_;
};

void write(std::FILE* file, std::string_view bytes) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
}

// The local header with the sizes known so far; written again once they are all known.
std::string localHeader(std::string_view name, std::uint16_t method, std::uint32_t crc, std::uint64_t compressed,
                        std::uint64_t uncompressed) {
    return Bytes()
        .u32(0x04034b50)
        .u16(45)
        .u16(0)
        .u16(method)
        .u16(0)
        .u16(0x21)
        .u32(crc)
        .u32(kInZip64)
        .u32(kInZip64)
        .u16(name.size())
        .u16(20)
        .text(name)
        .u16(0x0001)
        .u16(16)
        .u64(uncompressed)
        .u64(compressed)
        .data();
}

}  // namespace

Zip64Writer::Zip64Writer(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
    EXPECT_NE(file_, nullptr) << path;
}

Zip64Writer::~Zip64Writer() {
    if (file_ != nullptr) {
        writeCentralDirectory();
        EXPECT_EQ(std::fclose(file_), 0);
    }
}

std::uint32_t Zip64Writer::add(std::string_view name, std::uint64_t size, Method method, const Generator& generate) {
    Entry entry{std::string(name),
                0,
                0,
                size,
                static_cast<std::uint64_t>(::ftello(file_)),
                static_cast<std::uint16_t>(method == Method::Deflated ? Z_DEFLATED : 0)};
    write(file_, localHeader(name, entry.method, 0, 0, 0));
    const auto dataStart = static_cast<std::uint64_t>(::ftello(file_));
    uLong crc = crc32(0, nullptr, 0);
    std::vector<std::uint8_t> block(kBlock);
    z_stream stream{};
    if (method == Method::Deflated) {
        EXPECT_EQ(deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    }
    std::vector<std::uint8_t> out(kBlock + 1024);
    for (std::uint64_t offset = 0; offset < size || method == Method::Deflated;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - offset));
        const std::span<std::uint8_t> data = std::span(block).first(length);
        offset += length;
        if (method == Method::SparseZeros) {
            // Zeros are not read to learn their CRC: it is combined from that of one block.
            static const uLong zerosCRC = crc32(0, std::vector<Bytef>(kBlock).data(), kBlock);
            crc = length == kBlock ? crc32_combine(crc, zerosCRC, static_cast<z_off_t>(kBlock))
                                   : crc32(crc, std::vector<Bytef>(length).data(), static_cast<uInt>(length));
            EXPECT_EQ(::fseeko(file_, static_cast<off_t>(length), SEEK_CUR), 0);
            continue;
        }
        if (length > 0) {
            generate(offset - length, data);
        }
        crc = crc32(crc, data.data(), static_cast<uInt>(length));
        if (method == Method::Stored) {
            write(file_, std::string_view(reinterpret_cast<const char*>(data.data()), length));
            continue;
        }
        const bool last = offset == size;
        stream.next_in = data.data();
        stream.avail_in = static_cast<uInt>(length);
        int status = Z_OK;
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            status = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            write(file_, std::string_view(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out));
        } while (stream.avail_out == 0 || (last && status != Z_STREAM_END));
        if (last) {
            deflateEnd(&stream);
            break;
        }
    }
    if (method == Method::SparseZeros && size > 0) {
        // The hole must reach the end of the data even when nothing follows it yet.
        EXPECT_EQ(::fseeko(file_, -1, SEEK_CUR), 0);
        write(file_, std::string_view("\0", 1));
    }
    const auto dataEnd = static_cast<std::uint64_t>(::ftello(file_));
    entry.compressedSize = dataEnd - dataStart;
    entry.crc = static_cast<std::uint32_t>(crc);
    EXPECT_EQ(::fseeko(file_, static_cast<off_t>(entry.offset), SEEK_SET), 0);
    write(file_, localHeader(name, entry.method, entry.crc, entry.compressedSize, entry.uncompressedSize));
    EXPECT_EQ(::fseeko(file_, static_cast<off_t>(dataEnd), SEEK_SET), 0);
    entries_.push_back(entry);
    return entry.crc;
}

void Zip64Writer::writeCentralDirectory() {
    const auto start = static_cast<std::uint64_t>(::ftello(file_));
    for (const Entry& entry : entries_) {
        EXPECT_LT(entry.offset, kInZip64) << "offsets past 4 GiB are not written";
        write(file_, Bytes()
                         .u32(0x02014b50)
                         .u16(0x0300 | 45)
                         .u16(45)
                         .u16(0)
                         .u16(entry.method)
                         .u16(0)
                         .u16(0x21)
                         .u32(entry.crc)
                         .u32(kInZip64)
                         .u32(kInZip64)
                         .u16(entry.name.size())
                         .u16(20)
                         .u16(0)
                         .u16(0)
                         .u16(0)
                         .u32(0100644U << 16U)
                         .u32(entry.offset)
                         .text(entry.name)
                         .u16(0x0001)
                         .u16(16)
                         .u64(entry.uncompressedSize)
                         .u64(entry.compressedSize)
                         .data());
    }
    const auto end = static_cast<std::uint64_t>(::ftello(file_));
    write(file_, Bytes()
                     .u32(0x06064b50)
                     .u64(44)
                     .u16(45)
                     .u16(45)
                     .u32(0)
                     .u32(0)
                     .u64(entries_.size())
                     .u64(entries_.size())
                     .u64(end - start)
                     .u64(start)
                     .u32(0x07064b50)
                     .u32(0)
                     .u64(end)
                     .u32(1)
                     .u32(0x06054b50)
                     .u16(0)
                     .u16(0)
                     .u16(0xFFFF)
                     .u16(0xFFFF)
                     .u32(kInZip64)
                     .u32(kInZip64)
                     .u16(0)
                     .data());
}

void Zip64Writer::numberedLines(std::uint64_t offset, std::span<std::uint8_t> block) {
    constexpr std::string_view kLine = "0000000000000000 a line of generated text in a very large entry\n";
    static_assert(kLine.size() == 64);
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < block.size(); ++i) {
        const std::uint64_t at = offset + i;
        const std::size_t column = at % kLine.size();
        block[i] = static_cast<std::uint8_t>(column < 16 ? kHex[((at / kLine.size()) >> (4 * (15 - column))) & 0xF]
                                                         : kLine[column]);
    }
}

FileDigest digestOfFile(const std::string& path) {
    FileDigest digest;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return digest;
    }
    std::vector<std::uint8_t> block(kBlock);
    uLong crc = crc32(0, nullptr, 0);
    for (std::size_t got = 0; (got = std::fread(block.data(), 1, block.size(), file)) > 0;) {
        crc = crc32(crc, block.data(), static_cast<uInt>(got));
        digest.size += got;
    }
    std::fclose(file);
    digest.crc = static_cast<std::uint32_t>(crc);
    return digest;
}

}  // namespace tomely::test
