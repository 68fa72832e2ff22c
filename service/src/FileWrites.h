#pragma once

#include <filesystem>
#include <string_view>

// Durable file replacement: the data is written to a temporary name beside the target, flushed
// to disk, and renamed over the target, so a killed process leaves either the old file or the
// new one, never a torn one. Throws std::runtime_error on any I/O failure.
namespace tomely::shelf {

// A fresh temporary name beside `target` ("<target>.tmp-<random>"); leftovers from a killed
// process are recognised by isTemporaryName and removed at start-up.
[[nodiscard]] std::filesystem::path temporaryNameFor(const std::filesystem::path& target);
[[nodiscard]] bool isTemporaryName(const std::filesystem::path& path);

void writeFileDurably(const std::filesystem::path& target, std::string_view bytes);

// Flushes an already written temporary file and renames it over `target`.
void commitFileDurably(const std::filesystem::path& temporary, const std::filesystem::path& target);

}  // namespace tomely::shelf
