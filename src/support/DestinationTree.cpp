#include "support/DestinationTree.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/PosixError.h"

namespace tomely {
namespace {

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isSymbolicLink(int parentFd, const std::string& name) {
    struct stat info {};
    return ::fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

// utimensat's pair: the access date left alone, the modification date set.
struct DateChange {
    timespec times[2];
    explicit DateChange(std::time_t date) : times{{0, UTIME_OMIT}, {date, 0}} {}
};

// "dest/" and "dest" name the same directory; "" is the current one.
std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path.empty() ? std::string(".") : path;
}

}  // namespace

DestinationTree::DestinationTree(std::string root) : root_(withoutTrailingSlashes(std::move(root))) {}

DestinationTree::~DestinationTree() {
    closeCached();
    if (rootFd_ >= 0) {
        ::close(rootFd_);
    }
}

void DestinationTree::closeCached() {
    if (cachedFd_ >= 0 && cachedFd_ != rootFd_) {
        ::close(cachedFd_);
    }
    cachedFd_ = -1;
    cachedComponents_.clear();
}

bool DestinationTree::openRoot(bool create, Error* error) {
    if (rootFd_ >= 0) {
        return true;
    }
    if (create) {
        std::error_code failure;
        std::filesystem::create_directories(root_, failure);
        if (failure) {
            report(error, posixError(failure.value(), "Could not create the directory \"" + root_ + "\""));
            return false;
        }
    }
    rootFd_ = ::open(root_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (rootFd_ < 0) {
        report(error, posixError(errno, "Could not open the directory \"" + root_ + "\""));
        return false;
    }
    return true;
}

DestinationTree::Directory DestinationTree::openDirectory(std::span<const std::string> components, bool create,
                                                          Error* error) {
    Directory directory;
    if (cachedFd_ >= 0 && std::ranges::equal(components, cachedComponents_)) {
        directory.fd = cachedFd_;
        return directory;
    }
    if (!openRoot(create, error)) {
        return directory;
    }
    int current = rootFd_;
    for (std::size_t depth = 0; depth < components.size(); ++depth) {
        const std::string& name = components[depth];
        int next = ::openat(current, name.c_str(), kDirectoryFlags);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current, name.c_str(), 0777) != 0 && errno != EEXIST) {
                report(error, posixError(errno, "Could not create the directory \"" +
                                                    fullPath(components.first(depth + 1)) + "\""));
                if (current != rootFd_) {
                    ::close(current);
                }
                return directory;
            }
            next = ::openat(current, name.c_str(), kDirectoryFlags);
        }
        if (next < 0) {
            const int failure = errno;
            const std::string path = fullPath(components.first(depth + 1));
            if (isSymbolicLink(current, name)) {
                directory.crossedLink = path;
                report(error, posixError(ELOOP, "Will not pass through the symbolic link \"" + path + "\""));
            } else {
                report(error, posixError(failure, "Could not open the directory \"" + path + "\""));
            }
            if (current != rootFd_) {
                ::close(current);
            }
            return directory;
        }
        if (current != rootFd_) {
            ::close(current);
        }
        current = next;
    }
    closeCached();
    cachedComponents_.assign(components.begin(), components.end());
    cachedFd_ = current;
    directory.fd = current;
    return directory;
}

bool DestinationTree::exists(const Directory& directory, const std::string& name) {
    struct stat info {};
    return ::fstatat(directory.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

FileDescriptor DestinationTree::createFile(const Directory& directory, const std::string& name, Error* error) {
    // O_NONBLOCK keeps a FIFO that happens to sit at the path from blocking the extraction.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    FileDescriptor file(::openat(directory.fd, name.c_str(), kFlags, 0666));
    if (!file.isOpen() && errno == ELOOP) {
        // A link is there (O_NOFOLLOW refuses it): replace the link itself, so that the data
        // cannot follow it to wherever it points.
        if (::unlinkat(directory.fd, name.c_str(), 0) == 0) {
            file = FileDescriptor(::openat(directory.fd, name.c_str(), kFlags | O_EXCL, 0666));
        }
    }
    if (!file.isOpen()) {
        report(error, posixError(errno, "Could not open \"" + name + "\" for writing"));
        return file;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        report(error, posixError(EINVAL, "\"" + name + "\" is not a regular file"));
        return FileDescriptor();
    }
    // Back to blocking writes for the data itself.
    ::fcntl(file.get(), F_SETFL, ::fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return file;
}

bool DestinationTree::setFileModificationDate(const FileDescriptor& file, std::time_t date, Error* error) {
    const DateChange change(date);
    if (::futimens(file.get(), change.times) != 0) {
        report(error, posixError(errno, "Could not set the modification date"));
        return false;
    }
    return true;
}

bool DestinationTree::removeFile(const Directory& directory, const std::string& name, Error* error) {
    if (::unlinkat(directory.fd, name.c_str(), 0) != 0) {
        report(error, posixError(errno, "Could not remove \"" + name + "\""));
        return false;
    }
    return true;
}

bool DestinationTree::createSymbolicLink(const Directory& directory, const std::string& name, const std::string& target,
                                         Error* error) {
    if (::symlinkat(target.c_str(), directory.fd, name.c_str()) != 0) {
        report(error, posixError(errno, "Could not create the symbolic link \"" + name + "\""));
        return false;
    }
    return true;
}

bool DestinationTree::setModificationDate(std::span<const std::string> components, std::time_t date, Error* error) {
    if (components.empty()) {
        report(error, posixError(EINVAL, "No item to date below \"" + root_ + "\""));
        return false;
    }
    const Directory parent = openDirectory(components.first(components.size() - 1), false, error);
    if (!parent.isOpen()) {
        return false;
    }
    const DateChange change(date);
    if (::utimensat(parent.fd, components.back().c_str(), change.times, AT_SYMLINK_NOFOLLOW) != 0) {
        report(error, posixError(errno, "Could not set the modification date of \"" + fullPath(components) + "\""));
        return false;
    }
    return true;
}

std::string DestinationTree::fullPath(std::span<const std::string> components) const {
    std::string path = root_ == "/" ? "" : root_;
    for (const std::string& component : components) {
        path += '/';
        path += component;
    }
    return path;
}

}  // namespace tomely
