#include "support/ZipExpansion.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <limits>

#include "platform/PosixError.h"
#include "support/ZipArchive.h"
#include "support/ZipCentralEntry.h"
#include "support/ZipEntryPath.h"

namespace tomely {
namespace {

constexpr unsigned long kUTF8NameFlag = 0x800;

std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b) {
    return b > std::numeric_limits<std::uint64_t>::max() - a ? std::numeric_limits<std::uint64_t>::max() : a + b;
}

// Whole megabytes (decimal), rounded up, for a person.
std::string megabytes(std::uint64_t bytes) {
    return std::to_string(bytes / 1'000'000 + (bytes % 1'000'000 != 0 ? 1 : 0)) + " MB";
}

// The file system facts of `destination`, or of its nearest existing parent when it is not made yet.
bool fileSystemOf(std::string path, struct statvfs& facts, Error* error) {
    for (;;) {
        if (::statvfs(path.c_str(), &facts) == 0) {
            return true;
        }
        const std::size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
        if (errno != ENOENT || slash == std::string::npos) {
            report(error, posixError(errno, "Could not tell the free space of \"" + path + "\""));
            return false;
        }
        path.resize(slash == 0 ? 1 : slash);
    }
}

}  // namespace

bool checkExpansion(unzFile zip, const std::string& destination, Error* error) {
    struct statvfs facts {};
    if (!fileSystemOf(destination, facts, error)) {
        return false;
    }
    const std::uint64_t block = facts.f_frsize != 0 ? facts.f_frsize : 4096;
    std::uint64_t needed = kFreeSpaceMargin;
    ZipCentralEntry entry;
    for (int step = unzGoToFirstFile(zip); step == UNZ_OK && describeCurrentEntry(zip, entry);
         step = unzGoToNextFile(zip)) {
        const ZipEntryExtent& extent = entry.extent;
        if (extent.uncompressedSize > kRatioCheckedFrom &&
            extent.uncompressedSize / kMaxExpansionRatio > extent.compressedSize) {
            const ZipEntryPath path = ZipEntryPath::parse(entry.rawName, (entry.info.flag & kUTF8NameFlag) != 0);
            (void)unzGoToFirstFile(zip);  // Nothing more is read from it.
            report(error,
                   Error::make(std::string(kZipArchiveErrorDomain), kZipArchiveEntryExpandsTooMuchCode,
                               "file \"" + printableName(path.name.empty() ? entry.rawName : path.name) +
                                   "\" in zip file expands from " + std::to_string(extent.compressedSize) + " to " +
                                   std::to_string(extent.uncompressedSize) + " bytes, more than 1000 times its size"));
            return false;
        }
        const std::uint64_t blocks = extent.uncompressedSize / block + (extent.uncompressedSize % block != 0 ? 1 : 0);
        needed = saturatingSum(needed, blocks > std::numeric_limits<std::uint64_t>::max() / block
                                           ? std::numeric_limits<std::uint64_t>::max()
                                           : blocks * block);
    }
    if (unzGoToFirstFile(zip) != UNZ_OK) {
        // The extraction reports it as it always has.
        return true;
    }
    const std::uint64_t free = static_cast<std::uint64_t>(facts.f_bavail) * facts.f_frsize;
    if (needed > free) {
        report(error,
               Error::make(std::string(kZipArchiveErrorDomain), kZipArchiveNotEnoughSpaceCode,
                           "the zip file needs " + megabytes(needed) + " of room where it is extracted, but only " +
                               megabytes(free) + " are free in \"" + destination + "\""));
        return false;
    }
    return true;
}

}  // namespace tomely
