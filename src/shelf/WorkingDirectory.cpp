#include "shelf/WorkingDirectory.h"

#include <filesystem>
#include <system_error>

#include "support/SupportDirectories.h"

namespace tomely {

std::optional<std::string> freshWorkingDirectory(Error* error) {
    if (const std::optional<std::string> support = applicationSupportDirectory()) {
        std::error_code ignored;
        std::filesystem::remove_all(*support, ignored);
    }
    // Asking again re-creates the application-support directory.
    std::optional<std::string> working = workingDirectory();
    if (!working) {
        // Asked once more only for the reason it fails, which the caller shows.
        Error failure;
        (void)findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomainMask::User,
                                    kExecutableName, &failure);
        report(error, std::move(failure));
        return std::nullopt;
    }
    std::error_code ignored;
    std::filesystem::create_directories(*working, ignored);
    return working;
}

}  // namespace tomely
