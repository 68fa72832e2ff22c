#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Cancellation.h"
#include "platform/Error.h"

namespace tomely {

inline constexpr std::string_view kZipArchiveErrorDomain = "ZipArchiveErrorDomain";
// Every code from -3 on comes with a description that names the entry (by its place in the
// archive when even its header cannot be read).
enum ZipArchiveErrorCode : long {
    kZipArchiveOpenFailedCode = -1,         // "failed to open zip file"
    kZipArchiveNoFirstEntryCode = -2,       // "failed to open first file in zip file"
    kZipArchiveEntryInfoFailedCode = -3,    // an entry's header cannot be read
    kZipArchiveEntryOpenFailedCode = -4,    // unsupported method, damaged header, no or wrong password
    kZipArchiveEntryReadFailedCode = -5,    // the data fails to read or to decompress part-way
    kZipArchiveEntryDamagedCode = -6,       // the data does not have its declared size or CRC-32
    kZipArchiveNextEntryFailedCode = -7,    // the step to the next entry fails
    kZipArchiveEntryWriteFailedCode = -8,   // the entry's file cannot be written whole (underlying error attached)
    kZipArchiveEntryNameUnusableCode = -9,  // a zero byte in the name, or a UTF-8 flag on a name that is not
    kZipArchiveEntryLargerThanDeclaredCode = -10,  // the data comes out larger than the entry declares
    kZipArchiveEntryExpandsTooMuchCode = -11,      // the entry declares more than 1000 times its data (ZipExpansion.h)
    kZipArchiveNotEnoughSpaceCode = -12,           // what the entries declare does not fit where they go
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
    // Names are UTF-8 when flagged so or when they are valid UTF-8, else code page 437.
    //
    // Before anything is written, the central directory is checked (ZipExpansion.h): an entry
    // that expands too much, or entries that together do not fit in the free space of the
    // destination's file system, fail the extraction at once. Entries of any size zip64 allows
    // are read; an entry's data is never written past the size it declares.
    //
    // Returns true when every entry was extracted whole. Otherwise it returns false and fills
    // `error`, always: the archive cannot be opened, has no first entry or does not fit, or an
    // entry cannot be described, named, opened, read, checked against its size and CRC-32,
    // created or written (a directory, file or link; the system's reason attached), or stepped
    // past. The extraction stops at that entry; the entries before it stay, and a file the
    // failing entry had begun is removed. Only the dates are a matter of the log: one that cannot
    // be set is logged.
    //
    // Nothing is ever written outside `destination`: entries with absolute names or ".."
    // components, with empty names, whose path passes through a symbolic link, and links whose
    // target could lead outside are skipped, each with a "[ZipArchive] " line in the system log.
    // Runs entirely on the calling thread and keeps no state between calls.
    [[nodiscard]] static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                              std::string_view password, Error* error = nullptr);

    // Told after each entry has been dealt with (extracted or skipped): its index from 0 and the
    // number of entries the archive declares. Runs on the extracting thread.
    using ProgressObserver = std::function<void(std::uint64_t index, std::uint64_t totalFiles)>;

    // The same, telling `progress` about every entry as it goes, and stopping between blocks of
    // 4 KiB once `cancellation` (may be null) is raised: false then, with cancelledError() in
    // `error`, and the file of the entry under way removed.
    [[nodiscard]] static bool unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                              std::string_view password, Error* error, const ProgressObserver& progress,
                                              const Cancellation* cancellation = nullptr);
};

}  // namespace tomely
