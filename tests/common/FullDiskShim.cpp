// A full disk for the program it is preloaded into (LD_PRELOAD), below one path: once
// TOMELY_FULL_DISK_AFTER_BYTES bytes have been written to files whose path begins with
// TOMELY_FULL_DISK_PREFIX, every further write there fails with ENOSPC, as on a file system that
// has filled up. write, pwrite, pwrite64 and writev are caught, which is what the extraction,
// the splitting, the staging and SQLite use; other files and descriptors pass untouched. Without
// the variables it changes nothing.
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::atomic<unsigned long long> writtenBelowPrefix{0};

// Whether a write of `size` bytes to `fd` is refused.
bool refuses(int fd, std::size_t size) {
    const char* prefix = std::getenv("TOMELY_FULL_DISK_PREFIX");
    const char* after = std::getenv("TOMELY_FULL_DISK_AFTER_BYTES");
    if (prefix == nullptr || after == nullptr || fd < 0) {
        return false;
    }
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    if (length <= 0) {
        return false;
    }
    path[length] = '\0';
    if (std::strncmp(path, prefix, std::strlen(prefix)) != 0) {
        return false;
    }
    const unsigned long long limit = std::strtoull(after, nullptr, 10);
    const unsigned long long before = writtenBelowPrefix.fetch_add(size);
    if (before + size > limit) {
        writtenBelowPrefix.fetch_sub(size);
        return true;
    }
    return false;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t size) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (refuses(fd, size)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buffer, size);
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    if (refuses(fd, size)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buffer, size, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off64_t offset) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    if (refuses(fd, size)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buffer, size, offset);
}

ssize_t writev(int fd, const struct iovec* vectors, int count) {
    static const auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    std::size_t size = 0;
    for (int i = 0; i < count; ++i) {
        size += vectors[i].iov_len;
    }
    if (refuses(fd, size)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, vectors, count);
}

}  // extern "C"
