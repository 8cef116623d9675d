#include "TestStores.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace teststores {

namespace {

const char *serverUri()
{
    const char *uri = std::getenv("LARKSPUR_TEST_POSTGRES");
    return uri && *uri ? uri : nullptr;
}

// Every failure message of a test run on PostgreSQL says so.
class EngineNamer : public ::testing::EmptyTestEventListener {
    void OnTestPartResult(const ::testing::TestPartResult &result) override
    {
        if (result.failed())
            std::printf("[  ENGINE  ] the test above ran on %s\n", engineName());
    }
};

const bool g_namer = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new EngineNamer);
    return true;
}();

struct Connection {
    PGconn *conn = nullptr;
    ~Connection() { PQfinish(conn); }
};

void exec(PGconn *conn, const std::string &sql)
{
    PGresult *r = PQexec(conn, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    std::string error = ok ? std::string() : std::string(PQerrorMessage(conn));
    PQclear(r);
    if (!ok)
        throw std::runtime_error(sql + ": " + error);
}

PGconn *maintenance()
{
    static Connection c;
    if (!c.conn || PQstatus(c.conn) != CONNECTION_OK) {
        PQfinish(c.conn);
        c.conn = PQconnectdb(serverUri());
        if (PQstatus(c.conn) != CONNECTION_OK)
            throw std::runtime_error(std::string("cannot reach the test server: ") + PQerrorMessage(c.conn));
        PQsetNoticeProcessor(c.conn, [](void *, const char *) {}, nullptr);
    }
    return c.conn;
}

// The database a location names.
std::string databaseOf(const std::filesystem::path &location)
{
    const std::string &uri = location.native();
    const auto slash = uri.find('/', uri.find("//") + 2);
    const auto end = uri.find('?', slash);
    return uri.substr(slash + 1, end == std::string::npos ? std::string::npos : end - slash - 1);
}

} // namespace

const char *engineName()
{
    (void)g_namer;
    return serverUri() ? "PostgreSQL" : "SQLite";
}

bool onServer()
{
    return serverUri() != nullptr;
}

std::filesystem::path newLocation(const std::filesystem::path &dir, const std::string &name)
{
    if (!serverUri())
        return dir / name;
    static int counter = 0;
    const std::string db = "t" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    exec(maintenance(), "CREATE DATABASE " + db);
    // The maintenance database's location with the new database's name.
    std::string uri = serverUri();
    const auto slash = uri.find('/', uri.find("//") + 2);
    const auto end = uri.find('?', slash);
    return uri.substr(0, slash + 1) + db + (end == std::string::npos ? std::string() : uri.substr(end));
}

void copyStore(const std::filesystem::path &from, const std::filesystem::path &to)
{
    if (!serverUri()) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        return;
    }
    exec(maintenance(), "DROP DATABASE " + databaseOf(to) + " WITH (FORCE)");
    exec(maintenance(), "CREATE DATABASE " + databaseOf(to) + " TEMPLATE " + databaseOf(from));
}

long long runSql(const std::filesystem::path &store, const std::string &sql, const std::string &first,
                 const std::string &second)
{
    if (!serverUri()) {
        sqlite3 *db = nullptr;
        if (sqlite3_open(store.c_str(), &db) != SQLITE_OK) {
            sqlite3_close(db);
            throw std::runtime_error("cannot open the store file");
        }
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
        sqlite3_bind_text(statement, 1, first.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, second.c_str(), -1, SQLITE_TRANSIENT);
        const int rc = sqlite3_step(statement);
        const long long changed = sqlite3_changes(db);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw std::runtime_error("cannot run " + sql);
        return changed;
    }
    Connection c;
    c.conn = PQconnectdb(store.c_str());
    std::string text = sql;
    for (std::string::size_type at; (at = text.find('?')) != std::string::npos;)
        text.replace(at, 1, "$");
    const int count = text.find("$2") != std::string::npos ? 2 : text.find("$1") != std::string::npos ? 1 : 0;
    const char *values[] = {first.c_str(), second.c_str()};
    PGresult *r = PQexecParams(c.conn, text.c_str(), count, nullptr, values, nullptr, nullptr, 0);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
    const long long changed = std::atoll(PQcmdTuples(r));
    PQclear(r);
    if (!ok)
        throw std::runtime_error("cannot run " + sql + ": " + PQerrorMessage(c.conn));
    return changed;
}

std::string contents(const std::filesystem::path &store)
{
    if (!serverUri()) {
        std::string out;
        for (const char *suffix : {"", "-wal"}) {
            std::ifstream in(store.native() + suffix, std::ios::binary);
            out += std::string(std::istreambuf_iterator<char>(in), {}) + "|";
        }
        return out;
    }
    Connection c;
    c.conn = PQconnectdb(store.c_str());
    std::string digest;
    for (const char *table : {"meta", "address_lists", "address_entries", "entry_fields", "stores", "folders",
                              "messages", "message_fields", "bindings", "bound_folders", "profiles", "shares",
                              "revisions", "changes"}) {
        const std::string sql = std::string("SELECT md5(coalesce(string_agg(t::text, '|' ORDER BY t::text), '')) FROM ") +
                                table + " t";
        PGresult *r = PQexec(c.conn, sql.c_str());
        digest += PQresultStatus(r) == PGRES_TUPLES_OK ? PQgetvalue(r, 0, 0) : "?";
        PQclear(r);
    }
    return digest;
}

void killConnections(const std::filesystem::path &store)
{
    exec(maintenance(), "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                            databaseOf(store) + "' AND pid <> pg_backend_pid()");
}

void release(const std::filesystem::path &location)
{
    if (!serverUri() || location.native().rfind("postgres", 0) != 0)
        return;
    try {
        exec(maintenance(), "DROP DATABASE IF EXISTS " + databaseOf(location) + " WITH (FORCE)");
    } catch (const std::exception &) {
        // The server removes everything when the run ends.
    }
}

} // namespace teststores
