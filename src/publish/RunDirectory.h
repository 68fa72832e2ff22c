#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/Error.h"
#include "platform/FileIO.h"

namespace tomely {

// The directory one run of the publisher works in, below $XDG_CACHE_HOME/tomely-uploader/runs/
// with a name of its own, so that runs at once never meet each other or the app (which deletes
// its own application-support directory whole). Removed with everything in it when the object
// goes, whatever removed some of it before.
//
// The run holds a lock (flock) on the file "lock" inside it for its whole life, so a directory
// whose lock is free was left by a run that ended without removing it (killed, or crashed): each
// run removes such directories when it starts. A directory takes its "run-" name only once its
// lock is held, so a run starting at the same moment is never taken for an abandoned one.
class RunDirectory {
public:
    // None, with `error` filled, when it cannot be made.
    [[nodiscard]] static std::optional<RunDirectory> create(Error* error);
    ~RunDirectory();
    RunDirectory(RunDirectory&& other) noexcept
        : path_(std::exchange(other.path_, {})), lock_(std::move(other.lock_)) {}
    RunDirectory& operator=(RunDirectory&&) = delete;
    RunDirectory(const RunDirectory&) = delete;

    // Without a trailing "/".
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    RunDirectory(std::string path, FileDescriptor lock) : path_(std::move(path)), lock_(std::move(lock)) {}

    std::string path_;
    // Held until the directory is gone.
    FileDescriptor lock_;
};

}  // namespace tomely
