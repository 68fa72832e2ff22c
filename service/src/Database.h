#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tomely::shelf {

// Thrown for every SQLite failure; the request handlers turn it into a 500 and a log line.
class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Statement;

// One SQLite connection. Not thread-safe by itself: the store that owns it serialises every use
// with its own mutex, which also makes each of its read-check-write sequences atomic.
class Database {
public:
    // Opens (creating if needed) the database file in WAL mode with full synchronisation, so a
    // committed transaction survives the process being killed.
    [[nodiscard]] static std::unique_ptr<Database> open(const std::filesystem::path& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(const char* sql);
    [[nodiscard]] Statement prepare(const char* sql);
    [[nodiscard]] std::int64_t lastInsertRowId() const;
    [[nodiscard]] int changes() const;

private:
    explicit Database(sqlite3* handle) : handle_(handle) {}
    [[noreturn]] void fail(const char* what) const;

    sqlite3* handle_;
    friend class Statement;
};

// A prepared statement; parameters are numbered from 1 and columns from 0, as in SQLite.
class Statement {
public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, std::string_view value);
    Statement& bindNull(int index);
    // Runs one step: true when a row is ready to be read, false when the statement is done.
    [[nodiscard]] bool step();
    // Runs a statement that returns no rows.
    void run();
    // Makes the statement ready to run again with new parameters.
    void reset();
    [[nodiscard]] std::int64_t integer(int column) const;
    [[nodiscard]] std::string text(int column) const;
    [[nodiscard]] bool isNull(int column) const;

private:
    friend class Database;
    Statement(const Database& database, sqlite3_stmt* handle) : database_(&database), handle_(handle) {}

    const Database* database_;
    sqlite3_stmt* handle_;
};

// BEGIN IMMEDIATE on construction; rolls back unless commit() was called.
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    Database& database_;
    bool done_ = false;
};

}  // namespace tomely::shelf
