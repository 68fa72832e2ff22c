#include "FileWrites.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "Passwords.h"

namespace tomely::shelf {

namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path) {
    throw std::runtime_error(what + " " + path.string() + ": " + std::strerror(errno));
}

void syncPath(const std::filesystem::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        fail("cannot open", path);
    }
    const int result = ::fsync(fd);
    ::close(fd);
    if (result != 0) {
        fail("cannot flush", path);
    }
}

}  // namespace

std::filesystem::path temporaryNameFor(const std::filesystem::path& target) {
    return target.string() + std::string(kTemporaryMarker) + randomToken(8);
}

bool isTemporaryName(const std::filesystem::path& path) {
    return path.filename().string().find(kTemporaryMarker) != std::string::npos;
}

void writeFileDurably(const std::filesystem::path& target, std::string_view bytes) {
    const auto temporary = temporaryNameFor(target);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        fail("cannot create", temporary);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            errno = saved;
            fail("cannot write", temporary);
        }
        written += static_cast<std::size_t>(count);
    }
    ::close(fd);
    commitFileDurably(temporary, target);
}

void commitFileDurably(const std::filesystem::path& temporary, const std::filesystem::path& target) {
    try {
        syncPath(temporary, O_RDONLY);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        fail("cannot rename into", target);
    }
    syncPath(target.parent_path(), O_RDONLY | O_DIRECTORY);
}

}  // namespace tomely::shelf
