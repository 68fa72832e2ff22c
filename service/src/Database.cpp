#include "Database.h"

#include <sqlite3.h>

#include <utility>

namespace tomely::shelf {

std::unique_ptr<Database> Database::open(const std::filesystem::path& path) {
    sqlite3* handle = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &handle, flags, nullptr) != SQLITE_OK) {
        std::string message = handle != nullptr ? sqlite3_errmsg(handle) : "out of memory";
        sqlite3_close(handle);
        throw DatabaseError("cannot open " + path.string() + ": " + message);
    }
    std::unique_ptr<Database> database(new Database(handle));
    sqlite3_busy_timeout(handle, 5000);
    database->execute("PRAGMA journal_mode=WAL");
    database->execute("PRAGMA synchronous=FULL");
    database->execute("PRAGMA foreign_keys=ON");
    return database;
}

Database::~Database() {
    sqlite3_close(handle_);
}

void Database::fail(const char* what) const {
    throw DatabaseError(std::string(what) + ": " + sqlite3_errmsg(handle_));
}

void Database::execute(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(handle_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message != nullptr ? message : "unknown error";
        sqlite3_free(message);
        throw DatabaseError(std::string(sql).substr(0, 60) + ": " + text);
    }
}

Statement Database::prepare(const char* sql) {
    sqlite3_stmt* handle = nullptr;
    if (sqlite3_prepare_v2(handle_, sql, -1, &handle, nullptr) != SQLITE_OK) {
        fail("prepare");
    }
    return Statement(*this, handle);
}

std::int64_t Database::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(handle_);
}

int Database::changes() const {
    return sqlite3_changes(handle_);
}

Statement::Statement(Statement&& other) noexcept
    : database_(other.database_), handle_(std::exchange(other.handle_, nullptr)) {}

Statement::~Statement() {
    sqlite3_finalize(handle_);
}

Statement& Statement::bind(int index, std::int64_t value) {
    if (sqlite3_bind_int64(handle_, index, value) != SQLITE_OK) {
        database_->fail("bind");
    }
    return *this;
}

Statement& Statement::bind(int index, std::string_view value) {
    if (sqlite3_bind_text64(handle_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK) {
        database_->fail("bind");
    }
    return *this;
}

Statement& Statement::bindNull(int index) {
    if (sqlite3_bind_null(handle_, index) != SQLITE_OK) {
        database_->fail("bind");
    }
    return *this;
}

bool Statement::step() {
    const int result = sqlite3_step(handle_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result == SQLITE_DONE) {
        return false;
    }
    database_->fail("step");
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(handle_);
    sqlite3_clear_bindings(handle_);
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(handle_, column);
}

std::string Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(handle_, column);
    const int length = sqlite3_column_bytes(handle_, column);
    return bytes != nullptr ? std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length))
                            : std::string();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(handle_, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& database) : database_(database) {
    database_.execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!done_) {
        try {
            database_.execute("ROLLBACK");
        } catch (const DatabaseError&) {
            // A failed rollback leaves SQLite to roll back when the connection closes.
        }
    }
}

void Transaction::commit() {
    database_.execute("COMMIT");
    done_ = true;
}

}  // namespace tomely::shelf
