#include "upload/FingerprintMemo.h"

#include <sqlite3.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "platform/PosixError.h"
#include "platform/PrivateFiles.h"
#include "platform/SystemLog.h"
#include "support/SupportDirectories.h"
#include "upload/DeflateData.h"

namespace tomely {
namespace {

// "TmFP" marks the file as a fingerprint memo; user_version holds the schema's version.
constexpr int kApplicationId = 0x546d4650;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMilliseconds = 2000;
// Eviction goes down to this share of maxBytes, so that it is not needed again at once.
constexpr double kEvictionTarget = 0.75;

constexpr const char* kCreateSchema =
    "CREATE TABLE about(name TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE fingerprints(digest BLOB PRIMARY KEY, fingerprint TEXT NOT NULL, checksum BLOB NOT NULL,"
    " used INTEGER NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX fingerprints_by_use ON fingerprints(used);";

// What every entry holds for: this zlib and these deflate settings. Never destroyed: hashing
// workers abandoned when the application ends may still be checking entries while the process's
// statics are destroyed.
const std::string& settingsText() {
    static const auto* const text =
        new std::string("zlib " + std::string(zlibVersion()) + "; " + std::string(kDeflateSettings));
    return *text;
}

SHA1Digest checksumOf(const SHA1Digest& rawDigest, std::string_view fingerprint) {
    std::string text = settingsText();
    text.push_back('\0');
    text.append(reinterpret_cast<const char*>(rawDigest.data()), rawDigest.size());
    text.append(fingerprint);
    return sha1Digest(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// Failures after which the file cannot be trusted at all, as opposed to being busy, read-only or
// out of room.
bool isDamage(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || code == SQLITE_IOERR_SHORT_READ;
}

// Failures of a write that was under way, as opposed to a memo that cannot be opened or read.
bool isWriteFailure(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_FULL ||
           (primary == SQLITE_IOERR && code != SQLITE_IOERR_READ && code != SQLITE_IOERR_SHORT_READ);
}

// splitmix64's finaliser: spreads the seed over which digests are picked.
std::uint64_t mixed(std::uint64_t value) {
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30U)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27U)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31U);
}

void log(std::string_view what) {
    SystemLog::write("Fingerprint memo " + std::string(what));
}

class Statement {
public:
    Statement(sqlite3* database, const char* sql)
        : code_(sqlite3_prepare_v2(database, sql, -1, &statement_, nullptr)) {}
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // SQLITE_ROW, SQLITE_DONE or the failure, also that of the preparation.
    [[nodiscard]] int step() { return code_ == SQLITE_OK ? sqlite3_step(statement_) : code_; }
    // Steps to the end, ready to run again with new values; SQLITE_OK when it ran through.
    [[nodiscard]] int run() {
        const int code = step();
        sqlite3_reset(statement_);
        return code == SQLITE_DONE || code == SQLITE_ROW ? SQLITE_OK : code;
    }
    void bind(int index, const SHA1Digest& digest) {
        sqlite3_bind_blob(statement_, index, digest.data(), static_cast<int>(digest.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, std::string_view text) {
        sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, std::int64_t number) { sqlite3_bind_int64(statement_, index, number); }
    [[nodiscard]] std::int64_t integer(int column) { return sqlite3_column_int64(statement_, column); }
    [[nodiscard]] std::string text(int column) {
        const auto* characters = sqlite3_column_text(statement_, column);
        return characters == nullptr ? std::string()
                                     : std::string(reinterpret_cast<const char*>(characters),
                                                   static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
    }

private:
    sqlite3_stmt* statement_ = nullptr;
    int code_;
};

int execute(sqlite3* database, const std::string& sql) {
    return sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr);
}

// The single integer a query or pragma answers; nothing on failure (`code` says which).
std::optional<std::int64_t> integerOf(sqlite3* database, const char* sql, int& code) {
    Statement query(database, sql);
    code = query.step();
    if (code != SQLITE_ROW) {
        return std::nullopt;
    }
    code = SQLITE_OK;
    return query.integer(0);
}

enum class Schema { Ours, None, Other };

// Whose tables the file holds: this memo's, none at all (a new file), or others.
std::optional<Schema> schemaOf(sqlite3* database, int& code) {
    const auto applicationId = integerOf(database, "PRAGMA application_id", code);
    const auto version = applicationId ? integerOf(database, "PRAGMA user_version", code) : std::nullopt;
    const auto ours = version ? integerOf(database,
                                          "SELECT count(*) FROM sqlite_master"
                                          " WHERE name IN ('about', 'fingerprints', 'fingerprints_by_use')",
                                          code)
                              : std::nullopt;
    const auto all = ours ? integerOf(database, "SELECT count(*) FROM sqlite_master", code) : std::nullopt;
    if (!all) {
        return std::nullopt;
    }
    if (*applicationId == kApplicationId && *version == kSchemaVersion && *ours == 3) {
        return Schema::Ours;
    }
    return *all == 0 && *applicationId == 0 && *version == 0 ? Schema::None : Schema::Other;
}

// The deflate settings the entries were made for; "" in a new memo, nothing on failure.
std::optional<std::string> storedSettings(sqlite3* database, int& code) {
    Statement query(database, "SELECT value FROM about WHERE name = 'settings'");
    code = query.step();
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        return std::nullopt;
    }
    std::string value = code == SQLITE_ROW ? query.text(0) : std::string();
    code = SQLITE_OK;
    return value;
}

// Runs `work` in a write transaction, committed when it returns SQLITE_OK and rolled back else.
template <typename Work>
int inWriteTransaction(sqlite3* database, Work work) {
    int code = execute(database, "BEGIN IMMEDIATE");
    if (code != SQLITE_OK) {
        return code;
    }
    code = work();
    if (code == SQLITE_OK) {
        code = execute(database, "COMMIT");
    }
    if (code != SQLITE_OK) {
        (void)execute(database, "ROLLBACK");  // The failure that led here is the one to report.
    }
    return code;
}

}  // namespace

FingerprintMemo::Options FingerprintMemo::defaultOptions() {
    std::random_device random;
    Options options;
    options.seed = (std::uint64_t{random()} << 32U) | random();
    return options;
}

std::shared_ptr<FingerprintMemo> FingerprintMemo::inCachesDirectory() {
    Error error;
    const std::optional<std::string> directory = cachesDirectory(&error);
    if (!directory) {
        log("unavailable: " + error.localizedDescription());
        return nullptr;
    }
    return create(*directory, defaultOptions());
}

std::shared_ptr<FingerprintMemo> FingerprintMemo::create(std::string directory, Options options) {
    return std::shared_ptr<FingerprintMemo>(new FingerprintMemo(std::move(directory), options));
}

FingerprintMemo::FingerprintMemo(std::string directory, Options options)
    : directory_(std::move(directory)), path_(directory_ + "/" + std::string(kFileName)), options_(options) {}

FingerprintMemo::~FingerprintMemo() {
    close();
}

std::optional<std::string> FingerprintMemo::recall(const SHA1Digest& rawDigest) {
    std::scoped_lock lock(mutex_);
    if (dropped_ || !ensureOpen()) {
        return std::nullopt;
    }
    std::optional<std::string> fingerprint = lookUp(rawDigest);
    if (fingerprint) {
        recalled_.insert(rawDigest);
    }
    return fingerprint;
}

bool FingerprintMemo::shouldRecheck(const SHA1Digest& rawDigest) const {
    if (options_.recheckOneIn <= 1) {
        return true;
    }
    std::uint64_t key = 0;
    std::memcpy(&key, rawDigest.data(), sizeof key);
    return mixed(key ^ options_.seed) % options_.recheckOneIn == 0;
}

void FingerprintMemo::remember(const SHA1Digest& rawDigest, std::string fingerprint) {
    std::scoped_lock lock(mutex_);
    if (!unusable_) {
        remembered_[rawDigest] = std::move(fingerprint);
    }
}

void FingerprintMemo::drop(std::string_view why) {
    std::scoped_lock lock(mutex_);
    dropLocked(why);
}

bool FingerprintMemo::wasDropped() const {
    std::scoped_lock lock(mutex_);
    return dropped_;
}

bool FingerprintMemo::save(Error* error) {
    std::scoped_lock lock(mutex_);
    if (ensureOpen() && (!remembered_.empty() || !recalled_.empty() || emptyingPending_)) {
        const int code = inWriteTransaction(database_, [this] { return writeBatch(); });
        if (code == SQLITE_OK) {
            emptyingPending_ = false;
        } else if (isDamage(code)) {
            giveUp(code, "saving");
        } else {
            // Busy with another run for too long, or out of room: this run's entries are lost.
            noteWriteFailure(code);
            log("not saved: " + std::string(sqlite3_errmsg(database_)));
        }
    }
    remembered_.clear();
    recalled_.clear();
    if (writeFailure_) {
        report(error, *writeFailure_);
        return false;
    }
    return true;
}

void FingerprintMemo::noteWriteFailure(int code) {
    if (writeFailure_ || !isWriteFailure(code)) {
        return;
    }
    const std::string what = "Could not write the fingerprint memo \"" + path_ + "\"";
    int systemError = database_ != nullptr ? sqlite3_system_errno(database_) : 0;
    // The rollback after a failed write can clear the system's number; a full file is a full disk.
    if (systemError == 0 && (code & 0xff) == SQLITE_FULL) {
        systemError = ENOSPC;
    }
    writeFailure_ = systemError != 0 ? posixError(systemError, what)
                                     : Error::make(std::string(kSQLiteErrorDomain), code,
                                                   what + ": " + std::string(sqlite3_errstr(code)));
}

bool FingerprintMemo::ensureOpen() {
    if (opened_ || unusable_) {
        return opened_;
    }
    int code = openWaitingForOthers();
    if (isDamage(code)) {
        // Nothing was recalled from it yet: start afresh.
        giveUp(code, "opening it");
        unusable_ = false;
        dropped_ = false;
        code = openWaitingForOthers();
    }
    if (code != SQLITE_OK) {
        giveUp(code, "opening it");
        return false;
    }
    opened_ = true;
    return true;
}

int FingerprintMemo::openWaitingForOthers() {
    // Turning a new file to write-ahead logging fails at once, without the busy handler, while
    // another run holds it; that run is about to let go, so opening is tried again for a while.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMilliseconds);
    int code = open();
    while ((code & 0xff) == SQLITE_BUSY && std::chrono::steady_clock::now() < deadline) {
        close();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        code = open();
    }
    return code;
}

int FingerprintMemo::open() {
    // Owner-only before SQLite opens it: its -wal and -shm files take the database file's
    // permissions. Made more open by an older version, they are closed to others now. A failure
    // here shows as SQLite's own when it opens the file.
    (void)createPrivateDirectories(directory_);
    (void)createPrivateFile(path_);
    for (const char* suffix : {"-wal", "-shm"}) {
        (void)restrictToOwner(path_ + suffix);
    }
    int code = sqlite3_open_v2(path_.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code != SQLITE_OK) {
        return code;
    }
    sqlite3_extended_result_codes(database_, 1);
    sqlite3_busy_timeout(database_, kBusyTimeoutMilliseconds);
    // Readers go on while another process writes; losing the last commits to a power cut costs
    // only speed, so commits need not wait for the disk.
    if ((code = execute(database_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL")) != SQLITE_OK ||
        (code = checkSchema()) != SQLITE_OK) {
        return code;
    }
    const std::optional<std::int64_t> newest =
        integerOf(database_, "SELECT ifnull(max(used), 0) FROM fingerprints", code);
    if (!newest) {
        return code;
    }
    stamp_ = *newest + 1;
    return sqlite3_prepare_v2(database_, "SELECT fingerprint, checksum FROM fingerprints WHERE digest = ?", -1,
                              &lookUpStatement_, nullptr);
}

int FingerprintMemo::checkSchema() {
    int code = SQLITE_OK;
    const std::optional<Schema> schema = schemaOf(database_, code);
    if (!schema) {
        return code;
    }
    if (*schema == Schema::Ours) {
        const std::optional<std::string> settings = storedSettings(database_, code);
        if (!settings || *settings == settingsText()) {
            // Nearly always: nothing needs writing.
            return code;
        }
    }
    return inWriteTransaction(database_, [this] {
        // Looked at again under the lock: another process may have done it meanwhile.
        int result = SQLITE_OK;
        const std::optional<Schema> found = schemaOf(database_, result);
        if (!found) {
            return result;
        }
        if (*found != Schema::Ours && (result = recreateSchema(*found == Schema::Other)) != SQLITE_OK) {
            return result;
        }
        return emptyForOtherSettings();
    });
}

int FingerprintMemo::recreateSchema(bool replacesAnother) {
    std::vector<std::string> tables;
    {
        Statement query(database_, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite%'");
        int code = SQLITE_OK;
        while ((code = query.step()) == SQLITE_ROW) {
            tables.push_back(query.text(0));
        }
        if (code != SQLITE_DONE) {
            return code;
        }
    }
    for (const std::string& table : tables) {
        std::string quoted;
        for (const char c : table) {
            quoted += c == '"' ? "\"\"" : std::string(1, c);
        }
        if (const int code = execute(database_, "DROP TABLE \"" + quoted + "\""); code != SQLITE_OK) {
            return code;
        }
    }
    const int code =
        execute(database_, std::string(kCreateSchema) + "PRAGMA application_id = " + std::to_string(kApplicationId) +
                               "; PRAGMA user_version = " + std::to_string(kSchemaVersion));
    if (code == SQLITE_OK && replacesAnother) {
        log("dropped: it was made with another schema");
    }
    return code;
}

int FingerprintMemo::emptyForOtherSettings() {
    int code = SQLITE_OK;
    const std::optional<std::string> settings = storedSettings(database_, code);
    if (!settings || *settings == settingsText()) {
        return code;
    }
    if ((code = execute(database_, "DELETE FROM fingerprints")) != SQLITE_OK) {
        return code;
    }
    Statement store(database_, "INSERT OR REPLACE INTO about(name, value) VALUES('settings', ?)");
    store.bind(1, settingsText());
    if ((code = store.run()) == SQLITE_OK && !settings->empty()) {
        log("dropped: it was made for another zlib or other deflate settings (" + *settings + ")");
    }
    return code;
}

int FingerprintMemo::writeBatch() {
    int code = SQLITE_OK;
    if (emptyingPending_ && (code = execute(database_, "DELETE FROM fingerprints")) != SQLITE_OK) {
        return code;
    }
    Statement insert(database_,
                     "INSERT OR REPLACE INTO fingerprints(digest, fingerprint, checksum, used) VALUES(?, ?, ?, ?)");
    for (const auto& [digest, fingerprint] : remembered_) {
        insert.bind(1, digest);
        insert.bind(2, fingerprint);
        insert.bind(3, checksumOf(digest, fingerprint));
        insert.bind(4, stamp_);
        if ((code = insert.run()) != SQLITE_OK) {
            return code;
        }
    }
    Statement touch(database_, "UPDATE fingerprints SET used = ? WHERE digest = ?");
    for (const SHA1Digest& digest : recalled_) {
        touch.bind(1, stamp_);
        touch.bind(2, digest);
        if ((code = touch.run()) != SQLITE_OK) {
            return code;
        }
    }
    return evictLeastRecentlyUsed();
}

int FingerprintMemo::evictLeastRecentlyUsed() {
    int code = SQLITE_OK;
    const auto pageSize = integerOf(database_, "PRAGMA page_size", code);
    const auto pages = pageSize ? integerOf(database_, "PRAGMA page_count", code) : std::nullopt;
    const auto freePages = pages ? integerOf(database_, "PRAGMA freelist_count", code) : std::nullopt;
    if (!freePages) {
        return code;
    }
    // Freed pages are used again before the file grows, so the file stays near the bound.
    const auto used = static_cast<double>((*pages - *freePages) * *pageSize);
    if (used <= static_cast<double>(options_.maxBytes)) {
        return SQLITE_OK;
    }
    const auto rows = integerOf(database_, "SELECT count(*) FROM fingerprints", code);
    if (!rows) {
        return code;
    }
    const auto kept = static_cast<std::int64_t>(static_cast<double>(*rows) * kEvictionTarget *
                                                static_cast<double>(options_.maxBytes) / used);
    Statement evict(database_,
                    "DELETE FROM fingerprints WHERE digest IN (SELECT digest FROM fingerprints ORDER BY used LIMIT ?)");
    evict.bind(1, *rows - kept);
    return evict.run();
}

std::optional<std::string> FingerprintMemo::lookUp(const SHA1Digest& rawDigest) {
    sqlite3_bind_blob(lookUpStatement_, 1, rawDigest.data(), static_cast<int>(rawDigest.size()), SQLITE_TRANSIENT);
    const int code = sqlite3_step(lookUpStatement_);
    std::optional<std::string> fingerprint;
    bool intact = true;
    if (code == SQLITE_ROW) {
        const auto* text = sqlite3_column_text(lookUpStatement_, 0);
        fingerprint = std::string(text == nullptr ? "" : reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(lookUpStatement_, 0)));
        const SHA1Digest expected = checksumOf(rawDigest, *fingerprint);
        const void* checksum = sqlite3_column_blob(lookUpStatement_, 1);
        intact = sqlite3_column_bytes(lookUpStatement_, 1) == static_cast<int>(expected.size()) &&
                 std::memcmp(checksum, expected.data(), expected.size()) == 0;
    }
    // A statement left unreset would hold its read transaction and keep the log from being folded back.
    sqlite3_reset(lookUpStatement_);
    if (code != SQLITE_ROW && code != SQLITE_DONE) {
        giveUp(code, "reading it");
        return std::nullopt;
    }
    if (!intact) {
        dropLocked("an entry's checksum does not match");
        return std::nullopt;
    }
    return fingerprint;
}

void FingerprintMemo::dropLocked(std::string_view why) {
    if (!dropped_) {
        log("dropped: " + std::string(why));
    }
    dropped_ = true;
    recalled_.clear();
    emptyingPending_ = true;
    if (!opened_) {
        return;
    }
    // Emptied now, so that a run that ends before save() does not meet the same entries again.
    const int code = inWriteTransaction(database_, [this] { return execute(database_, "DELETE FROM fingerprints"); });
    if (code == SQLITE_OK) {
        emptyingPending_ = false;
    } else if (isDamage(code)) {
        giveUp(code, "emptying it");
    } else {
        noteWriteFailure(code);
    }
}

void FingerprintMemo::giveUp(int code, std::string_view doing) {
    noteWriteFailure(code);
    const std::string message = database_ != nullptr ? sqlite3_errmsg(database_) : sqlite3_errstr(code);
    close();
    unusable_ = true;
    dropped_ = true;
    remembered_.clear();
    recalled_.clear();
    if (isDamage(code)) {
        std::error_code ignored;
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(path_ + suffix, ignored);
        }
        log("deleted: the file is damaged (" + message + ")");
    } else {
        log("unavailable while " + std::string(doing) + ": " + message);
    }
}

void FingerprintMemo::close() {
    sqlite3_finalize(lookUpStatement_);
    lookUpStatement_ = nullptr;
    sqlite3_close_v2(database_);
    database_ = nullptr;
    opened_ = false;
}

}  // namespace tomely
