// Database / Query: the one internal interface through which the store talks SQL.
//
// A Database is one connection to the server's SQLite file. Statements are prepared
// once per connection and cached by their text; a Query borrows a cached statement,
// binds parameters, steps it and resets it when it goes out of scope. Every value is
// bound as a parameter, never spliced into the SQL text.
//
// Failures of the database engine are thrown as DbError carrying the engine's result
// code. A write hook, when set, runs before each INSERT, UPDATE or DELETE statement is
// executed; whatever it throws passes through unchanged (the fault switches use it).
//
// Not thread-safe: one connection belongs to one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

class DbError : public std::runtime_error {
public:
    DbError(int code, const std::string &message) : std::runtime_error(message), m_code(code) {}
    // The engine's primary result code (SQLITE_FULL, SQLITE_BUSY, ...).
    int code() const noexcept { return m_code; }
    bool diskFull() const noexcept;

private:
    int m_code;
};

class Database;

class Query {
public:
    Query(Database &db, sqlite3_stmt *stmt, bool writes);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;
    Query(Query &&other) noexcept;
    Query &operator=(Query &&) = delete;

    // Parameters count from 1. Text is bound as-is (bytes); the query keeps its own copy.
    Query &bind(int index, std::int64_t value);
    Query &bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    Query &bind(int index, double value);
    Query &bind(int index, std::string_view text);
    Query &bind(int index, const std::string &text) { return bind(index, std::string_view(text)); }
    Query &bind(int index, const char *text) { return bind(index, std::string_view(text)); }
    Query &bindNull(int index);
    Query &bind(int index, const std::optional<std::string> &text);
    Query &bind(int index, const std::optional<double> &value);

    // Runs to the next row: true while a row is available.
    bool step();
    // Runs a statement that yields no rows (or whose rows do not matter).
    void run();
    void reset();

    bool isNull(int column) const;
    std::int64_t int64(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::optional<std::string> optText(int column) const;
    std::optional<double> optReal(int column) const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
    int type(int column) const;

private:
    Database *m_db;
    sqlite3_stmt *m_stmt;
    bool m_writes;
};

class Database {
public:
    // How long a writer waits for another connection's transaction before failing.
    static constexpr std::chrono::seconds BusyTimeout{10};

    // Opens an existing database file (create = false) or creates it, then applies the
    // connection settings: WAL journal, foreign keys, busy timeout, synchronous=NORMAL.
    // An existing file must carry requiredVersion in PRAGMA user_version (or, when
    // oldestVersion is given, a version from oldestVersion to requiredVersion: a file the
    // caller upgrades); it is checked before anything is written to it. Throws DbError
    // when the file cannot be opened or has another version (SQLITE_NOTADB).
    static std::unique_ptr<Database> open(const std::filesystem::path &path, bool create, int requiredVersion,
                                          int oldestVersion = 0);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // A cached prepared statement for that SQL text.
    Query query(std::string_view sql);
    // Runs one or more statements without parameters (schema, pragmas, transactions).
    void exec(std::string_view sql);
    std::int64_t lastInsertRowid() const;
    std::int64_t changes() const;
    bool inTransaction() const;
    // Forces what has been committed to the disk (the write-ahead log is synced only at
    // checkpoints otherwise).
    void syncToDisk();

    void setWriteHook(std::function<void()> hook) { m_writeHook = std::move(hook); }
    const std::function<void()> &writeHook() const { return m_writeHook; }

    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void fail(int code, std::string_view context) const;

private:
    Database(sqlite3 *db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}
    sqlite3 *m_db;
    std::filesystem::path m_path;
    struct Cached {
        sqlite3_stmt *stmt;
        bool writes;
    };
    std::unordered_map<std::string, Cached> m_cache;
    std::function<void()> m_writeHook;
    std::chrono::steady_clock::time_point m_waitStart;
};

} // namespace store
