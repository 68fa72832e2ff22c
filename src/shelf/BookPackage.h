#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"
#include "support/ZipArchive.h"

namespace tomely {

// Opens the book package at `bookPath` for an upload: extracts it into `workingDirectory` (which
// should be fresh and empty) and reads the Book GUID of what came out. Only an extraction error
// stops it: entries the extraction skips as unsafe leave the rest of the book usable. Every later
// call puts the GUID into its URL, so a book without one cannot be opened. Answers the GUID, or
// none with `error` filled (the extraction's error, or kBookPackageErrorDomain). `progress` is
// told of each entry on the calling thread; raising `cancellation` (may be null) stops the
// extraction within one block. Any thread; meant for a worker, since large books take a while.
[[nodiscard]] std::optional<std::string> openBookPackage(const std::string& bookPath,
                                                         const std::string& workingDirectory, Error* error,
                                                         const ZipArchive::ProgressObserver& progress = {},
                                                         const Cancellation* cancellation = nullptr);

}  // namespace tomely
