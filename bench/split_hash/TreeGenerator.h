#pragma once

#include <cstdint>
#include <filesystem>

namespace tomely::bench {

struct TreeSummary {
    std::uint64_t files = 0;
    std::uint64_t textBytes = 0;
    std::uint64_t mediaBytes = 0;
};

// Writes a book-like tree of about `totalBytes` below `root`: markup and text files (compressible,
// about 40 % of the bytes) and media files (incompressible noise), in a few folders, sizes from a
// few bytes to several part files. The same size always gives the same tree. Writes through one
// small buffer, so it needs little memory whatever the size.
TreeSummary generateTree(const std::filesystem::path& root, std::uint64_t totalBytes);

// One file of `length` bytes from `seed`: word-like text that compresses as markup does, or noise
// that does not compress at all, like pictures and movies.
void writeTextFile(const std::filesystem::path& path, std::uint64_t length, std::uint64_t seed);
void writeNoiseFile(const std::filesystem::path& path, std::uint64_t length, std::uint64_t seed);

}  // namespace tomely::bench
