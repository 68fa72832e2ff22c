#pragma once

#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/FileIO.h"

namespace tomely {

// An extraction's view of its destination directory. Every path is a list of components below
// the root, and no operation follows a symbolic link that lies below the root: directories are
// entered one component at a time with O_NOFOLLOW, files are opened with O_NOFOLLOW, and dates are
// set on links rather than on their targets. The root's own path belongs to the caller and is
// taken as it is. Used by one extraction on its own thread; not thread-safe.
class DestinationTree {
public:
    explicit DestinationTree(std::string root);
    ~DestinationTree();
    DestinationTree(const DestinationTree&) = delete;
    DestinationTree& operator=(const DestinationTree&) = delete;

    // A directory below the root, open unless fd is -1. The descriptor belongs to the tree and
    // stays valid until the next call of openDirectory.
    struct Directory {
        int fd = -1;
        // Set when a symbolic link stands where a directory of the path should be: its full path.
        std::string crossedLink;

        [[nodiscard]] bool isOpen() const { return fd >= 0; }
    };

    // The directory `components` below the root. With `create`, the root and every missing
    // directory on the way are made (mode 0777 less the umask). When it cannot be opened, the
    // result is not open and `error` says why.
    [[nodiscard]] Directory openDirectory(std::span<const std::string> components, bool create, Error* error = nullptr);

    // Whether anything, a dangling link included, is at `name` in `directory`.
    [[nodiscard]] static bool exists(const Directory& directory, const std::string& name);

    // Opens `name` in `directory` for writing, truncated, or created (mode 0666 less the umask).
    // A symbolic link there is replaced by the new file, never written through; anything other than
    // a regular file there is not opened. Returns the open file, or an empty one on failure.
    [[nodiscard]] static FileDescriptor createFile(const Directory& directory, const std::string& name,
                                                   Error* error = nullptr);

    // Removes the file `name` from `directory` (a link there is removed, not its target).
    [[nodiscard]] static bool removeFile(const Directory& directory, const std::string& name, Error* error = nullptr);

    // Sets the modification date of a file this tree opened with createFile.
    [[nodiscard]] static bool setFileModificationDate(const FileDescriptor& file, std::time_t date,
                                                      Error* error = nullptr);

    [[nodiscard]] static bool createSymbolicLink(const Directory& directory, const std::string& name,
                                                 const std::string& target, Error* error = nullptr);

    // Sets the modification date of the item at `components` itself (a link's own date, not its
    // target's).
    [[nodiscard]] bool setModificationDate(std::span<const std::string> components, std::time_t date,
                                           Error* error = nullptr);

    // The root's path and the components joined by "/", for log lines.
    [[nodiscard]] std::string fullPath(std::span<const std::string> components) const;

private:
    // Opens rootFd_, unless it is open already.
    [[nodiscard]] bool openRoot(bool create, Error* error);
    void closeCached();

    std::string root_;
    int rootFd_ = -1;
    // The last directory opened; consecutive entries usually share their parent.
    std::vector<std::string> cachedComponents_;
    int cachedFd_ = -1;
};

}  // namespace tomely
