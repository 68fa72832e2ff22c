// Faults in the writes of the program it is preloaded into (LD_PRELOAD), below one path,
// TOMELY_WRITE_FAULT_PREFIX. write, pwrite, pwrite64 and writev are caught, which is what the
// extraction, the splitting, the staging and SQLite use; other files and descriptors pass
// untouched. Without the variables it changes nothing.
//
// - A full disk: once TOMELY_FULL_DISK_AFTER_BYTES bytes have been written below the prefix, every
//   further write there fails with ENOSPC, as on a file system that has filled up.
// - An interrupt in the middle of a write-heavy stage: once TOMELY_INTERRUPT_AFTER_BYTES bytes
//   have been written below the prefix, SIGINT is sent to the process (as Ctrl-C would), and the
//   bytes written below the prefix from then on are counted; at exit the count goes to the file
//   TOMELY_INTERRUPT_REPORT, so that a test can tell how far the work went on after the interrupt
//   without timing it.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<unsigned long long> writtenBelowPrefix{0};
std::atomic<unsigned long long> writtenAfterInterrupt{0};
std::atomic<bool> interrupted{false};

unsigned long long limitOf(const char* variable) {
    const char* value = std::getenv(variable);
    return value == nullptr ? ~0ULL : std::strtoull(value, nullptr, 10);
}

bool isBelowPrefix(int fd) {
    const char* prefix = std::getenv("TOMELY_WRITE_FAULT_PREFIX");
    if (prefix == nullptr || fd < 0) {
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
    return std::strncmp(path, prefix, std::strlen(prefix)) == 0;
}

// Counts a write of `size` bytes to `fd`; answers whether the disk is full for it.
bool refuses(int fd, std::size_t size) {
    if (!isBelowPrefix(fd)) {
        return false;
    }
    if (interrupted.load()) {
        writtenAfterInterrupt.fetch_add(size);
    }
    const unsigned long long before = writtenBelowPrefix.fetch_add(size);
    if (before + size > limitOf("TOMELY_INTERRUPT_AFTER_BYTES") && !interrupted.exchange(true)) {
        // To the process, not to this thread: the program takes signals on a thread of its choice.
        ::kill(::getpid(), SIGINT);
    }
    if (before + size > limitOf("TOMELY_FULL_DISK_AFTER_BYTES")) {
        writtenBelowPrefix.fetch_sub(size);
        return true;
    }
    return false;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

__attribute__((destructor)) void reportInterrupt() {
    const char* report = std::getenv("TOMELY_INTERRUPT_REPORT");
    if (report == nullptr || !interrupted.load()) {
        return;
    }
    if (std::FILE* file = std::fopen(report, "w")) {
        std::fprintf(file, "%llu\n", writtenAfterInterrupt.load());
        std::fclose(file);
    }
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
