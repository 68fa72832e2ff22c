#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tomely {
namespace {

bool writeAll(int fd, std::span<const std::uint8_t> contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents = contents.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

InputFile::InputFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

InputFile::~InputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::uint64_t InputFile::currentSize() const {
    struct stat status {};
    if (fd_ < 0 || ::fstat(fd_, &status) != 0 || status.st_size < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::size_t> InputFile::read(std::span<std::uint8_t> buffer) {
    if (fd_ < 0) {
        return std::nullopt;
    }
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(fd_, buffer.data() + filled, buffer.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path) {
    InputFile file(path);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    // One read past the size seen now notices a file that grew meanwhile.
    std::vector<std::uint8_t> contents(static_cast<std::size_t>(file.currentSize()) + 1);
    std::size_t length = 0;
    for (;;) {
        const std::optional<std::size_t> got = file.read(std::span(contents).subspan(length));
        if (!got) {
            return std::nullopt;
        }
        length += *got;
        if (length < contents.size()) {
            break;
        }
        contents.resize(contents.size() * 2);
    }
    contents.resize(length);
    return contents;
}

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> contents) {
    std::string temporaryPath = path + ".XXXXXX";
    const int fd = ::mkostemp(temporaryPath.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, contents);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        ::unlink(temporaryPath.c_str());
        return false;
    }
    return true;
}

}  // namespace tomely
