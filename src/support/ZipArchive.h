#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace tomely {

inline constexpr std::string_view kZipArchiveErrorDomain = "ZipArchiveErrorDomain";
enum ZipArchiveErrorCode : long {
    kZipArchiveOpenFailedCode = -1,    // "failed to open zip file"
    kZipArchiveNoFirstEntryCode = -2,  // "failed to open first file in zip file"
};

// Unpacks zip archives (the book package) into a directory, over minizip.
class ZipArchive {
public:
    // Extracts every entry of the archive at `path` below `destination` (created when missing):
    // files with their data, directories, and symbolic links (stored entries whose external
    // attributes carry 0x4000 in their low 16 bits; their data is the target). Backslashes in
    // names count as slashes. Items that exist already are replaced only with `overwrite`.
    // Modification dates come from the entries' DOS dates (local time) and are applied at the end.
    // Encrypted entries are read with `password` (an empty one means none).
    //
    // Returns true when every entry could be opened and described, false when one could not (the
    // entries before it stay extracted). `error` is filled only when the archive cannot be opened
    // (kZipArchiveOpenFailedCode) or has no first entry (kZipArchiveNoFirstEntryCode).
    //
    // Nothing is ever written outside `destination`: entries with absolute names or ".."
    // components, with empty or ill-formed names, whose path passes through a symbolic link, and
    // links whose target could lead outside are skipped, each with a "[ZipArchive] " line in the
    // system log. Runs entirely on the calling thread and keeps no state between calls.
    [[nodiscard]] static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                              std::string_view password, Error* error = nullptr);

    // Told after each entry has been dealt with (extracted or skipped): its index from 0 and the
    // number of entries the archive declares. Runs on the extracting thread.
    using ProgressObserver = std::function<void(std::uint64_t index, std::uint64_t totalFiles)>;

    // The same, telling `progress` about every entry as it goes.
    [[nodiscard]] static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                              std::string_view password, Error* error,
                                              const ProgressObserver& progress);
};

}  // namespace tomely
