// The PostgreSQL engine: opening a store, transactions and the writer lock, revisions
// and the change log. Its reads and writes of rows are in PgItems.cpp and PgDirectory.cpp.
#include "store/PgEngine.h"

#include "store/Items.h"
#include "store/PgSchema.h"
#include "store/Schema.h"
#include "store/Sql.h"

#include <algorithm>
#include <chrono>

namespace store {

namespace {

double secondsSince1970()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string toHex(std::string_view bytes)
{
    static constexpr char Digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += Digits[b >> 4];
        out += Digits[b & 15];
    }
    return out;
}

// The bytes of the server's hexadecimal text; stops at anything else.
std::string fromHex(std::string_view hex)
{
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0)
            break;
        out += static_cast<char>(high << 4 | low);
    }
    return out;
}

} // namespace

std::unique_ptr<PgEngine> PgEngine::open(const std::string &uri, OpenMode mode)
{
    auto db = PgDatabase::connect(uri);
    // A writer waits for the writer lock as long as an SQLite writer waits for the file.
    db->exec("SET lock_timeout = '" + std::to_string(LockWaitSeconds) + "s'");
    if (mode == OpenMode::Create) {
        createPgSchema(*db, WriterLock);
    } else {
        const int version = pgSchemaVersion(*db);
        if (version == FirstPgSchemaVersion)
            upgradePgSchema(*db, WriterLock);
        else if (version != PgSchemaVersion)
            throw StoreError(Failure::NotAStore, 0, "\"" + db->location() + "\" is not a store of this program");
    }
    std::unique_ptr<PgEngine> engine(new PgEngine(std::move(db)));
    PgEngine *self = engine.get();
    engine->m_db->setBeforeFlush([self] { self->sendPending(); });
    engine->m_guid = pgStoreGuid(*engine->m_db);
    return engine;
}

PgEngine::~PgEngine()
{
    // A transaction still open here was never committed: it leaves nothing.
    rollback();
}

void PgEngine::begin()
{
    endTransaction();
    m_db->exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(WriterLock) + ")");
    try {
        // What was read ahead before stays good while nobody else has committed since,
        // unless the last transaction ended any other way than by its commit (the
        // connection rolls a failed one back by itself).
        const std::int64_t now = storeRevision();
        if (now != m_knownRevision || !m_readAheadKept)
            forgetReadAhead();
        m_knownRevision = now;
        m_readAheadKept = false;
    } catch (...) {
        rollback();
        throw;
    }
}

void PgEngine::commit()
{
    try {
        m_db->consult(Env::Step::Commit);
        m_db->flush();
        if (m_db->transactionFailed())
            throw StoreError(Failure::Other, 0, "the transaction failed and cannot be committed");
        if (m_written) {
            m_db->setConsultOnWrite(false);
            writeRevision();
            m_db->setConsultOnWrite(true);
        }
        m_db->exec("COMMIT");
    } catch (...) {
        m_db->setConsultOnWrite(true);
        rollback();
        throw;
    }
    if (m_written) {
        m_committedRevisions = true;
        ++m_knownRevision;
    }
    m_readAheadKept = true;
    endTransaction();
    // What stays for the next transaction stays small: rows and fields are let go
    // (where their messages are is kept, up to a large folder's worth).
    if (m_rows.size() + m_fields.size() > RowsKept) {
        for (const auto &[id, row] : m_rows)
            m_places[id] = row ? std::optional<MessagePlace>(MessagePlace{row->folder, row->hidden}) : std::nullopt;
        m_rows.clear();
        m_fields.clear();
    }
    if (m_places.size() + m_changed.size() > PlacesKept)
        forgetReadAhead();
}

void PgEngine::rollback() noexcept
{
    try {
        m_db->setSavepointDepth(0);
        if (m_db && m_db->inTransaction())
            m_db->exec("ROLLBACK");
    } catch (...) {
        // A connection that failed has ended the transaction on the server already.
    }
    forgetTransaction();
}

void PgEngine::forgetReadAhead() noexcept
{
    m_rows.clear();
    m_fields.clear();
    m_places.clear();
    m_changed.clear();
    forgetDirectory();
}

void PgEngine::forgetTransaction() noexcept
{
    forgetReadAhead();
    m_knownRevision = -1;
    m_readAheadKept = false;
    endTransaction();
}

void PgEngine::endTransaction() noexcept
{
    m_pendingAdds.clear();
    m_pendingFields.clear();
    m_pendingUpdates.clear();
    m_pendingDeletes.clear();
    m_pendingItems = 0;
    m_log.clear();
    m_written = false;
    m_savepoints.clear();
    syncSavepoints();
    m_messageHigh = 0;
    m_messageHighRead = 0;
}

void PgEngine::savepoint()
{
    m_db->exec("SAVEPOINT operation");
    m_savepoints.push_back(m_log.size());
    syncSavepoints();
}

void PgEngine::releaseSavepoint()
{
    m_savepoints.pop_back();
    syncSavepoints();
    m_db->exec("RELEASE operation");
}

void PgEngine::rollbackToSavepoint() noexcept
{
    if (m_savepoints.empty())
        return;
    m_log.resize(m_savepoints.back());
    m_savepoints.pop_back();
    forgetReadAhead();
    try {
        m_db->exec("ROLLBACK TO operation; RELEASE operation");
        syncSavepoints();
    } catch (...) {
        // The operation cannot be undone alone: nothing of the transaction may land.
        rollback();
    }
}

void PgEngine::sync()
{
    // A commit is durable on the server when it returns (synchronous_commit).
    m_db->consult(Env::Step::Sync);
}

Id PgEngine::nextMessageId()
{
    // Under the writer lock nobody else adds messages: the highest id read now stays the
    // highest until this transaction ends.
    if (m_messageHigh == 0) {
        m_messageHigh = items::highestMessageId(*m_db);
        m_messageHighRead = m_messageHigh;
    }
    return ++m_messageHigh;
}

std::int64_t PgEngine::metaNumber(const char *key)
{
    return items::metaNumber(*m_db, key);
}

void PgEngine::writeRevision()
{
    // Read under the writer lock when the transaction began.
    const std::int64_t revision = m_knownRevision + 1;
    // The log (one packed row per folder) and the folders' revisions as one statement
    // each, whatever the transaction's length.
    std::int64_t entries = 0;
    const std::vector<PackedFolder> packed = packByFolder(m_log, entries);
    if (!packed.empty()) {
        std::string folders = "{", values = "{";
        for (const PackedFolder &f : packed) {
            if (folders.size() > 1) {
                folders += ',';
                values += ',';
            }
            folders += std::to_string(f.folder);
            values += '"' + toHex(f.packed) + '"';
        }
        folders += '}';
        values += '}';
        m_db->query("INSERT INTO changes(folder_id, revision, entries) SELECT f, ?2, decode(e, 'hex') "
                    "FROM unnest(?1::bigint[], ?3::text[]) AS t(f, e)")
            .bind(1, folders).bind(2, revision).bind(3, values).defer();
        m_db->query("UPDATE folders SET revision = ?1 WHERE id = ANY(?2::bigint[])")
            .bind(1, revision).bind(2, folders).defer();
    }
    if (m_messageHigh != m_messageHighRead)
        m_db->query(sql::SetMeta).bind(1, "message_high").bind(2, std::to_string(m_messageHigh)).defer();
    m_db->query(sql::AddRevision).bind(1, revision).bind(2, secondsSince1970()).bind(3, entries).defer();
    m_db->flush();
}

void PgEngine::beginRead()
{
    if (m_db->inTransaction())
        throw StoreError(Failure::Other, 0, "a read snapshot cannot start inside a transaction");
    // A read-only snapshot never waits for writers and never fails for them.
    m_db->exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    m_reading = true;
}

void PgEngine::endRead() noexcept
{
    if (!m_reading)
        return;
    m_reading = false;
    rollback();
}

void PgEngine::tidy() noexcept
{
    if (m_db->inTransaction())
        return;
    // Housekeeping never fails a session: a log not trimmed now is trimmed another time.
    try {
        if (m_committedRevisions) {
            m_committedRevisions = false;
            trimLog();
        }
    } catch (...) {
    }
}

void PgEngine::trimLog()
{
    if (!items::logIsLong(*m_db, KeptEntries))
        return;
    begin();
    try {
        items::trimLog(*m_db, KeptEntries, secondsSince1970() - KeptSeconds);
        m_db->exec("COMMIT");
    } catch (...) {
        rollback();
        throw;
    }
    forgetTransaction();
}

std::int64_t PgEngine::storeRevision()
{
    return items::storeRevision(*m_db);
}

std::int64_t PgEngine::folderRevision(Id folder)
{
    return items::folderRevision(*m_db, folder);
}

FolderChanges PgEngine::changesSince(Id folder, std::int64_t revision)
{
    // One snapshot for the floor and the entries: a trim committed in between must not
    // leave a gap that looks like "nothing changed".
    const bool own = !m_db->inTransaction();
    if (own)
        m_db->exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    FolderChanges out;
    try {
        out = items::changesSince(*m_db, folder, revision,
                                  "SELECT revision, encode(entries, 'hex') FROM changes WHERE folder_id = ? "
                                  "AND revision > ? ORDER BY revision",
                                  [](PgQuery &q) { return fromHex(q.text(1)); });
        if (own)
            m_db->exec("COMMIT");
    } catch (...) {
        if (own)
            rollback();
        throw;
    }
    return out;
}

} // namespace store
