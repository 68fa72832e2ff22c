#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The manifest a client posts before uploading parts: which part files make up the book, by
// name and fingerprint, and which book on the shelf they are for. Pure parsing, any thread.
namespace tomely::shelf {

inline constexpr std::size_t kMaxManifestBytes = 64U * 1024U * 1024U;

struct ManifestEntry {
    std::string name;            // "/images/a.png.part00002"
    std::string fingerprint;     // "<sha1 hex>_<deflated length>"
    std::uint64_t index = 0;     // 2
    std::size_t fileLength = 0;  // of the name's file part, so that the file is not a copy of its own

    [[nodiscard]] std::string_view file() const {
        return std::string_view(name).substr(0, fileLength);
    }  // "/images/a.png"
};

// Exactly one of the two is set: a new book with this title, or a new version of this book.
struct BookTarget {
    std::optional<std::int64_t> bookId;
    std::optional<std::string> bookName;
};

struct Manifest {
    std::string bookGuid;
    BookTarget target;
    // Sorted by file, then index; each file's indices run 0, 1, 2, ... without gaps.
    std::vector<ManifestEntry> entries;
};

struct ManifestParse {
    std::optional<Manifest> manifest;
    std::string reason;  // why the manifest was refused, when it was
    int status = 400;    // of the refusal: 413 when it lists more parts than allowed
};

// Parses the JSON body posted for the book `pathGuid`. Refuses (with a reason) anything that is
// not an object with "hashes" (a non-empty object of part names to fingerprints), "bookGUID"
// equal to `pathGuid`, "format" "iba", and exactly one of "bookName" (a non-blank string of at
// most 256 bytes) and "bookId" (a positive integer, or a string of its digits). Stops reading at
// the part beyond `maxEntries`, and keeps in memory about three times the size of the entries'
// text.
[[nodiscard]] ManifestParse parseManifest(std::string_view body, std::string_view pathGuid, std::size_t maxEntries);

}  // namespace tomely::shelf
