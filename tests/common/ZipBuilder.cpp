#include "common/ZipBuilder.h"

#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include "common/TemporaryDirectory.h"

namespace tomely::test {
namespace {

constexpr uLong kVersionMadeByUnix = 3 << 8;
constexpr uLong kEncryptedFlag = 0x1;
constexpr uLong kUTF8NameFlag = 0x800;

}  // namespace

ZipBuilder::ZipBuilder(const std::string& path) : zip_(zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {
    if (zip_ == nullptr) {
        ADD_FAILURE() << "zipOpen64 failed for " << path;
    }
}

ZipBuilder::~ZipBuilder() {
    if (zip_ != nullptr) {
        EXPECT_EQ(zipClose(zip_, nullptr), ZIP_OK);
    }
}

ZipBuilder& ZipBuilder::add(std::string_view name, std::string_view data, const Options& options) {
    if (zip_ == nullptr) {
        return *this;
    }
    zip_fileinfo info{};
    info.tmz_date.tm_year = 1980;
    info.tmz_date.tm_mday = 1;
    info.dosDate = options.dosDate;
    info.external_fa = options.externalAttributes;
    const std::string nameText(name);
    const int method = options.method == Method::Stored ? 0 : Z_DEFLATED;
    const int level = options.method == Method::Stored ? 0 : Z_DEFAULT_COMPRESSION;
    const bool encrypted = options.encrypted;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    // minizip's writer is built without encryption here, so encrypted entries go in raw: a 12-byte
    // cipher header and the data, flagged as encrypted, closed with their real size and CRC.
    const std::string payload = encrypted ? std::string(12, '\x5a') + std::string(data) : std::string();
    int status = zipOpenNewFileInZip4_64(
        zip_, nameText.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, level, encrypted ? 1 : 0, -MAX_WBITS,
        DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeByUnix,
        (encrypted ? kEncryptedFlag : 0) | (options.flagNameAsUTF8 ? kUTF8NameFlag : 0), 0);
    const std::string_view written = encrypted ? std::string_view(payload) : data;
    if (status == ZIP_OK && !written.empty()) {
        status = zipWriteInFileInZip(zip_, written.data(), static_cast<unsigned>(written.size()));
    }
    if (status == ZIP_OK) {
        status = encrypted ? zipCloseFileInZipRaw64(zip_, data.size(), crc) : zipCloseFileInZip(zip_);
    }
    EXPECT_EQ(status, ZIP_OK) << "adding " << nameText;
    return *this;
}

ZipBuilder& ZipBuilder::addDirectory(std::string_view name, std::uint32_t dosDate) {
    Options options;
    options.method = Method::Stored;
    options.dosDate = dosDate;
    options.externalAttributes = 0x10;  // the DOS directory attribute
    return add(name, "", options);
}

ZipBuilder& ZipBuilder::addLink(std::string_view name, std::string_view target, std::uint32_t dosDate) {
    Options options;
    options.method = Method::Stored;
    options.dosDate = dosDate;
    options.externalAttributes = 0x4000;
    return add(name, target, options);
}

std::uint32_t ZipBuilder::dosDate(int year, int month, int day, int hour, int minute, int second) {
    const auto field = [](int value, int shift) { return static_cast<std::uint32_t>(value) << shift; };
    return field(year - 1980, 25) | field(month, 21) | field(day, 16) | field(hour, 11) | field(minute, 5) |
           field(second / 2, 0);
}

std::size_t replaceInFile(const std::string& path, std::string_view from, std::string_view to, std::size_t occurrence) {
    EXPECT_EQ(from.size(), to.size());
    std::string contents = readFile(path);
    std::size_t count = 0;
    std::size_t seen = 0;
    for (std::size_t at = contents.find(from); at != std::string::npos; at = contents.find(from, at + from.size())) {
        if (occurrence == kEveryOccurrence || occurrence == seen) {
            contents.replace(at, from.size(), to);
            ++count;
        }
        ++seen;
    }
    writeFile(path, contents);
    return count;
}

}  // namespace tomely::test
