#include "shelf/BookPackage.h"

#include "shelf/BookGuid.h"

namespace tomely {

std::optional<std::string> openBookPackage(const std::string& bookPath, const std::string& workingDirectory,
                                           Error* error, const ZipArchive::ProgressObserver& progress) {
    Error extractionError;
    if (!ZipArchive::unzipFileAtPath(bookPath, workingDirectory, true, "", &extractionError, progress) &&
        !extractionError.domain.empty()) {
        if (error != nullptr) {
            *error = extractionError;
        }
        return std::nullopt;
    }
    return findBookGuidInLocation(workingDirectory, error);
}

}  // namespace tomely
