// PgDatabase / PgQuery: the PostgreSQL engine's connection and its statements (libpq).
//
// A PgDatabase is one connection to the database named by a libpq URI. Statements are
// written with "?" parameters as the SQLite engine's are; the first use of a text
// rewrites them to "$1", "$2" ... and prepares it on the server, later uses run the
// prepared statement. Every value is bound as a parameter, never spliced into the text.
//
// Failures are thrown as StoreError: the kind (from the SQLSTATE class), the SQLSTATE
// packed into an int as the engine code, and the server's message. A statement that
// fails inside a transaction spoils the whole transaction on PostgreSQL: outside a
// savepoint the connection rolls it back at once (inTransaction() is then false, and the
// batch above counts what went with it); inside one the engine rolls back to it.
//
// Before each INSERT, UPDATE or DELETE the current Env is asked whether it is to fail
// (Env::Step::Write), as on SQLite.
//
// Writes whose outcome the engine already knows (it holds the store's write lock and
// has read the rows they touch) can be deferred: they are sent at once in libpq's
// pipeline mode and their results collected at the next flush(), which every other
// statement does first. So a loop of such writes pays one network round trip per
// batch, not one per statement; a deferred write that fails spoils the transaction as
// any failed statement does, reported by the flush.
//
// Not thread-safe: one connection belongs to one thread.
#pragma once

#include "store/Env.h"
#include "store/StoreError.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

namespace store {

class PgDatabase;

class PgQuery {
public:
    PgQuery(PgDatabase &db, const std::string &name, const std::string &text, int params, bool writes);
    ~PgQuery();
    PgQuery(const PgQuery &) = delete;
    PgQuery &operator=(const PgQuery &) = delete;
    PgQuery(PgQuery &&other) noexcept;
    PgQuery &operator=(PgQuery &&) = delete;

    // Parameters count from 1. Text is sent as-is (the server checks its encoding).
    PgQuery &bind(int index, std::int64_t value);
    PgQuery &bind(int index, int value) { return bind(index, static_cast<std::int64_t>(value)); }
    PgQuery &bind(int index, double value);
    PgQuery &bind(int index, std::string_view text);
    PgQuery &bind(int index, const std::string &text) { return bind(index, std::string_view(text)); }
    PgQuery &bind(int index, const char *text) { return bind(index, std::string_view(text)); }
    // The server takes its own copy of every text: the same as bind.
    PgQuery &bindView(int index, std::string_view text) { return bind(index, text); }
    PgQuery &bindView(int index, const std::string &text) { return bind(index, text); }
    PgQuery &bindView(int index, const std::optional<std::string> &text) { return bind(index, text); }
    PgQuery &bindNull(int index);
    PgQuery &bind(int index, const std::optional<std::string> &text);
    PgQuery &bind(int index, const std::optional<double> &value);

    // Runs the statement on the first call, then hands out its rows: true while a row
    // is available.
    bool step();
    void run();
    // Sends the write without waiting for its outcome (see the class comment).
    void defer();
    // Forgets the result; the bindings stay for the next run.
    void reset();
    // Rows the last run changed.
    std::int64_t changes() const;

    bool isNull(int column) const;
    std::int64_t int64(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::optional<std::string> optText(int column) const;
    std::optional<double> optReal(int column) const;

private:
    friend class PgDatabase;
    void execute();
    PgDatabase *m_db;
    const std::string *m_name;
    const std::string *m_text;
    bool m_writes;
    std::vector<std::optional<std::string>> m_params;
    pg_result *m_result = nullptr;
    int m_row = -1;
};

class PgDatabase {
public:
    // Connects; throws StoreError (IoError) when the server cannot be reached, and
    // refuses a location that carries a password (passwords come from libpq's password
    // file or its environment, never from a command line).
    static std::unique_ptr<PgDatabase> connect(const std::string &uri);
    ~PgDatabase();
    PgDatabase(const PgDatabase &) = delete;
    PgDatabase &operator=(const PgDatabase &) = delete;

    // A statement of that text (with "?" parameters), prepared once per connection.
    PgQuery query(std::string_view sql);
    // Runs statements without parameters (one round trip for all of them).
    void exec(std::string_view sql);
    // True inside a transaction block (also one that failed and awaits its rollback).
    bool inTransaction() const;
    // True inside a transaction that a failed statement spoiled.
    bool transactionFailed() const;
    // Asks the Env whether the step is to fail; throws its fault as a StoreError.
    void consult(Env::Step step);
    void setConsultOnWrite(bool on) { m_consultOnWrite = on; }
    // Savepoints the engine holds open: a failure inside one leaves the transaction to
    // its rollback; outside all of them the connection rolls the transaction back itself.
    void setSavepointDepth(std::size_t depth) { m_savepointDepth = depth; }
    // Collects the outcome of every deferred write; throws the first failure.
    void flush() { flushWith({}); }
    // Runs the reads after the deferred writes in the same pipeline, so that the writes
    // and the reads cost one round trip together; each read then hands out its rows.
    void flushWith(const std::vector<PgQuery *> &reads);
    std::size_t deferred() const { return m_deferred; }
    // Sends what the owner gathered (the hook below) and every deferred write to the
    // server now, without waiting for their outcome: the server works on them while the
    // caller goes on. The next flush collects them as usual.
    void push();
    // Runs before each flush, to send what its owner gathered (once per flush).
    void setBeforeFlush(std::function<void()> hook) { m_beforeFlush = std::move(hook); }
    // Asks the Env about one write that will be sent later as part of another statement.
    void checkWrite() { beforeWrite(); }
    // Refuses a text the server could not take (see PgQuery::bind).
    void checkText(std::string_view text) const;

    // The location without any password, for messages.
    const std::string &location() const { return m_location; }
    pg_conn *handle() const { return m_conn; }
    bool utf8() const { return m_utf8; }
    [[noreturn]] void fail(pg_result *result, std::string_view context);

private:
    friend class PgQuery;
    PgDatabase(pg_conn *conn, std::string location);
    void beforeWrite();
    void runBeforeFlush();
    // Sends a prepared statement in pipeline mode; the result is collected by flush().
    void send(const std::string &name, const std::vector<std::optional<std::string>> &params, const std::string &text);
    pg_result *execPrepared(const std::string &name, const std::vector<std::optional<std::string>> &params,
                            const std::string &text);

    pg_conn *m_conn;
    std::string m_location;
    bool m_utf8 = true;
    bool m_consultOnWrite = true;
    std::size_t m_savepointDepth = 0;
    std::size_t m_deferred = 0;
    std::function<void()> m_beforeFlush;
    bool m_inBeforeFlush = false;
    struct Prepared {
        std::string name;
        std::string text;
        int params;
        bool writes;
    };
    std::unordered_map<std::string, Prepared> m_prepared;
};

// The kind of failure a SQLSTATE means.
Failure failureOfSqlState(std::string_view sqlState);
// "?" parameters as "$n" (and "?n" as "$n"); quoted text is left alone.
// `used` tells which numbers appear.
std::string numberedParameters(std::string_view sql, int *count = nullptr, std::vector<bool> *used = nullptr);

} // namespace store
