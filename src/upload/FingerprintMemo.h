#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/Error.h"
#include "upload/SHA1Digest.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tomely {

// Carries SQLite's own result codes (SQLITE_FULL, SQLITE_IOERR_WRITE, ...) when no system error
// tells more.
inline constexpr std::string_view kSQLiteErrorDomain = "SQLiteErrorDomain";

// Remembers part fingerprints across runs. A fingerprint is a pure function of the part's bytes,
// given zlib's version and deflateData()'s fixed settings, so a part seen before costs a SHA-1 of
// its raw bytes instead of a deflate. Entries are kept under that raw SHA-1, for the zlib version
// and deflate settings of this build.
//
// The memo is an SQLite database, "fingerprints.sqlite" in a directory of its own (for the
// uploader, cachesDirectory()). It guards against accidental damage (a torn write, a full disk, a
// bug, another zlib or schema), not against a hostile local user, who could change the book
// itself:
// - the schema, the zlib version and the deflate settings are checked when it opens; a memo made
//   for others is emptied;
// - every entry carries a checksum over those settings, its key and its value, and an entry whose
//   checksum fails empties the memo;
// - the caller recomputes the hits that shouldRecheck() picks, a sample fixed by the seed, and
//   empties the memo with drop() when one differs;
// - a file that SQLite finds damaged is deleted.
// Each of these says so in the system log. A memo that cannot be opened or read (a read-only or
// missing caches directory, another run holding it too long) recalls nothing: it costs speed,
// never a result. A write to it that fails (a full disk, an I/O error) is the caller's to hear,
// through save(): every other write of the sync that fails stops it, and so does this one.
//
// Processes may share a memo: SQLite's write-ahead log lets them read while one writes; writers
// wait for each other up to a time-out, after which the later one gives its batch up. save()
// keeps the entries within about Options::maxBytes by evicting the least recently used.
//
// Threads: every member may be called from any thread. The database opens at first use.
class FingerprintMemo {
public:
    struct Options {
        // Picks the hits that are rechecked: the same seed picks the same ones.
        std::uint64_t seed = 0;
        // About one hit in this many is rechecked; 1 rechecks every hit.
        std::uint64_t recheckOneIn = 32;
        // What the entries may take before the least recently used go.
        std::uint64_t maxBytes = std::uint64_t{64} << 20;
    };

    static constexpr std::string_view kFileName = "fingerprints.sqlite";

    // Options whose seed differs from run to run, so that over many runs every entry is rechecked.
    [[nodiscard]] static Options defaultOptions();
    // The uploader's memo, in cachesDirectory() with defaultOptions(); nothing (and a line in the
    // log) when there is no caches directory.
    [[nodiscard]] static std::shared_ptr<FingerprintMemo> inCachesDirectory();
    // The memo in "<directory>/fingerprints.sqlite"; nothing is opened or created yet.
    [[nodiscard]] static std::shared_ptr<FingerprintMemo> create(std::string directory, Options options);
    ~FingerprintMemo();
    FingerprintMemo(const FingerprintMemo&) = delete;
    FingerprintMemo& operator=(const FingerprintMemo&) = delete;

    // The fingerprint remembered for a part whose raw bytes have `rawDigest`; nothing when there
    // is none, or once the memo has been dropped.
    [[nodiscard]] std::optional<std::string> recall(const SHA1Digest& rawDigest);
    // Whether the caller is to recompute this hit and compare (drop() when it differs).
    [[nodiscard]] bool shouldRecheck(const SHA1Digest& rawDigest) const;
    // A fingerprint just computed from the bytes; written by save().
    void remember(const SHA1Digest& rawDigest, std::string fingerprint);
    // Something the memo said turned out wrong: forgets every entry and logs `why`.
    void drop(std::string_view why);
    // Whether the memo was dropped since it was created: what it recalled before may be wrong.
    [[nodiscard]] bool wasDropped() const;
    // Writes the entries remembered, marks those recalled as just used, and evicts the least
    // recently used beyond Options::maxBytes, in one transaction. False, with `error` naming the
    // file and the system's reason, when a write to the memo failed, then or before since it was
    // created; waiting too long for another run is no failure.
    [[nodiscard]] bool save(Error* error = nullptr);

private:
    FingerprintMemo(std::string directory, Options options);

    // All under mutex_.
    [[nodiscard]] bool ensureOpen();
    [[nodiscard]] int openWaitingForOthers();
    [[nodiscard]] int open();
    [[nodiscard]] int checkSchema();
    [[nodiscard]] int recreateSchema(bool replacesAnother);
    [[nodiscard]] int emptyForOtherSettings();
    [[nodiscard]] int writeBatch();
    [[nodiscard]] int evictLeastRecentlyUsed();
    [[nodiscard]] std::optional<std::string> lookUp(const SHA1Digest& rawDigest);
    void dropLocked(std::string_view why);
    // Gives the memo up after an SQLite failure `code` while `doing`; a damaged file is deleted.
    void giveUp(int code, std::string_view doing);
    // Keeps the first failed write, for save() to report.
    void noteWriteFailure(int code);
    void close();

    const std::string directory_;
    const std::string path_;
    const Options options_;
    mutable std::mutex mutex_;
    sqlite3* database_ = nullptr;
    sqlite3_stmt* lookUpStatement_ = nullptr;
    bool opened_ = false;
    bool unusable_ = false;
    bool dropped_ = false;
    // Emptying the table is still to be done (it found the memo busy).
    bool emptyingPending_ = false;
    std::optional<Error> writeFailure_;
    // Entries written or used by this run are stamped with it; the lowest stamps are evicted first.
    std::int64_t stamp_ = 0;
    std::map<SHA1Digest, std::string> remembered_;
    std::set<SHA1Digest> recalled_;
};

}  // namespace tomely
