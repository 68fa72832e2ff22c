#include "ShelfStore.h"

#include <chrono>
#include <ctime>

#include "Database.h"

namespace tomely::shelf {

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS accounts(
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL UNIQUE COLLATE NOCASE,
    password TEXT NOT NULL,
    created TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS sessions(
    token_hash TEXT PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id),
    expires INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS parts(
    fingerprint TEXT PRIMARY KEY,
    size INTEGER NOT NULL,
    crc INTEGER NOT NULL,
    open_ended INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS holdings(
    account_id INTEGER NOT NULL REFERENCES accounts(id),
    fingerprint TEXT NOT NULL REFERENCES parts(fingerprint),
    PRIMARY KEY(account_id, fingerprint)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS books(
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id),
    title TEXT NOT NULL,
    created TEXT NOT NULL,
    updated TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS versions(
    id INTEGER PRIMARY KEY,
    book_id INTEGER NOT NULL REFERENCES books(id),
    number INTEGER NOT NULL,
    guid TEXT NOT NULL,
    file TEXT NOT NULL,
    size INTEGER NOT NULL,
    content TEXT NOT NULL,
    created TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS uploads(
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id),
    guid TEXT NOT NULL,
    book_id INTEGER,
    book_name TEXT,
    state TEXT NOT NULL,
    created TEXT NOT NULL,
    version_id INTEGER REFERENCES versions(id));
CREATE TABLE IF NOT EXISTS upload_entries(
    upload_id INTEGER NOT NULL REFERENCES uploads(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fingerprint TEXT NOT NULL,
    file TEXT NOT NULL,
    idx INTEGER NOT NULL,
    PRIMARY KEY(upload_id, name)) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS uploads_by_guid ON uploads(account_id, guid, state);
CREATE INDEX IF NOT EXISTS books_by_account ON books(account_id);
CREATE INDEX IF NOT EXISTS versions_by_book ON versions(book_id);
)sql";

BookTarget targetFrom(const Statement& row, int bookIdColumn, int bookNameColumn) {
    BookTarget target;
    if (!row.isNull(bookIdColumn)) {
        target.bookId = row.integer(bookIdColumn);
    }
    if (!row.isNull(bookNameColumn)) {
        target.bookName = row.text(bookNameColumn);
    }
    return target;
}

}  // namespace

std::string isoNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::unique_ptr<ShelfStore> ShelfStore::open(const std::filesystem::path& file) {
    auto database = Database::open(file);
    database->execute(kSchema);
    // A finish that a killed process left half done starts again from its stored parts.
    database->execute("UPDATE uploads SET state = 'pending' WHERE state = 'finishing'");
    return std::unique_ptr<ShelfStore>(new ShelfStore(std::move(database)));
}

ShelfStore::ShelfStore(std::unique_ptr<Database> database) : database_(std::move(database)) {}

ShelfStore::~ShelfStore() = default;

bool ShelfStore::createAccount(const std::string& email, const std::string& passwordHash) {
    std::scoped_lock lock(mutex_);
    database_->prepare("INSERT OR IGNORE INTO accounts(email, password, created) VALUES(?, ?, ?)")
        .bind(1, email)
        .bind(2, passwordHash)
        .bind(3, isoNow())
        .run();
    return database_->changes() == 1;
}

bool ShelfStore::setPassword(const std::string& email, const std::string& passwordHash) {
    std::scoped_lock lock(mutex_);
    Transaction transaction(*database_);
    database_->prepare("UPDATE accounts SET password = ? WHERE email = ?").bind(1, passwordHash).bind(2, email).run();
    const bool created = database_->changes() == 0;
    if (created) {
        database_->prepare("INSERT INTO accounts(email, password, created) VALUES(?, ?, ?)")
            .bind(1, email)
            .bind(2, passwordHash)
            .bind(3, isoNow())
            .run();
    }
    transaction.commit();
    return created;
}

std::optional<std::pair<Account, std::string>> ShelfStore::accountByEmail(const std::string& email) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare("SELECT id, email, password FROM accounts WHERE email = ?");
    row.bind(1, email);
    if (!row.step()) {
        return std::nullopt;
    }
    return std::make_pair(Account{row.integer(0), row.text(1)}, row.text(2));
}

void ShelfStore::addSession(const std::string& tokenHash, std::int64_t accountId, std::int64_t expiresAt,
                            std::int64_t now) {
    std::scoped_lock lock(mutex_);
    database_->prepare("DELETE FROM sessions WHERE expires <= ?").bind(1, now).run();
    database_->prepare("INSERT INTO sessions(token_hash, account_id, expires) VALUES(?, ?, ?)")
        .bind(1, tokenHash)
        .bind(2, accountId)
        .bind(3, expiresAt)
        .run();
}

std::optional<Account> ShelfStore::sessionAccount(const std::string& tokenHash, std::int64_t now) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare(
        "SELECT accounts.id, accounts.email FROM sessions JOIN accounts ON accounts.id = sessions.account_id "
        "WHERE sessions.token_hash = ? AND sessions.expires > ?");
    row.bind(1, tokenHash).bind(2, now);
    if (!row.step()) {
        return std::nullopt;
    }
    return Account{row.integer(0), row.text(1)};
}

void ShelfStore::removeSession(const std::string& tokenHash) {
    std::scoped_lock lock(mutex_);
    database_->prepare("DELETE FROM sessions WHERE token_hash = ?").bind(1, tokenHash).run();
}

std::vector<BookRecord> ShelfStore::books(std::int64_t accountId) {
    std::scoped_lock lock(mutex_);
    std::vector<BookRecord> books;
    auto row = database_->prepare(
        "SELECT id, title, created, updated FROM books WHERE account_id = ? ORDER BY updated DESC, id DESC");
    row.bind(1, accountId);
    while (row.step()) {
        books.push_back({row.integer(0), row.text(1), row.text(2), row.text(3), {}});
    }
    for (auto& book : books) {
        auto version = database_->prepare(
            "SELECT id, number, guid, size, created FROM versions WHERE book_id = ? ORDER BY number DESC");
        version.bind(1, book.id);
        while (version.step()) {
            book.versions.push_back(
                {version.integer(0), version.integer(1), version.text(2), version.integer(3), version.text(4)});
        }
    }
    return books;
}

bool ShelfStore::ownsBook(std::int64_t accountId, std::int64_t bookId) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare("SELECT 1 FROM books WHERE id = ? AND account_id = ?");
    row.bind(1, bookId).bind(2, accountId);
    return row.step();
}

std::int64_t ShelfStore::beginUpload(std::int64_t accountId, const Manifest& manifest) {
    std::scoped_lock lock(mutex_);
    Transaction transaction(*database_);
    database_->prepare("DELETE FROM uploads WHERE account_id = ? AND guid = ? AND state = 'pending'")
        .bind(1, accountId)
        .bind(2, manifest.bookGuid)
        .run();
    auto insert = database_->prepare(
        "INSERT INTO uploads(account_id, guid, book_id, book_name, state, created) VALUES(?, ?, ?, ?, 'pending', ?)");
    insert.bind(1, accountId).bind(2, manifest.bookGuid).bind(5, isoNow());
    if (manifest.target.bookId) {
        insert.bind(3, *manifest.target.bookId).bindNull(4);
    } else {
        insert.bindNull(3).bind(4, *manifest.target.bookName);
    }
    insert.run();
    const std::int64_t uploadId = database_->lastInsertRowId();
    auto entry =
        database_->prepare("INSERT INTO upload_entries(upload_id, name, fingerprint, file, idx) VALUES(?, ?, ?, ?, ?)");
    for (const auto& item : manifest.entries) {
        entry.bind(1, uploadId)
            .bind(2, item.name)
            .bind(3, item.fingerprint)
            .bind(4, item.file())
            .bind(5, static_cast<std::int64_t>(item.index));
        entry.run();
        entry.reset();
    }
    transaction.commit();
    return uploadId;
}

std::vector<std::string> ShelfStore::missingNames(std::int64_t accountId, std::int64_t uploadId) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare(
        "SELECT MIN(name) AS first FROM upload_entries e WHERE upload_id = ? AND NOT EXISTS "
        "(SELECT 1 FROM holdings h WHERE h.account_id = ? AND h.fingerprint = e.fingerprint) "
        "GROUP BY fingerprint ORDER BY first");
    row.bind(1, uploadId).bind(2, accountId);
    std::vector<std::string> names;
    while (row.step()) {
        names.push_back(row.text(0));
    }
    return names;
}

std::optional<UploadEntry> ShelfStore::pendingEntry(std::int64_t accountId, const std::string& guid,
                                                    const std::string& name) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare(
        "SELECT u.id, u.book_id, u.book_name, e.fingerprint FROM uploads u JOIN upload_entries e ON e.upload_id = u.id "
        "WHERE u.account_id = ? AND u.guid = ? AND u.state = 'pending' AND e.name = ?");
    row.bind(1, accountId).bind(2, guid).bind(3, name);
    if (!row.step()) {
        return std::nullopt;
    }
    return UploadEntry{row.integer(0), targetFrom(row, 1, 2), row.text(3)};
}

std::optional<PartRecord> ShelfStore::part(const std::string& fingerprint) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare("SELECT size, crc, open_ended FROM parts WHERE fingerprint = ?");
    row.bind(1, fingerprint);
    if (!row.step()) {
        return std::nullopt;
    }
    return PartRecord{static_cast<std::uint64_t>(row.integer(0)), static_cast<std::uint32_t>(row.integer(1)),
                      row.integer(2) != 0};
}

void ShelfStore::recordPart(std::int64_t accountId, const std::string& fingerprint, const PartRecord& part) {
    std::scoped_lock lock(mutex_);
    Transaction transaction(*database_);
    database_->prepare("INSERT OR IGNORE INTO parts(fingerprint, size, crc, open_ended) VALUES(?, ?, ?, ?)")
        .bind(1, fingerprint)
        .bind(2, static_cast<std::int64_t>(part.size))
        .bind(3, static_cast<std::int64_t>(part.crc))
        .bind(4, part.openEnded ? 1 : 0)
        .run();
    database_->prepare("INSERT OR IGNORE INTO holdings(account_id, fingerprint) VALUES(?, ?)")
        .bind(1, accountId)
        .bind(2, fingerprint)
        .run();
    transaction.commit();
}

void ShelfStore::forgetPart(const std::string& fingerprint) {
    std::scoped_lock lock(mutex_);
    Transaction transaction(*database_);
    database_->prepare("DELETE FROM holdings WHERE fingerprint = ?").bind(1, fingerprint).run();
    database_->prepare("DELETE FROM parts WHERE fingerprint = ?").bind(1, fingerprint).run();
    transaction.commit();
}

bool ShelfStore::claimFinish(std::int64_t accountId, std::int64_t uploadId) {
    std::scoped_lock lock(mutex_);
    database_
        ->prepare(
            "UPDATE uploads SET state = 'finishing' WHERE id = ? AND state = 'pending' AND NOT EXISTS "
            "(SELECT 1 FROM upload_entries e WHERE e.upload_id = uploads.id AND NOT EXISTS "
            "(SELECT 1 FROM holdings h WHERE h.account_id = ? AND h.fingerprint = e.fingerprint))")
        .bind(1, uploadId)
        .bind(2, accountId)
        .run();
    return database_->changes() == 1;
}

void ShelfStore::releaseFinish(std::int64_t uploadId) {
    std::scoped_lock lock(mutex_);
    database_->prepare("UPDATE uploads SET state = 'pending' WHERE id = ? AND state = 'finishing'")
        .bind(1, uploadId)
        .run();
}

FinishPlan ShelfStore::finishPlan(std::int64_t uploadId) {
    std::scoped_lock lock(mutex_);
    FinishPlan plan;
    auto upload = database_->prepare("SELECT account_id, guid, book_id, book_name FROM uploads WHERE id = ?");
    upload.bind(1, uploadId);
    if (!upload.step()) {
        throw DatabaseError("upload " + std::to_string(uploadId) + " is gone");
    }
    plan.accountId = upload.integer(0);
    plan.guid = upload.text(1);
    plan.target = targetFrom(upload, 2, 3);
    auto row = database_->prepare(
        "SELECT e.name, e.fingerprint, e.file, e.idx, p.size, p.crc, p.open_ended FROM upload_entries e "
        "JOIN parts p ON p.fingerprint = e.fingerprint WHERE e.upload_id = ? ORDER BY e.file, e.idx");
    row.bind(1, uploadId);
    while (row.step()) {
        plan.entries.push_back(
            {row.text(0), row.text(1), static_cast<std::uint64_t>(row.integer(3)), row.text(2).size()});
        plan.parts.push_back({static_cast<std::uint64_t>(row.integer(4)), static_cast<std::uint32_t>(row.integer(5)),
                              row.integer(6) != 0});
    }
    return plan;
}

std::optional<VersionRecord> ShelfStore::sameAsLatest(std::int64_t uploadId, const std::string& contentDigest) {
    std::scoped_lock lock(mutex_);
    // For a new title, the author's book of that title counts: a repeated "new book" upload whose
    // answer was lost must not make a second, identical book.
    auto row = database_->prepare(
        "SELECT v.id, v.number, v.guid, v.size, v.created, v.content, u.guid FROM uploads u JOIN books b ON "
        "(b.id = u.book_id OR (u.book_id IS NULL AND b.account_id = u.account_id AND b.title = u.book_name)) "
        "JOIN versions v ON v.book_id = b.id WHERE u.id = ? ORDER BY v.id DESC LIMIT 1");
    row.bind(1, uploadId);
    if (!row.step() || row.text(2) != row.text(6) || row.text(5) != contentDigest) {
        return std::nullopt;
    }
    return VersionRecord{row.integer(0), row.integer(1), row.text(2), row.integer(3), row.text(4)};
}

VersionRecord ShelfStore::completeUpload(std::int64_t uploadId, const std::string& fileName, std::int64_t size,
                                         const std::string& contentDigest) {
    std::scoped_lock lock(mutex_);
    Transaction transaction(*database_);
    auto upload = database_->prepare("SELECT account_id, guid, book_id, book_name FROM uploads WHERE id = ?");
    upload.bind(1, uploadId);
    if (!upload.step()) {
        throw DatabaseError("upload " + std::to_string(uploadId) + " is gone");
    }
    const std::string now = isoNow();
    std::int64_t bookId = 0;
    if (upload.isNull(2)) {
        database_->prepare("INSERT INTO books(account_id, title, created, updated) VALUES(?, ?, ?, ?)")
            .bind(1, upload.integer(0))
            .bind(2, upload.text(3))
            .bind(3, now)
            .bind(4, now)
            .run();
        bookId = database_->lastInsertRowId();
        // The upload now stands for that book, so a repeat of it can be recognised.
        database_->prepare("UPDATE uploads SET book_id = ? WHERE id = ?").bind(1, bookId).bind(2, uploadId).run();
    } else {
        bookId = upload.integer(2);
        database_->prepare("UPDATE books SET updated = ? WHERE id = ?").bind(1, now).bind(2, bookId).run();
    }
    auto number = database_->prepare("SELECT COALESCE(MAX(number), 0) + 1 FROM versions WHERE book_id = ?");
    number.bind(1, bookId);
    (void)number.step();
    VersionRecord version{0, number.integer(0), upload.text(1), size, now};
    database_
        ->prepare(
            "INSERT INTO versions(book_id, number, guid, file, size, content, created) VALUES(?, ?, ?, ?, ?, ?, ?)")
        .bind(1, bookId)
        .bind(2, version.number)
        .bind(3, version.guid)
        .bind(4, fileName)
        .bind(5, size)
        .bind(6, contentDigest)
        .bind(7, now)
        .run();
    version.id = database_->lastInsertRowId();
    database_->prepare("UPDATE uploads SET state = 'finished', version_id = ? WHERE id = ?")
        .bind(1, version.id)
        .bind(2, uploadId)
        .run();
    transaction.commit();
    return version;
}

void ShelfStore::finishAsExisting(std::int64_t uploadId, std::int64_t versionId) {
    std::scoped_lock lock(mutex_);
    database_->prepare("UPDATE uploads SET state = 'finished', version_id = ? WHERE id = ?")
        .bind(1, versionId)
        .bind(2, uploadId)
        .run();
}

std::uint64_t ShelfStore::storageUsed(std::int64_t accountId) {
    std::scoped_lock lock(mutex_);
    // A fingerprint ends in the part's stored length, after the 40 hex digits and "_".
    auto row = database_->prepare(
        "SELECT (SELECT COALESCE(SUM(CAST(substr(fingerprint, 42) AS INTEGER)), 0) FROM holdings WHERE account_id = ?)"
        " + (SELECT COALESCE(SUM(v.size), 0) FROM versions v JOIN books b ON b.id = v.book_id WHERE b.account_id = ?)");
    row.bind(1, accountId).bind(2, accountId);
    (void)row.step();
    return static_cast<std::uint64_t>(row.integer(0));
}

std::optional<VersionFile> ShelfStore::versionFile(std::int64_t accountId, std::int64_t versionId) {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare(
        "SELECT v.file, b.title, v.number FROM versions v JOIN books b ON b.id = v.book_id "
        "WHERE v.id = ? AND b.account_id = ?");
    row.bind(1, versionId).bind(2, accountId);
    if (!row.step()) {
        return std::nullopt;
    }
    return VersionFile{row.text(0), row.text(1), row.integer(2)};
}

std::vector<std::string> ShelfStore::versionFileNames() {
    std::scoped_lock lock(mutex_);
    auto row = database_->prepare("SELECT file FROM versions");
    std::vector<std::string> names;
    while (row.step()) {
        names.push_back(row.text(0));
    }
    return names;
}

}  // namespace tomely::shelf
