#include "publish/RunDirectory.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>

#include "platform/PosixError.h"
#include "support/SupportDirectories.h"

namespace tomely {

std::optional<RunDirectory> RunDirectory::create(Error* error) {
    const std::optional<std::string> runs = findOrCreateDirectory(
        SearchPathDirectory::Caches, SearchPathDomainMask::User, std::string(kExecutableName) + "/runs", error);
    if (!runs) {
        return std::nullopt;
    }
    std::string path = *runs + "/run-XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) {
        if (error != nullptr) {
            *error = posixError(errno, "Could not create a directory in \"" + *runs + "\"");
        }
        return std::nullopt;
    }
    return RunDirectory(std::move(path));
}

RunDirectory::~RunDirectory() {
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

}  // namespace tomely
