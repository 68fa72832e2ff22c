#include "platform/FileIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/PosixError.h"

namespace tomely {
namespace {

bool failWithErrno(Error* error) {
    report(error, posixError(errno));
    return false;
}

}  // namespace

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool FileDescriptor::close(Error* error) {
    // Linux releases the descriptor even when close fails, so it is never closed twice.
    if (::close(std::exchange(fd_, -1)) != 0) {
        return failWithErrno(error);
    }
    return true;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes, Error* error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failWithErrno(error);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<std::size_t> readFully(int fd, std::span<std::uint8_t> buffer, Error* error) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            failWithErrno(error);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

FileDescriptor createFileForWriting(const std::string& path, Error* error) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.isOpen()) {
        failWithErrno(error);
    }
    return fd;
}

InputFile::InputFile(const std::string& path, Error* error) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (!fd_.isOpen()) {
        failWithErrno(error);
    }
}

std::uint64_t InputFile::currentSize() const {
    struct stat status {};
    if (!fd_.isOpen() || ::fstat(fd_.get(), &status) != 0 || status.st_size < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::size_t> InputFile::read(std::span<std::uint8_t> buffer, Error* error) {
    if (!fd_.isOpen()) {
        report(error, posixError(EBADF));
        return std::nullopt;
    }
    return readFully(fd_.get(), buffer, error);
}

bool InputFile::seek(std::uint64_t offset, Error* error) {
    if (::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
        return failWithErrno(error);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> readWholeFile(const std::string& path, Error* error) {
    InputFile file(path, error);
    if (!file.isOpen()) {
        return std::nullopt;
    }
    // One read past the size seen now notices a file that grew meanwhile.
    std::vector<std::uint8_t> contents(static_cast<std::size_t>(file.currentSize()) + 1);
    std::size_t length = 0;
    for (;;) {
        const std::optional<std::size_t> got = file.read(std::span(contents).subspan(length), error);
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

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> contents, Error* error) {
    std::string temporaryPath = path + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temporaryPath.data(), O_CLOEXEC));
    if (!fd.isOpen()) {
        return failWithErrno(error);
    }
    const bool written = writeAll(fd.get(), contents, error);
    // Only the first failure is reported.
    const bool closed = fd.close(written ? error : nullptr);
    if (!written || !closed) {
        ::unlink(temporaryPath.c_str());
        return false;
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        failWithErrno(error);
        ::unlink(temporaryPath.c_str());
        return false;
    }
    return true;
}

}  // namespace tomely
