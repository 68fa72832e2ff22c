#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tomely::test {

// Writes a zip archive as tools write one with zip64 forced (Python's zipfile, for one): every
// entry's 32-bit size fields say 0xFFFFFFFF and a zip64 extra field holds the sizes, in the local
// header and in the central directory, which ends with the zip64 records. Entry data is made as it
// is written, block by block, so entries of many gigabytes cost no memory; a sparse entry is a
// hole of zero bytes that costs no disk either. Offsets must stay below 4 GiB. The archive is
// complete once the writer is gone. Not thread-safe.
class Zip64Writer {
public:
    // Fills `block` with the entry's bytes from `offset` on.
    using Generator = std::function<void(std::uint64_t offset, std::span<std::uint8_t> block)>;
    enum class Method { Stored, Deflated, SparseZeros };

    explicit Zip64Writer(const std::string& path);
    ~Zip64Writer();
    Zip64Writer(const Zip64Writer&) = delete;
    Zip64Writer& operator=(const Zip64Writer&) = delete;

    // Adds `size` bytes under `name`; answers their CRC-32. SparseZeros ignores `generate`.
    std::uint32_t add(std::string_view name, std::uint64_t size, Method method, const Generator& generate = {});

    // Text that deflates about 20 times: 64-byte lines, each starting with its number in hex.
    static void numberedLines(std::uint64_t offset, std::span<std::uint8_t> block);

private:
    struct Entry {
        std::string name;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t uncompressedSize = 0;
        std::uint64_t offset = 0;
        std::uint16_t method = 0;
    };

    void writeCentralDirectory();

    std::FILE* file_ = nullptr;
    std::vector<Entry> entries_;
};

// The CRC-32 and size of a file's contents, read in blocks.
struct FileDigest {
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool operator==(const FileDigest&) const = default;
};
[[nodiscard]] FileDigest digestOfFile(const std::string& path);

}  // namespace tomely::test
