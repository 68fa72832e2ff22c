#include "platform/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileIO.h"
#include "platform/PosixError.h"

namespace tomely {
namespace {

constexpr mode_t kPrivateDirectoryMode = S_IRWXU;
constexpr mode_t kPrivateFileMode = S_IRUSR | S_IWUSR;
constexpr mode_t kGroupAndOthers = S_IRWXG | S_IRWXO;

bool fail(Error* error) {
    report(error, posixError(errno));
    return false;
}

// Creates one directory owner-only; an existing directory is fine as it is.
bool createPrivateDirectory(const std::string& path, Error* error) {
    if (::mkdir(path.c_str(), kPrivateDirectoryMode) == 0) {
        // The umask may have taken bits the owner needs.
        return ::chmod(path.c_str(), kPrivateDirectoryMode) == 0 || fail(error);
    }
    if (errno != EEXIST) {
        return fail(error);
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return fail(error);
    }
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return fail(error);
    }
    return true;
}

}  // namespace

bool createPrivateDirectories(const std::string& path, Error* error) {
    // Each prefix that ends before a "/" (and the whole path), from the top down.
    for (std::size_t end = path.find('/', 1); end != std::string::npos; end = path.find('/', end + 1)) {
        if (path[end - 1] != '/' && !createPrivateDirectory(path.substr(0, end), error)) {
            return false;
        }
    }
    return path.ends_with('/') || createPrivateDirectory(path, error);
}

bool createPrivateFile(const std::string& path, Error* error) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFileMode));
    if (file.isOpen()) {
        return ::fchmod(file.get(), kPrivateFileMode) == 0 || fail(error);
    }
    return errno == EEXIST ? restrictToOwner(path, error) : fail(error);
}

bool restrictToOwner(const std::string& path, Error* error) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT || fail(error);
    }
    if (S_ISLNK(status.st_mode) || status.st_uid != ::geteuid() || (status.st_mode & kGroupAndOthers) == 0) {
        return true;
    }
    return ::chmod(path.c_str(), status.st_mode & ~kGroupAndOthers & 07777) == 0 || fail(error);
}

}  // namespace tomely
