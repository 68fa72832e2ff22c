#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace tomely {

// Every function here that can fail reports a POSIX error (kPOSIXErrorDomain) whose description
// is the system's text alone; callers add what they were doing.

// Owns an open file descriptor and closes it with the object. Not shared between threads.
class FileDescriptor {
public:
    FileDescriptor() = default;
    // Takes over `fd`; -1 gives an empty object.
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    // The descriptor, or -1 when empty.
    [[nodiscard]] int get() const { return fd_; }
    // Closes the descriptor now, which leaves the object empty. A failure can mean that written
    // data was lost. Closing an empty object fails with EBADF.
    [[nodiscard]] bool close(Error* error = nullptr);

private:
    int fd_ = -1;
};

// Writes all of `bytes` to `fd`, carrying on after short writes and interrupted calls.
[[nodiscard]] bool writeAll(int fd, std::span<const std::uint8_t> bytes, Error* error = nullptr);

// Reads from `fd` until `buffer` is full or the file ends, carrying on after short reads and
// interrupted calls. Returns the number of bytes read: less than the buffer holds only at the end.
[[nodiscard]] std::optional<std::size_t> readFully(int fd, std::span<std::uint8_t> buffer, Error* error = nullptr);

// Opens `path` for writing: created (mode 0666 less the umask) or truncated. Empty on failure.
[[nodiscard]] FileDescriptor createFileForWriting(const std::string& path, Error* error = nullptr);

// A file opened for reading, closed with the object. Not shared between threads.
class InputFile {
public:
    // On failure isOpen() is false and `error` says why.
    explicit InputFile(const std::string& path, Error* error = nullptr);

    [[nodiscard]] bool isOpen() const { return fd_.isOpen(); }
    // The size the file has now, or 0 when it cannot be told.
    [[nodiscard]] std::uint64_t currentSize() const;
    // Fills `buffer` from the current position, stopping early only at the end of the file.
    // Returns the number of bytes read (0 at the end), or nothing on a read error.
    [[nodiscard]] std::optional<std::size_t> read(std::span<std::uint8_t> buffer, Error* error = nullptr);
    // Moves the position to `offset` bytes from the start.
    [[nodiscard]] bool seek(std::uint64_t offset, Error* error = nullptr);

private:
    FileDescriptor fd_;
};

// The whole contents of the file at `path`, or nothing when it cannot be opened or read.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, Error* error = nullptr);

// Writes `contents` to a temporary file beside `path` and renames it into place, replacing any
// file of that name, so that `path` never holds a partial write. Returns false, leaving no
// temporary file behind, when any step fails.
[[nodiscard]] bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> contents,
                                       Error* error = nullptr);

}  // namespace tomely
