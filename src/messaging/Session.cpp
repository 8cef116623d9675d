#include "Session.h"

#include "AddressLists.h"
#include "Detail.h"
#include "InfoStores.h"
#include "Message.h"
#include "store/Schema.h"

#include <cstdlib>
#include <thread>

namespace messaging {

namespace detail {

namespace {
constexpr int kBatchWrites = 1000;
constexpr auto kBatchAge = std::chrono::milliseconds(100);
constexpr auto kBatchPause = std::chrono::microseconds(300);
} // namespace

SessionState::~SessionState()
{
    try {
        close();
    } catch (...) {
        // Nothing can be reported from a destructor; the batch was rolled back.
    }
}

void SessionState::enter()
{
    if (!db)
        throw Error(ErrorCode::InvalidArgument, "The session is not logged on");
    if (!grouped && db->inTransaction() && std::chrono::steady_clock::now() - transactionStart >= kBatchAge)
        commit();
}

void SessionState::write(const std::function<void()> &operation, bool multiStatement)
{
    store::Database &d = database();
    if (!d.inTransaction()) {
        d.query("BEGIN IMMEDIATE").run();
        transactionStart = std::chrono::steady_clock::now();
        writesInTransaction = 0;
    }
    if (multiStatement)
        d.query("SAVEPOINT operation").run();
    ++writeDepth;
    try {
        operation();
        --writeDepth;
    } catch (...) {
        --writeDepth;
        if (multiStatement && d.inTransaction()) {
            try {
                d.query("ROLLBACK TO operation").run();
                d.query("RELEASE operation").run();
            } catch (...) {
                if (d.inTransaction())
                    d.exec("ROLLBACK");
            }
        }
        throw;
    }
    if (multiStatement)
        d.query("RELEASE operation").run();
    // An operation nested in another commits with the outer one; a group at its end.
    if (writeDepth > 0 || grouped)
        return;
    if (++writesInTransaction >= kBatchWrites || std::chrono::steady_clock::now() - transactionStart >= kBatchAge) {
        commit();
        // A short pause after a full batch lets a writer in another process take its turn.
        std::this_thread::sleep_for(kBatchPause);
    }
}

void SessionState::commit(bool durable)
{
    if (!db)
        return;
    if (!db->inTransaction()) {
        if (durable)
            db->syncToDisk();
        return;
    }
    db->query("COMMIT").run();
    writesInTransaction = 0;
    if (durable)
        db->syncToDisk();
}

int SessionState::writesLostToRollback() noexcept
{
    if (!db || db->inTransaction() || writesInTransaction == 0)
        return 0;
    int lost = writesInTransaction;
    writesInTransaction = 0;
    return lost;
}

void SessionState::abandonBatch() noexcept
{
    knownFolders.clear();   // a folder made in the batch is gone again
    prefetched.reset();
    try {
        if (db && db->inTransaction())
            db->exec("ROLLBACK");
    } catch (...) {
    }
}

void SessionState::commitAfterError() noexcept
{
    // Inside a group the caller decides: commit the group or abandon all of it.
    if (grouped)
        return;
    try {
        commit();
    } catch (...) {
        try {
            if (db && db->inTransaction())
                db->exec("ROLLBACK");
        } catch (...) {
        }
    }
}

void SessionState::close()
{
    if (!db)
        return;
    prefetched.reset();
    knownFolders.clear();
    if (grouped) {
        // A group that was never committed leaves nothing behind.
        grouped = false;
        abandonBatch();
    }
    try {
        commit(true);
    } catch (...) {
        db.reset();
        throw;
    }
    // What is committed is safe in the write-ahead log: a checkpoint that cannot run now
    // (the disk full) runs at the next open and is no failure of this session.
    try {
        db->exec("PRAGMA wal_checkpoint(PASSIVE)");
    } catch (...) {
    }
    db.reset();
}

std::vector<std::int64_t> SessionState::profileStores() const
{
    std::vector<std::int64_t> out;
    {
        auto q = database().query("SELECT id FROM stores WHERE kind = ? ORDER BY id");
        q.bind(1, store::PublicStore);
        while (q.step())
            out.push_back(q.int64(0));
    }
    if (ownerEntry) {
        auto q = database().query("SELECT id FROM stores WHERE kind = ? AND owner_entry = ? ORDER BY id");
        q.bind(1, store::MailboxStore).bind(2, ownerEntry);
        while (q.step())
            out.push_back(q.int64(0));
    }
    auto q = database().query("SELECT store_id FROM shares WHERE profile_id = ? ORDER BY seq");
    q.bind(1, profileId);
    while (q.step()) {
        std::int64_t id = q.int64(0);
        if (std::find(out.begin(), out.end(), id) == out.end())
            out.push_back(id);
    }
    return out;
}

} // namespace detail

Session::Session() : Session(defaultStorePath()) {}

Session::Session(std::filesystem::path storePath) : m_state(std::make_shared<detail::SessionState>())
{
    m_state->path = std::move(storePath);
}

Session::~Session() = default;
Session::Session(const Session &) = default;
Session &Session::operator=(const Session &) = default;
Session::Session(Session &&) noexcept = default;
Session &Session::operator=(Session &&) noexcept = default;

void Session::Logon(std::string_view profileName)
{
    detail::guarded(nullptr, "Session.Logon", [&] {
        detail::SessionState &s = *m_state;
        if (s.db)
            throw Error(ErrorCode::LogonFailed, "The session is already logged on");
        std::error_code ec;
        if (!std::filesystem::is_regular_file(s.path, ec))
            throw Error(ErrorCode::LogonFailed, "Logon failed: store file \"" + s.path.string() + "\" not found");
        std::unique_ptr<store::Database> db;
        try {
            db = store::openStore(s.path);
            db->setWriteHook(&faults::noteWrite);
            auto q = db->query("SELECT id, owner_entry FROM profiles WHERE name = ?");
            q.bind(1, profileName);
            if (!q.step())
                throw Error(ErrorCode::LogonFailed,
                            "Logon failed: profile \"" + std::string(profileName) + "\" not found in \"" +
                                s.path.string() + "\"");
            s.profileId = q.int64(0);
            s.ownerEntry = q.isNull(1) ? 0 : q.int64(1);
            q.reset();
            s.guid = store::storeGuid(*db);
        } catch (const store::DbError &e) {
            throw Error(ErrorCode::LogonFailed, "Logon failed: " + std::string(e.what()));
        }
        s.profileName = std::string(profileName);
        s.db = std::move(db);
    });
}

void Session::Logoff()
{
    detail::guarded(m_state, "Session.Logoff", [&] { m_state->close(); });
}

void Session::beginGroup()
{
    detail::guarded(m_state, "Session.beginGroup", [&] {
        detail::SessionState &s = *m_state;
        if (s.grouped)
            throw Error(ErrorCode::InvalidArgument, "A write group is already open");
        s.commit();
        s.grouped = true;
    });
}

void Session::commitGroup()
{
    detail::guarded(m_state, "Session.commitGroup", [&] {
        detail::SessionState &s = *m_state;
        if (!s.grouped)
            throw Error(ErrorCode::InvalidArgument, "No write group is open");
        s.grouped = false;
        s.commit();
    });
}

void Session::abandonGroup() noexcept
{
    detail::SessionState &s = *m_state;
    if (!s.grouped)
        return;
    s.grouped = false;
    s.abandonBatch();
    s.writesInTransaction = 0;
}

bool Session::LoggedOn() const
{
    return m_state->loggedOn();
}

InfoStores Session::InfoStores() const
{
    return detail::guarded(m_state, "Session.InfoStores", [&] { return messaging::InfoStores(m_state); });
}

AddressLists Session::AddressLists() const
{
    return detail::guarded(m_state, "Session.AddressLists", [&] { return messaging::AddressLists(m_state); });
}

Message Session::GetMessage(std::string_view entryId, std::string_view storeId) const
{
    return detail::guarded(m_state, "Session.GetMessage", [&] {
        detail::SessionState &s = *m_state;
        auto notFound = [&] {
            return Error(ErrorCode::NotFound, "Message \"" + std::string(entryId) + "\" not found");
        };
        auto id = detail::parseId(s.guid, detail::IdKind::Message, entryId);
        if (!id)
            throw notFound();
        auto state = std::make_shared<detail::MessageState>();
        state->id = *id;
        if (!detail::loadRow(s, *state))
            throw notFound();
        std::int64_t store = 0;
        {
            auto q = s.database().query("SELECT store_id FROM folders WHERE id = ?");
            q.bind(1, state->row.folder);
            if (q.step())
                store = q.int64(0);
        }
        if (!storeId.empty()) {
            auto wanted = detail::parseId(s.guid, detail::IdKind::Store, storeId);
            if (!wanted || *wanted != store)
                throw notFound();
        }
        auto visible = s.profileStores();
        if (std::find(visible.begin(), visible.end(), store) == visible.end())
            throw notFound();
        return Message(m_state, state);
    });
}

const std::filesystem::path &Session::storePath() const
{
    return m_state->path;
}

std::filesystem::path Session::defaultStorePath()
{
    if (const char *env = std::getenv("LARKSPUR_STORE"); env && *env)
        return env;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        return std::filesystem::path(xdg) / "larkspur" / "store.db";
    const char *home = std::getenv("HOME");
    return std::filesystem::path(home ? home : ".") / ".local" / "share" / "larkspur" / "store.db";
}

} // namespace messaging
