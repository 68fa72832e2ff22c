#pragma once

#include <sys/stat.h>

#include <string>

namespace tomely::test {

// Sets the process's umask for a test and puts the old one back when it goes. The umask is the
// whole process's: only for tests that create nothing on other threads meanwhile.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : saved_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(saved_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t saved_;
};

// The permission bits of the item itself (a link's own), or -1 when it is missing.
[[nodiscard]] inline int permissionsOf(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

}  // namespace tomely::test
