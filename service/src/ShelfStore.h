#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Manifest.h"

namespace tomely::shelf {

class Database;

struct Account {
    std::int64_t id = 0;
    std::string email;
};

struct VersionRecord {
    std::int64_t id = 0;
    std::int64_t number = 0;  // 1 for a book's first upload
    std::string guid;
    std::int64_t size = 0;  // bytes of the .iba file
    std::string created;    // ISO 8601, UTC
};

struct BookRecord {
    std::int64_t id = 0;
    std::string title;
    std::string created;
    std::string updated;
    std::vector<VersionRecord> versions;  // newest first
};

// What the service learnt about a part when it accepted it.
struct PartRecord {
    std::uint64_t size = 0;  // bytes after inflating
    std::uint32_t crc = 0;   // CRC-32 after inflating
    // The deflate data ends byte-aligned without a final block, so parts can be chained.
    bool openEnded = false;
};

// The manifest entry a part upload names, with the upload it belongs to.
struct UploadEntry {
    std::int64_t uploadId = 0;
    BookTarget target;
    std::string fingerprint;
};

// Everything needed to turn a complete upload into a book version.
struct FinishPlan {
    std::int64_t accountId = 0;
    std::string guid;
    BookTarget target;
    std::vector<ManifestEntry> entries;  // by file, then index
    std::vector<PartRecord> parts;       // parallel to entries
};

struct VersionFile {
    std::string fileName;  // below the books directory
    std::string title;
    std::int64_t number = 0;
};

// Accounts, sessions, books, versions, uploads and who holds which part, in one SQLite file.
// Thread-safe: every method runs under one mutex, so each is atomic with respect to the others.
// Throws DatabaseError when SQLite fails.
class ShelfStore {
public:
    [[nodiscard]] static std::unique_ptr<ShelfStore> open(const std::filesystem::path& file);
    ~ShelfStore();

    // Accounts: e-mail addresses compare without regard to ASCII case.
    [[nodiscard]] bool createAccount(const std::string& email, const std::string& passwordHash);
    // Creates the account or replaces its password; true when it was created.
    bool setPassword(const std::string& email, const std::string& passwordHash);
    // The account and its stored password hash.
    [[nodiscard]] std::optional<std::pair<Account, std::string>> accountByEmail(const std::string& email);

    // Sessions are kept by the SHA-1 of their token, so the database never holds a live cookie.
    // Adding one also drops the sessions that have expired by `now`.
    void addSession(const std::string& tokenHash, std::int64_t accountId, std::int64_t expiresAt, std::int64_t now);
    [[nodiscard]] std::optional<Account> sessionAccount(const std::string& tokenHash, std::int64_t now);
    void removeSession(const std::string& tokenHash);

    [[nodiscard]] std::vector<BookRecord> books(std::int64_t accountId);
    [[nodiscard]] bool ownsBook(std::int64_t accountId, std::int64_t bookId);

    // Records a manifest as the account's pending upload for its GUID, replacing an earlier
    // pending one for the same GUID. Returns the upload's id.
    std::int64_t beginUpload(std::int64_t accountId, const Manifest& manifest);
    // The names whose fingerprints the account does not hold, one name per fingerprint.
    [[nodiscard]] std::vector<std::string> missingNames(std::int64_t accountId, std::int64_t uploadId);
    [[nodiscard]] std::optional<UploadEntry> pendingEntry(std::int64_t accountId, const std::string& guid,
                                                          const std::string& name);
    [[nodiscard]] std::optional<PartRecord> part(const std::string& fingerprint);
    // The part is stored: the account holds it from now on.
    void recordPart(std::int64_t accountId, const std::string& fingerprint, const PartRecord& part);
    // The stored copy turned out damaged: nobody holds the part any more, so it is asked for again.
    void forgetPart(const std::string& fingerprint);

    // Moves a pending upload whose parts the account all holds to "finishing"; false when the
    // upload is not pending, not complete, or another request is finishing it already.
    [[nodiscard]] bool claimFinish(std::int64_t accountId, std::int64_t uploadId);
    // Back to pending, when finishing failed.
    void releaseFinish(std::int64_t uploadId);
    [[nodiscard]] FinishPlan finishPlan(std::int64_t uploadId);
    // The latest version of the upload's book (or, for a new title, of the author's book of that
    // title) when it has the same GUID and content: a repeated upload of an unchanged book makes
    // no new version.
    [[nodiscard]] std::optional<VersionRecord> sameAsLatest(std::int64_t uploadId, const std::string& contentDigest);
    // Creates the book (for a new title) and its next version, and marks the upload finished.
    VersionRecord completeUpload(std::int64_t uploadId, const std::string& fileName, std::int64_t size,
                                 const std::string& contentDigest);
    // Marks the upload finished as the existing version `versionId`.
    void finishAsExisting(std::int64_t uploadId, std::int64_t versionId);

    // Bytes the account keeps: the parts it holds, as stored, and its book versions' files.
    [[nodiscard]] std::uint64_t storageUsed(std::int64_t accountId);

    [[nodiscard]] std::optional<VersionFile> versionFile(std::int64_t accountId, std::int64_t versionId);
    [[nodiscard]] std::vector<std::string> versionFileNames();

private:
    explicit ShelfStore(std::unique_ptr<Database> database);

    std::mutex mutex_;
    std::unique_ptr<Database> database_;
};

// The current time as ISO 8601 in UTC ("2024-05-01T12:00:00Z").
[[nodiscard]] std::string isoNow();

}  // namespace tomely::shelf
