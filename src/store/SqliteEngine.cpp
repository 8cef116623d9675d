// The SQLite engine: opening and upgrading a store, transactions, revisions and the
// change log. Its reads and writes of rows are in SqliteItems.cpp and SqliteDirectory.cpp.
#include "store/SqliteEngine.h"

#include "store/ChangeList.h"
#include "store/Items.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>

namespace store {

namespace {

double secondsSince1970()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

std::unique_ptr<SqliteEngine> SqliteEngine::open(const std::filesystem::path &path, OpenMode mode)
{
    auto db = Database::open(path, mode == OpenMode::Create);
    if (mode == OpenMode::Existing) {
        // Checked before anything is written to the file: a file that is no store of this
        // program (or of a newer version of it) is left exactly as it is.
        const int version = schemaVersion(*db);
        if (version < OldestUpgradableVersion || version > SchemaVersion)
            throw StoreError(Failure::NotAStore, SQLITE_NOTADB,
                             "\"" + path.string() + "\" is not a store of this program");
        db->configure();
        if (version < SchemaVersion)
            upgradeSchema(*db);
    } else {
        db->configure();
        createSchema(*db);
    }
    std::unique_ptr<SqliteEngine> engine(new SqliteEngine(std::move(db)));
    engine->m_guid = storeGuid(*engine->m_db);
    return engine;
}

SqliteEngine::~SqliteEngine()
{
    // A transaction still open here was never committed: it leaves nothing.
    rollback();
}

void SqliteEngine::begin()
{
    forgetTransaction();
    m_db->statement("BEGIN IMMEDIATE").run();
}

void SqliteEngine::commit()
{
    try {
        m_db->consult(Env::Step::Commit);
        if (m_written) {
            m_db->setConsultOnWrite(false);
            writeRevision();
            m_db->setConsultOnWrite(true);
        }
        m_db->statement("COMMIT").run();
    } catch (...) {
        m_db->setConsultOnWrite(true);
        rollback();
        throw;
    }
    if (m_written)
        m_committedRevisions = true;
    forgetTransaction();
}

void SqliteEngine::rollback() noexcept
{
    try {
        if (m_db && m_db->inTransaction())
            m_db->exec("ROLLBACK");
    } catch (...) {
        // SQLite ends the transaction whether or not ROLLBACK reports an error.
    }
    forgetTransaction();
}

void SqliteEngine::beginRead()
{
    if (m_db->inTransaction())
        throw StoreError(Failure::Other, SQLITE_MISUSE, "a read snapshot cannot start inside a transaction");
    m_db->query("BEGIN").run();
    try {
        // SQLite fixes the snapshot at the first read.
        storeRevision();
    } catch (...) {
        rollback();
        throw;
    }
    m_reading = true;
}

void SqliteEngine::endRead() noexcept
{
    if (!m_reading)
        return;
    m_reading = false;
    rollback();
}

void SqliteEngine::forgetTransaction() noexcept
{
    m_log.clear();
    m_written = false;
    m_savepoints.clear();
    m_messageHigh = 0;
    m_messageHighRead = 0;
}

void SqliteEngine::savepoint()
{
    m_db->statement("SAVEPOINT operation").run();
    m_savepoints.push_back(m_log.size());
}

void SqliteEngine::releaseSavepoint()
{
    m_db->statement("RELEASE operation").run();
    m_savepoints.pop_back();
}

void SqliteEngine::rollbackToSavepoint() noexcept
{
    if (m_savepoints.empty())
        return;
    m_log.resize(m_savepoints.back());
    m_savepoints.pop_back();
    try {
        m_db->statement("ROLLBACK TO operation").run();
        m_db->statement("RELEASE operation").run();
    } catch (...) {
        // The operation cannot be undone alone: nothing of the transaction may land.
        rollback();
    }
}

void SqliteEngine::sync()
{
    m_db->syncToDisk();
}

Id SqliteEngine::nextMessageId()
{
    if (m_messageHigh == 0) {
        m_messageHigh = items::highestMessageId(*m_db);
        m_messageHighRead = m_messageHigh;
    }
    return ++m_messageHigh;
}

std::int64_t SqliteEngine::metaNumber(const char *key)
{
    return items::metaNumber(*m_db, key);
}

void SqliteEngine::writeRevision()
{
    const std::int64_t revision = storeRevision() + 1;
    std::int64_t entries = 0;
    for (const PackedFolder &f : packByFolder(m_log, entries)) {
        m_db->statement(sql::LogChanges).bind(1, f.folder).bind(2, revision).bindBlob(3, f.packed).run();
        m_db->statement(sql::RaiseFolderRevision).bind(1, revision).bind(2, f.folder).run();
    }
    m_db->statement(sql::AddRevision).bind(1, revision).bind(2, secondsSince1970()).bind(3, entries).run();
    if (m_messageHigh != m_messageHighRead)
        m_db->statement(sql::SetMeta).bind(1, "message_high").bind(2, std::to_string(m_messageHigh)).run();
}

void SqliteEngine::tidy() noexcept
{
    if (m_db->inTransaction())
        return;
    // Housekeeping never fails a session: what is committed is safe in the write-ahead
    // log, a checkpoint that cannot run now (the disk full) runs at the next open, and a
    // log not trimmed now is trimmed another time.
    try {
        if (m_committedRevisions) {
            m_committedRevisions = false;
            trimLog();
        }
    } catch (...) {
    }
    try {
        m_db->exec("PRAGMA wal_checkpoint(PASSIVE)");
    } catch (...) {
    }
}

void SqliteEngine::trimLog()
{
    if (!items::logIsLong(*m_db, KeptEntries))
        return;
    m_db->statement("BEGIN IMMEDIATE").run();
    try {
        items::trimLog(*m_db, KeptEntries, secondsSince1970() - KeptSeconds);
        m_db->statement("COMMIT").run();
    } catch (...) {
        rollback();
        throw;
    }
}

std::int64_t SqliteEngine::storeRevision()
{
    return items::storeRevision(*m_db);
}

std::int64_t SqliteEngine::folderRevision(Id folder)
{
    return items::folderRevision(*m_db, folder);
}

FolderChanges SqliteEngine::changesSince(Id folder, std::int64_t revision)
{
    // One snapshot for the floor and the entries: a trim committed in between must not
    // leave a gap that looks like "nothing changed".
    const bool own = !m_db->inTransaction();
    if (own)
        m_db->statement("BEGIN").run();
    FolderChanges out;
    try {
        out = items::changesSince(*m_db, folder, revision, sql::ChangesSince, [](Query &q) { return q.blob(1); });
        if (own)
            m_db->statement("COMMIT").run();
    } catch (...) {
        if (own)
            rollback();
        throw;
    }
    return out;
}

} // namespace store
