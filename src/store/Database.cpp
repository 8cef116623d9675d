#include "store/Database.h"

#include <sqlite3.h>

#include <cctype>
#include <thread>

namespace store {

Failure failureOf(int sqliteCode)
{
    switch (sqliteCode & 0xff) {
    case SQLITE_FULL:
        return Failure::DiskFull;
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_CORRUPT:
    case SQLITE_READONLY:
        return Failure::IoError;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Failure::Busy;
    case SQLITE_NOTADB:
        return Failure::NotAStore;
    case SQLITE_CONSTRAINT:
        return Failure::Constraint;
    default:
        return Failure::Other;
    }
}

Query::Query(Database &db, sqlite3_stmt *stmt, bool writes) : m_db(&db), m_stmt(stmt), m_writes(writes) {}

Query::Query(Query &&other) noexcept : m_db(other.m_db), m_stmt(other.m_stmt), m_writes(other.m_writes)
{
    other.m_stmt = nullptr;
}

Query::~Query()
{
    if (m_stmt) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
}

Query &Query::bind(int index, std::int64_t value)
{
    if (int rc = sqlite3_bind_int64(m_stmt, index, value); rc != SQLITE_OK)
        m_db->fail(rc, "bind");
    return *this;
}

Query &Query::bind(int index, double value)
{
    if (int rc = sqlite3_bind_double(m_stmt, index, value); rc != SQLITE_OK)
        m_db->fail(rc, "bind");
    return *this;
}

Query &Query::bind(int index, std::string_view text)
{
    // A null data pointer would bind NULL; an empty text must stay an empty text.
    static const char empty[] = "";
    const char *data = text.data() ? text.data() : empty;
    if (int rc = sqlite3_bind_text64(m_stmt, index, data, text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        rc != SQLITE_OK)
        m_db->fail(rc, "bind");
    return *this;
}

Query &Query::bindNull(int index)
{
    if (int rc = sqlite3_bind_null(m_stmt, index); rc != SQLITE_OK)
        m_db->fail(rc, "bind");
    return *this;
}

Query &Query::bind(int index, const std::optional<std::string> &text)
{
    return text ? bind(index, std::string_view(*text)) : bindNull(index);
}

Query &Query::bind(int index, const std::optional<double> &value)
{
    return value ? bind(index, *value) : bindNull(index);
}

bool Query::step()
{
    // Once per statement: the steps after its first only hand out its returned rows.
    if (m_writes && !sqlite3_stmt_busy(m_stmt))
        m_db->beforeWrite();
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    m_db->fail(rc, sqlite3_sql(m_stmt));
}

void Query::run()
{
    while (step()) {
    }
}

void Query::reset()
{
    sqlite3_reset(m_stmt);
}

bool Query::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

std::int64_t Query::int64(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

double Query::real(int column) const
{
    return sqlite3_column_double(m_stmt, column);
}

std::string Query::text(int column) const
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    if (!p)
        return {};
    return std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)));
}

std::optional<std::string> Query::optText(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return text(column);
}

std::optional<double> Query::optReal(int column) const
{
    if (isNull(column))
        return std::nullopt;
    return real(column);
}

int Query::type(int column) const
{
    return sqlite3_column_type(m_stmt, column);
}

namespace {

// Waits for another connection's write lock by polling it often: the default handler's
// growing sleeps keep missing the short gaps between another process's batches.
int waitForLock(void *data, int count)
{
    auto *start = static_cast<std::chrono::steady_clock::time_point *>(data);
    if (count == 0)
        *start = std::chrono::steady_clock::now();
    if (std::chrono::steady_clock::now() - *start >= Database::BusyTimeout)
        return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
    return 1;
}

} // namespace

std::unique_ptr<Database> Database::open(const std::filesystem::path &path, bool create)
{
    sqlite3 *raw = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    const std::string vfs = Env::current().sqliteVfs();
    int rc = sqlite3_open_v2(path.c_str(), &raw, flags, vfs.empty() ? nullptr : vfs.c_str());
    if (rc != SQLITE_OK) {
        std::string msg = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        sqlite3_close(raw);
        throw StoreError(failureOf(rc), rc & 0xff, "cannot open \"" + path.string() + "\": " + msg);
    }
    std::unique_ptr<Database> db(new Database(raw, path));
    sqlite3_extended_result_codes(raw, 0);
    sqlite3_busy_handler(raw, &waitForLock, &db->m_waitStart);
    return db;
}

void Database::configure()
{
    exec("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-8192;");
}

Database::~Database()
{
    for (auto &entry : m_cache)
        sqlite3_finalize(entry.second.stmt);
    sqlite3_close(m_db);
}

static bool isWriteStatement(std::string_view sql)
{
    std::size_t i = 0;
    while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i])))
        ++i;
    std::string word;
    while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
    return word == "INSERT" || word == "UPDATE" || word == "DELETE" || word == "REPLACE";
}

Query Database::query(std::string_view sql)
{
    auto it = m_cache.find(std::string(sql));
    if (it == m_cache.end()) {
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                    &stmt, nullptr);
        if (rc != SQLITE_OK)
            fail(rc, sql);
        it = m_cache.emplace(std::string(sql), Cached{stmt, isWriteStatement(sql)}).first;
    }
    return Query(*this, it->second.stmt, it->second.writes);
}

void Database::exec(std::string_view sql)
{
    std::string text(sql);
    char *err = nullptr;
    int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw StoreError(failureOf(rc), rc & 0xff, msg + " (in: " + text + ")");
    }
}

std::int64_t Database::lastInsertRowid() const
{
    return sqlite3_last_insert_rowid(m_db);
}

std::int64_t Database::changes() const
{
    return sqlite3_changes64(m_db);
}

void Database::syncToDisk()
{
    consult(Env::Step::Sync);
    // The write-ahead log as SQLite holds it open, so that the sync goes through the VFS.
    sqlite3_file *wal = nullptr;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &wal) != SQLITE_OK || !wal ||
        !wal->pMethods)
        return; // no log open: everything is in the database file
    if (int rc = wal->pMethods->xSync(wal, SQLITE_SYNC_NORMAL); rc != SQLITE_OK)
        throw StoreError(failureOf(rc), rc & 0xff, "cannot sync \"" + m_path.string() + "-wal\" to disk");
}

void Database::consult(Env::Step step)
{
    if (auto fault = Env::current().before(step)) {
        const int code = fault->failure == Failure::DiskFull ? SQLITE_FULL
                         : fault->failure == Failure::Busy  ? SQLITE_BUSY
                                                            : SQLITE_IOERR;
        throw StoreError(fault->failure, code, fault->what);
    }
}

void Database::beforeWrite()
{
    if (!m_consultOnWrite)
        return;
    const std::int64_t limit = Env::current().pageLimit();
    if (limit != m_pageLimit) {
        // SQLite clamps the number to its own largest page count.
        exec("PRAGMA max_page_count = " + std::to_string(limit > 0 ? limit : 4294967294LL));
        m_pageLimit = limit;
    }
    consult(Env::Step::Write);
}

bool Database::inTransaction() const
{
    return sqlite3_get_autocommit(m_db) == 0;
}

void Database::fail(int code, std::string_view context) const
{
    std::string msg = sqlite3_errmsg(m_db);
    if (msg.empty() || msg == "not an error")
        msg = sqlite3_errstr(code);
    throw StoreError(failureOf(code), code & 0xff, msg + " (in: " + std::string(context) + ")");
}

} // namespace store
