#include "shelf/BookPackage.h"

#include "shelf/BookGuid.h"

namespace tomely {

std::optional<std::string> openBookPackage(const std::string& bookPath, const std::string& workingDirectory,
                                           Error* error, const ZipArchive::ProgressObserver& progress,
                                           const Cancellation* cancellation) {
    Error extractionError;
    if (!ZipArchive::unzipFileAtPath(bookPath, workingDirectory, true, "", &extractionError, progress, cancellation) &&
        !extractionError.domain.empty()) {
        if (error != nullptr) {
            *error = extractionError;
        }
        return std::nullopt;
    }
    return findBookGuidInLocation(workingDirectory, error);
}

}  // namespace tomely
