#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The multipart form of one part upload, checked field by field. Pure parsing, any thread.
namespace tomely::shelf {

inline constexpr std::size_t kMaxPartRequestBytes = 4U * 1024U * 1024U;
// The largest part the service inflates; clients cut parts of 1,024,000 bytes.
inline constexpr std::uint64_t kMaxPartSize = 4U * 1024U * 1024U;

// One item of a multipart body: a text field, or a file part when `filename` is set.
struct FormItem {
    std::string name;
    std::string filename;
    std::string content;
};

struct PartUpload {
    std::string name;  // the part's name as in the manifest
    std::uint64_t batchTotal = 0;
    std::uint64_t batchCurrent = 0;
    std::uint64_t size = 0;  // bytes before compression
    std::uint32_t crc = 0;   // CRC-32 before compression
    std::optional<std::string> bookId;
    std::optional<std::string> bookName;
    std::string deflated;  // the "file" part: the raw-deflate bytes as sent
};

struct PartUploadParse {
    std::optional<PartUpload> upload;
    std::string reason;  // why the form was refused, when it was
};

// Needs each of "name", "isZipped" ("1"), "isBatch", "batchTotal", "batchCurrent", "size", "crc"
// (unsigned decimals, batchCurrent <= batchTotal, size <= kMaxPartSize, crc < 2^32), "format"
// ("iba") and the part "file" exactly once; "bookId" and "bookName" at most once. Moves the
// file content out of `items`.
[[nodiscard]] PartUploadParse parsePartUpload(std::vector<FormItem>& items);

}  // namespace tomely::shelf
