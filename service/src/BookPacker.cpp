#include "BookPacker.h"

#include <minizip/zip.h>

#include <zlib.h>
#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <string>

#include "FileWrites.h"
#include "PartBytes.h"

namespace tomely::shelf {

namespace {

// An empty final block with fixed codes: BFINAL=1, BTYPE=01, end-of-block code 0000000.
constexpr char kFinalEmptyBlock[] = {'\x03', '\x00'};
// General purpose bit 11: the entry's name is UTF-8.
constexpr uLong kUtf8NameFlag = 1U << 11U;
// What zipOpenNewFileInZip2_64 writes: made by MS-DOS, version 0.
constexpr uLong kVersionMadeBy = 0;

class ZipWriter {
public:
    explicit ZipWriter(const std::filesystem::path& path)
        : path_(path), zip_(zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {
        if (zip_ == nullptr) {
            throw std::runtime_error("cannot create " + path.string());
        }
    }
    ~ZipWriter() {
        if (zip_ != nullptr) {
            zipClose(zip_, nullptr);
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
        }
    }
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void open(const std::string& name, bool raw, std::uint64_t size) {
        zip_fileinfo info{};
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        info.tmz_date = {static_cast<uInt>(utc.tm_sec),  static_cast<uInt>(utc.tm_min),
                         static_cast<uInt>(utc.tm_hour), static_cast<uInt>(utc.tm_mday),
                         static_cast<uInt>(utc.tm_mon),  static_cast<uInt>(utc.tm_year + 1900)};
        const int zip64 = size >= 0xffffffffU ? 1 : 0;
        // Without the flag, readers take a name for code page 437 and show UTF-8 as mojibake.
        const bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; });
        check(zipOpenNewFileInZip4_64(zip_, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                      Z_DEFAULT_COMPRESSION, raw ? 1 : 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                      nullptr, 0, kVersionMadeBy, ascii ? 0 : kUtf8NameFlag, zip64),
              name);
    }
    void write(std::string_view bytes, const std::string& name) {
        check(zipWriteInFileInZip(zip_, bytes.data(), static_cast<unsigned>(bytes.size())), name);
    }
    void closeRaw(std::uint64_t size, std::uint32_t crc, const std::string& name) {
        check(zipCloseFileInZipRaw64(zip_, size, crc), name);
    }
    void close(const std::string& name) { check(zipCloseFileInZip(zip_), name); }
    void finish() {
        const int result = zipClose(zip_, nullptr);
        zip_ = nullptr;
        if (result != ZIP_OK) {
            std::error_code ignored;
            std::filesystem::remove(path_, ignored);
            throw std::runtime_error("cannot finish " + path_.string());
        }
    }

private:
    void check(int result, const std::string& name) const {
        if (result != ZIP_OK) {
            throw std::runtime_error("cannot pack \"" + name + "\" into " + path_.string() + " (zip error " +
                                     std::to_string(result) + ")");
        }
    }

    std::filesystem::path path_;
    zipFile zip_;
};

std::string readPart(const PartStore& parts, const ManifestEntry& entry) {
    auto bytes = parts.get(entry.fingerprint);
    if (!bytes) {
        throw DamagedPart(entry.fingerprint,
                          "stored part " + entry.fingerprint + " of \"" + entry.name + "\" is missing or damaged");
    }
    return std::move(*bytes);
}

void packFile(ZipWriter& zip, const PartStore& parts, const FinishPlan& plan, std::size_t begin, std::size_t end) {
    const std::string name(plan.entries[begin].file().substr(1));
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool chained = true;
    for (std::size_t i = begin; i < end; ++i) {
        crc =
            static_cast<std::uint32_t>(crc32_combine(crc, plan.parts[i].crc, static_cast<z_off_t>(plan.parts[i].size)));
        size += plan.parts[i].size;
        chained = chained && plan.parts[i].openEnded;
    }
    zip.open(name, chained, size);
    for (std::size_t i = begin; i < end; ++i) {
        const std::string deflated = readPart(parts, plan.entries[i]);
        if (chained) {
            zip.write(deflated, name);
            continue;
        }
        const auto inflated = inflateRaw(deflated, plan.parts[i].size);
        if (!inflated || inflated->bytes.size() != plan.parts[i].size) {
            throw DamagedPart(plan.entries[i].fingerprint,
                              "stored part of \"" + plan.entries[i].name + "\" no longer inflates to its size");
        }
        zip.write(inflated->bytes, name);
    }
    if (chained) {
        zip.write(std::string_view(kFinalEmptyBlock, sizeof kFinalEmptyBlock), name);
        zip.closeRaw(size, crc, name);
    } else {
        zip.close(name);
    }
}

}  // namespace

std::int64_t packBook(const PartStore& parts, const FinishPlan& plan, const std::filesystem::path& target) {
    const auto temporary = temporaryNameFor(target);
    ZipWriter zip(temporary);
    std::size_t begin = 0;
    while (begin < plan.entries.size()) {
        std::size_t end = begin + 1;
        while (end < plan.entries.size() && plan.entries[end].file() == plan.entries[begin].file()) {
            ++end;
        }
        packFile(zip, parts, plan, begin, end);
        begin = end;
    }
    zip.finish();
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(temporary));
    commitFileDurably(temporary, target);
    return size;
}

}  // namespace tomely::shelf
