// Database / Query: the SQLite engine's connection and its statements.
//
// A Database is one connection to a store's SQLite file, opened through the VFS the
// current Env names. Statements are prepared once per connection and cached by their
// text; a Query borrows a cached statement, binds parameters, steps it and resets it
// when it goes out of scope. Every value is bound as a parameter, never spliced into
// the SQL text.
//
// Failures of SQLite are thrown as StoreError (the kind, SQLite's primary result code
// and its message). Before each INSERT, UPDATE or DELETE statement runs, the current
// Env is asked whether it is to fail (Env::Step::Write); the page limit of the Env is
// applied then too.
//
// Not thread-safe: one connection belongs to one thread.
#pragma once

#include "store/Env.h"
#include "store/StoreError.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace store {

// The kind of failure an SQLite result code means.
Failure failureOf(int sqliteCode);

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

    // Opens an existing database file (create = false) or creates it. Nothing is written
    // to the file until configure(). Throws StoreError when it cannot be opened.
    static std::unique_ptr<Database> open(const std::filesystem::path &path, bool create);
    // Applies the connection settings: WAL journal, foreign keys, synchronous=NORMAL.
    void configure();
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
    // checkpoints otherwise), through the VFS. Asks the Env first (Env::Step::Sync).
    void syncToDisk();
    // Asks the Env whether the step is to fail; throws its fault as a StoreError.
    void consult(Env::Step step);
    // While false, write statements do not consult the Env (the commit's own writes
    // are the Commit step's).
    void setConsultOnWrite(bool on) { m_consultOnWrite = on; }

    const std::filesystem::path &path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }
    [[noreturn]] void fail(int code, std::string_view context) const;

private:
    friend class Query;
    Database(sqlite3 *db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}
    void beforeWrite();
    sqlite3 *m_db;
    std::filesystem::path m_path;
    struct Cached {
        sqlite3_stmt *stmt;
        bool writes;
    };
    std::unordered_map<std::string, Cached> m_cache;
    std::chrono::steady_clock::time_point m_waitStart;
    bool m_consultOnWrite = true;
    std::int64_t m_pageLimit = 0;
};

} // namespace store
