#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace tomely {

// The directory one run of the publisher works in, below $XDG_CACHE_HOME/tomely-uploader/runs/
// with a name of its own, so that runs at once never meet each other or the app (which deletes
// its own application-support directory whole). Removed with everything in it when the object
// goes, whatever removed some of it before.
class RunDirectory {
public:
    // None, with `error` filled, when it cannot be made.
    [[nodiscard]] static std::optional<RunDirectory> create(Error* error);
    ~RunDirectory();
    RunDirectory(RunDirectory&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
    RunDirectory& operator=(RunDirectory&&) = delete;
    RunDirectory(const RunDirectory&) = delete;

    // Without a trailing "/".
    [[nodiscard]] const std::string& path() const { return path_; }

private:
    explicit RunDirectory(std::string path) : path_(std::move(path)) {}

    std::string path_;
};

}  // namespace tomely
