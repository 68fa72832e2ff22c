#include "support/ZipArchive.h"

#include <unistd.h>
#include <unzip.h>

#include <array>
#include <climits>
#include <ctime>
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
#include "support/ZipEntryPath.h"
#include "support/ZipEntryReader.h"

namespace tomely {
namespace {

constexpr std::size_t kReadBufferSize = 4096;
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

// One run of unzipFileAtPath over an archive whose first entry has been found.
class Extraction {
public:
    Extraction(unzFile zip, const std::string& destination, bool overwrite, std::string_view password)
        : zip_(zip), reader_(zip), tree_(destination), overwrite_(overwrite), password_(password) {}

    // Goes through every entry; false when one could not be opened or described.
    bool extractEntries(std::uint64_t totalFiles, const ZipArchive::ProgressObserver& progress) {
        std::uint64_t index = 0;
        do {
            if (!extractCurrentEntry()) {
                return false;
            }
            if (progress) {
                progress(index, totalFiles);
            }
            ++index;
        } while (unzGoToNextFile(zip_) == UNZ_OK);
        return true;
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
    bool extractCurrentEntry() {
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
            return false;
        }
        // The name length is a 16-bit field, so this buffer stays small whatever the archive claims.
        std::string rawName(info.size_filename + 1, '\0');
        if (unzGetCurrentFileInfo64(zip_, &info, rawName.data(), rawName.size(), nullptr, 0, nullptr, 0) != UNZ_OK) {
            return false;
        }
        rawName.resize(info.size_filename);
        switch (reader_.open(info, password_)) {
            case ZipEntryReader::Opened::Yes:
                break;
            case ZipEntryReader::Opened::NeedsPassword:
                // Opened without one, the encrypted bytes would come out as the entry's data.
                SystemLog::write("[ZipArchive] The entry \"" + printableName(rawName) +
                                 "\" is encrypted and no password was given");
                return false;
            case ZipEntryReader::Opened::No:
                return false;
        }
        writeEntry(info, rawName);
        reader_.close();
        return true;
    }

    void writeEntry(const unz_file_info64& info, const std::string& rawName) {
        const ZipEntryPath path = ZipEntryPath::parse(rawName);
        if (path.verdict != ZipEntryPath::Verdict::Accepted) {
            skip(rawName, reasonText(path.verdict));
            return;
        }
        const bool isLink = !path.isDirectory && isSymbolicLinkEntry(info);
        const std::time_t modDate = timeFromDosDate(static_cast<std::uint32_t>(info.dosDate));
        const std::span<const std::string> components = path.components;
        const auto directoryComponents = path.isDirectory ? components : components.first(components.size() - 1);

        Error failure;
        const DestinationTree::Directory directory = tree_.openDirectory(directoryComponents, true, &failure);
        if (!directory.crossedLink.empty()) {
            skip(rawName, "its path passes through the symbolic link \"" + directory.crossedLink + "\"");
            return;
        }
        if (!directory.isOpen()) {
            SystemLog::write("[ZipArchive] Error: " + failure.localizedDescription());
        }
        if (!isLink) {
            dateRecords_.emplace(path.components, modDate);
        }
        if (path.isDirectory || !directory.isOpen()) {
            return;
        }
        const std::string& name = path.components.back();
        if (!overwrite_ && DestinationTree::exists(directory, name)) {
            return;
        }
        if (isLink) {
            writeLink(directory, path, rawName);
        } else {
            writeFile(directory, path, info.dosDate != 0 ? std::optional(modDate) : std::nullopt);
        }
    }

    void writeFile(const DestinationTree::Directory& directory, const ZipEntryPath& path,
                   std::optional<std::time_t> modDate) {
        const FileDescriptor file = DestinationTree::createFile(directory, path.components.back());
        if (!file.isOpen()) {
            return;
        }
        std::array<std::uint8_t, kReadBufferSize> buffer{};
        for (;;) {
            const std::optional<std::size_t> read = reader_.read(buffer);
            // A read error ends the file where the data stopped.
            if (!read || *read == 0) {
                break;
            }
            Error failure;
            if (!writeAll(file.get(), std::span(buffer).first(*read), &failure)) {
                SystemLog::write("[ZipArchive] Failed to write \"" + tree_.fullPath(path.components) +
                                 "\": write: " + failure.localizedDescription());
                break;
            }
        }
        if (modDate && !DestinationTree::setFileModificationDate(file, *modDate)) {
            SystemLog::write("[ZipArchive] Failed to set attributes");
        }
    }

    void writeLink(const DestinationTree::Directory& directory, const ZipEntryPath& path, const std::string& rawName) {
        const std::optional<std::string> target = readLinkTarget();
        if (!target || !utf8::isValid(*target)) {
            skip(rawName, "its link target cannot be read as a path");
            return;
        }
        if (!linkTargetStaysInside(*target, path.components.size() - 1)) {
            skip(rawName, "its link target \"" + printableName(*target) + "\" leads out of the destination");
            return;
        }
        Error failure;
        if (!DestinationTree::createSymbolicLink(directory, path.components.back(), *target, &failure)) {
            SystemLog::write("Failed to create symbolic link at \"" + fileURLString(tree_.fullPath(path.components)) +
                             "\" to \"" + fileURLString(*target) + "\". Error: " + failure.localizedDescription());
        }
    }

    // The whole entry data, unless it fails to read or is longer than any path can be.
    std::optional<std::string> readLinkTarget() {
        std::string target;
        std::array<std::uint8_t, kReadBufferSize> buffer{};
        for (;;) {
            const std::optional<std::size_t> read = reader_.read(buffer);
            if (!read || target.size() + *read > kMaxLinkTargetLength) {
                return std::nullopt;
            }
            if (*read == 0) {
                return target;
            }
            target.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*read));
        }
    }

    static void skip(const std::string& rawName, std::string_view reason) {
        SystemLog::write("[ZipArchive] Skipped the entry \"" + printableName(rawName) + "\": " + std::string(reason));
    }

    unzFile zip_;
    ZipEntryReader reader_;
    DestinationTree tree_;
    const bool overwrite_;
    const std::string password_;
    // Ordered by path, so that applying them walks each directory once in a row.
    std::set<std::pair<std::vector<std::string>, std::time_t>> dateRecords_;
};

}  // namespace

bool ZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                 std::string_view password, Error* error) {
    return unzipFileAtPath(path, destination, overwrite, password, error, {});
}

bool ZipArchive::unzipFileAtPath(const std::string& path, const std::string& destination, bool overwrite,
                                 std::string_view password, Error* error, const ProgressObserver& progress) {
    unzFile zip = unzOpen64(path.c_str());
    if (zip == nullptr && isEmptyArchive(path)) {
        report(error, Error::make(std::string(kZipArchiveErrorDomain), kZipArchiveNoFirstEntryCode,
                                  "failed to open first file in zip file"));
        return false;
    }
    if (zip == nullptr) {
        report(error,
               Error::make(std::string(kZipArchiveErrorDomain), kZipArchiveOpenFailedCode, "failed to open zip file"));
        return false;
    }
    unz_global_info64 globalInfo{};
    if (unzGetGlobalInfo64(zip, &globalInfo) != UNZ_OK || unzGoToFirstFile(zip) != UNZ_OK) {
        unzClose(zip);
        report(error, Error::make(std::string(kZipArchiveErrorDomain), kZipArchiveNoFirstEntryCode,
                                  "failed to open first file in zip file"));
        return false;
    }
    Extraction extraction(zip, destination, overwrite, password);
    const bool result = extraction.extractEntries(globalInfo.number_entry, progress);
    unzClose(zip);
    extraction.applyDates();
    return result;
}

}  // namespace tomely
