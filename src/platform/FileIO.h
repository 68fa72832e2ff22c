#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tomely {

// A file opened for reading, closed with the object. Not shared between threads.
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    // The size the file has now, or 0 when it cannot be told.
    [[nodiscard]] std::uint64_t currentSize() const;
    // Fills `buffer` from the current position, stopping early only at the end of the file.
    // Returns the number of bytes read (0 at the end), or nothing on a read error.
    [[nodiscard]] std::optional<std::size_t> read(std::span<std::uint8_t> buffer);

private:
    int fd_ = -1;
};

// The whole contents of the file at `path`, or nothing when it cannot be opened or read.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path);

// Writes `contents` to a temporary file beside `path` and renames it into place, replacing any
// file of that name, so that `path` never holds a partial write. Returns false, leaving no
// temporary file behind, when any step fails.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> contents);

}  // namespace tomely
