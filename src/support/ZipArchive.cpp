#include "support/ZipArchive.h"

#include <unistd.h>
#include <unzip.h>

#include <array>
#include <climits>
#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "platform/FileIO.h"
#include "platform/HexText.h"
#include "platform/SystemLog.h"
#include "platform/UTF8.h"
#include "support/DestinationTree.h"
#include "support/DosDate.h"
#include "support/ZipCentralEntry.h"
#include "support/ZipEntryPath.h"
#include "support/ZipEntryReader.h"
#include "support/ZipExpansion.h"

namespace tomely {
namespace {

constexpr std::size_t kReadBufferSize = 4096;
// General purpose flag bit 11: the entry's name is UTF-8.
constexpr unsigned long kUTF8NameFlag = 0x800;
// The longest target a link may have on this system; a larger declared size is not believed.
constexpr std::size_t kMaxLinkTargetLength = PATH_MAX - 1;

// A link entry: stored, the directory type bits in the low 16 bits of its external attributes,
// and some data (the target).
bool isSymbolicLinkEntry(const unz_file_info64& info) {
    return info.compression_method == 0 && (info.external_fa & 0xF000) == 0x4000 && info.compressed_size > 0;
}

// The absolute string of a file URL for `path`: relative paths are taken from the current directory.
std::string fileURLString(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        std::array<char, PATH_MAX> cwd{};
        if (::getcwd(cwd.data(), cwd.size()) != nullptr) {
            absolute = std::string(cwd.data()) + "/" + absolute;
        }
    }
    static constexpr ByteSet kKept = kASCIIAlphanumerics.with("-._~!$&'()*+,;=:@/");
    return "file://" + percentEncoded(absolute, kKept);
}

// minizip 1.1 never finds an end-of-central-directory record at the very start of a file, so a
// valid archive without any entry fails to open there. It is told apart from a file that is no
// archive at all: a lone record with no entries, followed by exactly its comment.
bool isEmptyArchive(const std::string& path) {
    constexpr std::size_t kRecordSize = 22;
    InputFile in(path);
    const std::uint64_t fileSize = in.currentSize();
    std::array<std::uint8_t, kRecordSize> record{};
    if (fileSize < kRecordSize || in.read(record) != kRecordSize) {
        return false;
    }
    const auto field = [&record](std::size_t at, std::size_t size) {
        std::uint32_t value = 0;
        for (std::size_t i = size; i > 0; --i) {
            value = (value << 8) | record[at + i - 1];
        }
        return value;
    };
    const bool noEntries = field(8, 2) == 0 && field(10, 2) == 0 && field(12, 4) == 0 && field(16, 4) == 0;
    return field(0, 4) == 0x06054B50 && noEntries && fileSize == kRecordSize + field(20, 2);
}

Error zipError(ZipArchiveErrorCode code, std::string description) {
    return Error::make(std::string(kZipArchiveErrorDomain), code, std::move(description));
}

// One run of unzipFileAtPath over an archive whose first entry has been found. It stops at the
// first entry it cannot extract whole, with an error that names that entry; an entry's file is
// never left behind with data that is not the archive's.
class Extraction {
public:
    Extraction(unzFile zip, const std::string& path, const std::string& destination, bool overwrite,
               std::string_view password, const Cancellation* cancellation)
        : zip_(zip),
          reader_(zip, path),
          tree_(destination),
          overwrite_(overwrite),
          password_(password),
          cancellation_(cancellation) {}

    // Goes through every entry; false, with `error` filled, when one could not be extracted.
    bool extractEntries(std::uint64_t totalFiles, const ZipArchive::ProgressObserver& progress, Error* error) {
        for (std::uint64_t index = 0;; ++index) {
            if (isCancelled(cancellation_)) {
                report(error, cancelledError("Extracting the zip file"));
                return false;
            }
            if (!extractCurrentEntry(index + 1, error)) {
                return false;
            }
            if (progress) {
                progress(index, totalFiles);
            }
            const int next = unzGoToNextFile(zip_);
            if (next == UNZ_END_OF_LIST_OF_FILE) {
                return true;
            }
            if (next != UNZ_OK) {
                report(error, zipError(kZipArchiveNextEntryFailedCode,
                                       "failed to find the file after " + entryName_ + " in zip file"));
                return false;
            }
        }
    }

    // Gives files and directories their archived dates, now that writing below them is over.
    void applyDates() {
        for (const auto& [components, date] : dateRecords_) {
            Error failure;
            if (!tree_.setModificationDate(components, date, &failure)) {
                SystemLog::write("[ZipArchive] Set attributes failed for directory: " + tree_.fullPath(components) +
                                 ".");
                SystemLog::write("[ZipArchive] Error setting directory file modification date attribute: " +
                                 failure.localizedDescription());
            }
        }
    }

private:
    bool extractCurrentEntry(std::size_t number, Error* error) {
        ZipCentralEntry entry;
        if (!describeCurrentEntry(zip_, entry)) {
            report(error, zipError(kZipArchiveEntryInfoFailedCode,
                                   "failed to read the header of file " + std::to_string(number) + " in zip file"));
            return false;
        }
        const unz_file_info64& info = entry.info;
        const std::string& rawName = entry.rawName;
        const ZipEntryPath path = ZipEntryPath::parse(rawName, (info.flag & kUTF8NameFlag) != 0);
        entryName_ = "\"" + printableName(path.name.empty() ? rawName : path.name) + "\"";
        if (path.verdict == ZipEntryPath::Verdict::Unusable) {
            report(error, zipError(kZipArchiveEntryNameUnusableCode,
                                   "the name " + entryName_ + " of a file in zip file cannot be used"));
            return false;
        }
        switch (reader_.open(info, entry.extent, password_)) {
            case ZipEntryReader::Opened::Yes:
                break;
            case ZipEntryReader::Opened::NeedsPassword:
                // Opened without one, the encrypted bytes would come out as the entry's data.
                report(error, zipError(kZipArchiveEntryOpenFailedCode,
                                       "file " + entryName_ + " in zip file is encrypted and no password was given"));
                return false;
            case ZipEntryReader::Opened::WrongPassword:
                report(error, zipError(kZipArchiveEntryOpenFailedCode,
                                       "wrong password for file " + entryName_ + " in zip file"));
                return false;
            case ZipEntryReader::Opened::No:
                report(error,
                       zipError(kZipArchiveEntryOpenFailedCode, "failed to open file " + entryName_ + " in zip file"));
                return false;
        }
        const bool written = writeEntry(info, path, rawName, error);
        reader_.close();
        return written;
    }

    bool writeEntry(const unz_file_info64& info, const ZipEntryPath& path, const std::string& rawName, Error* error) {
        if (path.verdict != ZipEntryPath::Verdict::Accepted) {
            skip(rawName, reasonText(path.verdict));
            return true;
        }
        const bool isLink = !path.isDirectory && isSymbolicLinkEntry(info);
        const std::time_t modDate = timeFromDosDate(static_cast<std::uint32_t>(info.dosDate));
        const std::span<const std::string> components = path.components;
        const auto directoryComponents = path.isDirectory ? components : components.first(components.size() - 1);

        Error failure;
        const DestinationTree::Directory directory = tree_.openDirectory(directoryComponents, true, &failure);
        if (!directory.crossedLink.empty()) {
            skip(rawName, "its path passes through the symbolic link \"" + directory.crossedLink + "\"");
            return true;
        }
        if (!directory.isOpen()) {
            // Whatever was to go there would be missing from the book.
            report(error, writeFailedError(std::move(failure)));
            return false;
        }
        if (!isLink) {
            dateRecords_.emplace(path.components, modDate);
        }
        if (path.isDirectory) {
            return true;
        }
        const std::string& name = path.components.back();
        if (!overwrite_ && DestinationTree::exists(directory, name)) {
            return true;
        }
        if (isLink) {
            return writeLink(directory, path, rawName, error);
        }
        if (writeFile(directory, path, info.dosDate != 0 ? std::optional(modDate) : std::nullopt, error)) {
            return true;
        }
        // What was written is not the entry's data: it goes, and so does its date. Should it stay,
        // the extraction has failed all the same, and that is what the caller acts on.
        (void)DestinationTree::removeFile(directory, name);
        dateRecords_.erase({path.components, modDate});
        return false;
    }

    bool writeFile(const DestinationTree::Directory& directory, const ZipEntryPath& path,
                   std::optional<std::time_t> modDate, Error* error) {
        Error failure;
        const FileDescriptor file = DestinationTree::createFile(directory, path.components.back(), &failure);
        if (!file.isOpen()) {
            report(error, writeFailedError(std::move(failure)));
            return false;
        }
        std::array<std::uint8_t, kReadBufferSize> buffer{};
        for (;;) {
            if (isCancelled(cancellation_)) {
                report(error, cancelledError("Extracting the zip file"));
                return false;
            }
            const std::optional<std::size_t> read = reader_.read(buffer);
            if (!read) {
                report(error, reader_.failure() == ZipEntryReader::Failure::LargerThanDeclared ? largerError()
                                                                                               : readFailedError());
                return false;
            }
            if (*read == 0) {
                break;
            }
            if (!writeAll(file.get(), std::span(buffer).first(*read), &failure)) {
                report(error, writeFailedError(std::move(failure)));
                return false;
            }
        }
        if (!reader_.finish()) {
            report(error, damagedError());
            return false;
        }
        if (modDate && !DestinationTree::setFileModificationDate(file, *modDate)) {
            SystemLog::write("[ZipArchive] Failed to set attributes");
        }
        return true;
    }

    bool writeLink(const DestinationTree::Directory& directory, const ZipEntryPath& path, const std::string& rawName,
                   Error* error) {
        std::string target;
        switch (readLinkTarget(target)) {
            case LinkTarget::Unreadable:
                report(error, reader_.failure() == ZipEntryReader::Failure::LargerThanDeclared ? largerError()
                                                                                               : readFailedError());
                return false;
            case LinkTarget::TooLong:
                skip(rawName, "its link target cannot be read as a path");
                return true;
            case LinkTarget::Read:
                break;
        }
        if (!reader_.finish()) {
            report(error, damagedError());
            return false;
        }
        if (!utf8::isValid(target)) {
            skip(rawName, "its link target cannot be read as a path");
            return true;
        }
        if (!linkTargetStaysInside(target, path.components.size() - 1)) {
            skip(rawName, "its link target \"" + printableName(target) + "\" leads out of the destination");
            return true;
        }
        Error failure;
        const std::string& name = path.components.back();
        // Overwriting: a file or link already there makes way, as a file entry's would.
        if (overwrite_ && DestinationTree::exists(directory, name)) {
            (void)DestinationTree::removeFile(directory, name);  // If it stays, creating the link says why.
        }
        if (!DestinationTree::createSymbolicLink(directory, name, target, &failure)) {
            SystemLog::write("Failed to create symbolic link at \"" + fileURLString(tree_.fullPath(path.components)) +
                             "\" to \"" + fileURLString(target) + "\". Error: " + failure.localizedDescription());
            report(error, writeFailedError(std::move(failure)));
            return false;
        }
        return true;
    }

    enum class LinkTarget { Read, Unreadable, TooLong };

    // The whole entry data, unless it fails to read or is longer than any path can be.
    LinkTarget readLinkTarget(std::string& target) {
        std::array<std::uint8_t, kReadBufferSize> buffer{};
        for (;;) {
            const std::optional<std::size_t> read = reader_.read(buffer);
            if (!read) {
                return LinkTarget::Unreadable;
            }
            if (target.size() + *read > kMaxLinkTargetLength) {
                return LinkTarget::TooLong;
            }
            if (*read == 0) {
                return LinkTarget::Read;
            }
            target.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*read));
        }
    }

    Error readFailedError() const {
        return zipError(kZipArchiveEntryReadFailedCode, "failed to read file " + entryName_ + " in zip file");
    }

    Error largerError() const {
        return zipError(kZipArchiveEntryLargerThanDeclaredCode,
                        "file " + entryName_ + " in zip file holds more data than it declares");
    }

    // The entry's item could not be created or written; `failure` says why.
    Error writeFailedError(Error failure) const {
        Error written =
            zipError(kZipArchiveEntryWriteFailedCode,
                     "failed to write file " + entryName_ + " from zip file: " + failure.localizedDescription());
        written.underlyingError = std::make_shared<const Error>(std::move(failure));
        return written;
    }

    Error damagedError() const {
        return zipError(kZipArchiveEntryDamagedCode, "file " + entryName_ + " in zip file is damaged");
    }

    static void skip(const std::string& rawName, std::string_view reason) {
        SystemLog::write("[ZipArchive] Skipped the entry \"" + printableName(rawName) + "\": " + std::string(reason));
    }

    unzFile zip_;
    ZipEntryReader reader_;
    DestinationTree tree_;
    const bool overwrite_;
    const std::string password_;
    const Cancellation* cancellation_;
    // The current entry's name as errors quote it.
    std::string entryName_;
    // Ordered by path, so that applying them walks each directory once in a row.
    std::set<std::pair<std::vector<std::string>, std::time_t>> dateRecords_;
};

}  // namespace

bool ZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                 std::string_view password, Error* error) {
    return unzipFileAtPath(path, destination, overwrite, password, error, {});
}

bool ZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                 std::string_view password, Error* error, const ProgressObserver& progress,
                                 const Cancellation* cancellation) {
    unzFile zip = unzOpen64(path.c_str());
    if (zip == nullptr && isEmptyArchive(path)) {
        report(error, zipError(kZipArchiveNoFirstEntryCode, "failed to open first file in zip file"));
        return false;
    }
    if (zip == nullptr) {
        report(error, zipError(kZipArchiveOpenFailedCode, "failed to open zip file"));
        return false;
    }
    unz_global_info64 globalInfo{};
    if (unzGetGlobalInfo64(zip, &globalInfo) != UNZ_OK || unzGoToFirstFile(zip) != UNZ_OK) {
        unzClose(zip);
        report(error, zipError(kZipArchiveNoFirstEntryCode, "failed to open first file in zip file"));
        return false;
    }
    if (!checkExpansion(zip, destination, error)) {
        unzClose(zip);
        return false;
    }
    Extraction extraction(zip, path, destination, overwrite, password, cancellation);
    const bool result = extraction.extractEntries(globalInfo.number_entry, progress, error);
    unzClose(zip);
    extraction.applyDates();
    return result;
}

}  // namespace tomely
