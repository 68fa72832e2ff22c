#include "support/ZipCentralEntry.h"

namespace tomely {
namespace {

constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint64_t kInZip64Field = 0xFFFFFFFF;

std::uint64_t littleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8U) | bytes[i - 1];
    }
    return value;
}

// The data of the zip64 extra block, or nothing when there is none.
std::span<const std::uint8_t> zip64Block(std::span<const std::uint8_t> extraField) {
    while (extraField.size() >= 4) {
        const auto id = static_cast<std::uint16_t>(littleEndian(extraField.first(2)));
        const std::size_t size = littleEndian(extraField.subspan(2, 2));
        extraField = extraField.subspan(4);
        if (size > extraField.size()) {
            break;
        }
        if (id == kZip64ExtraId) {
            return extraField.first(size);
        }
        extraField = extraField.subspan(size);
    }
    return {};
}

}  // namespace

ZipEntryExtent zipEntryExtent(const unz_file_info64& info, std::span<const std::uint8_t> extraField) {
    ZipEntryExtent extent{info.compressed_size, info.uncompressed_size};
    std::span<const std::uint8_t> values = zip64Block(extraField);
    for (std::uint64_t* size : {&extent.uncompressedSize, &extent.compressedSize}) {
        if (*size == kInZip64Field && values.size() >= 8) {
            *size = littleEndian(values.first(8));
            values = values.subspan(8);
        }
    }
    return extent;
}

}  // namespace tomely

namespace tomely {

bool describeCurrentEntry(unzFile zip, ZipCentralEntry& entry) {
    unz_file_info64& info = entry.info;
    if (unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return false;
    }
    // Both lengths are 16-bit fields, so these buffers stay small whatever the archive claims.
    entry.rawName.assign(info.size_filename + 1, '\0');
    std::string extra(info.size_file_extra, '\0');
    if (unzGetCurrentFileInfo64(zip, &info, entry.rawName.data(), entry.rawName.size(), extra.data(), extra.size(),
                                nullptr, 0) != UNZ_OK) {
        return false;
    }
    entry.rawName.resize(info.size_filename);
    entry.extent = zipEntryExtent(info, std::span(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size()));
    return true;
}

}  // namespace tomely
