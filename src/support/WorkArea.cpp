#include "support/WorkArea.h"

#include <filesystem>
#include <system_error>

#include "platform/PrivateFiles.h"
#include "support/SupportDirectories.h"

namespace tomely {
namespace {

// Owner-only, as everything kept of the author's book. A failure shows when the book is extracted
// into it.
void makeWorkingDirectory(const WorkArea& area) {
    (void)createPrivateDirectories(area.working());
}

}  // namespace

WorkArea::WorkArea(std::string root)
    : root_(std::move(root)),
      working_(root_ + "/working/"),
      deflated_(root_ + "/deflated"),
      staging_(root_ + "/staging") {}

std::optional<WorkArea> WorkArea::freshInApplicationSupport(Error* error) {
    if (const std::optional<std::string> support = applicationSupportDirectory()) {
        std::error_code ignored;
        std::filesystem::remove_all(*support, ignored);
    }
    // Asking again re-creates it.
    std::optional<std::string> root = applicationSupportDirectory();
    if (!root) {
        // Asked once more only for the reason it fails, which the caller shows.
        Error failure;
        (void)findOrCreateDirectory(SearchPathDirectory::ApplicationSupport, SearchPathDomainMask::User,
                                    kExecutableName, &failure);
        report(error, std::move(failure));
        return std::nullopt;
    }
    WorkArea area(std::move(*root));
    makeWorkingDirectory(area);
    return area;
}

WorkArea WorkArea::inDirectory(std::string root) {
    WorkArea area(std::move(root));
    makeWorkingDirectory(area);
    return area;
}

}  // namespace tomely
