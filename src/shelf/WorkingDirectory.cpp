#include "shelf/WorkingDirectory.h"

#include <filesystem>
#include <system_error>

#include "platform/PrivateFiles.h"
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
    // A failure shows when the book is extracted into it.
    (void)createPrivateDirectories(*working);
    return working;
}

}  // namespace tomely
