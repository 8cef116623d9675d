#include "dav/StoreSource.h"

#include "dav/Tags.h"
#include "dav/TimeRange.h"

#include "IcsStore.h"
#include "IcsWriter.h"

#include "messaging/Detail.h"
#include "messaging/Error.h"
#include "messaging/Folder.h"
#include "messaging/PropTags.h"
#include "messaging/Session.h"
#include "store/Schema.h"

#include <sodium.h>
#include <sys/stat.h>

#include <algorithm>
#include <deque>
#include <ctime>

namespace dav {

namespace {

constexpr std::size_t PoolSize = 16;
constexpr std::string_view GlobalAddressList = "Global Address List";
// Items whose source carries no DTSTAMP: one fixed instant, so an unchanged folder
// always gives the same bytes.
constexpr const char *FixedDtstamp = "20000101T000000Z";

} // namespace

namespace {

// What a change of the store changes: every commit writes the log, a checkpoint the file.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0, logSize = 0;
    std::int64_t changed = 0, logChanged = 0;
    bool operator==(const Stamp &) const = default;
};

std::optional<Stamp> stampOf(const std::filesystem::path &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    Stamp s{st.st_dev, st.st_ino, st.st_size, 0, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec, 0};
    std::filesystem::path log = path;
    log += "-wal";
    if (::stat(log.c_str(), &st) == 0) {
        s.logSize = st.st_size;
        s.logChanged = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return s;
}

struct Memo {
    Stamp stamp;
    std::map<std::string, std::optional<Account>, std::less<>> accounts;
    std::map<std::int64_t, std::vector<Calendar>> calendars;   // by account entry
    std::map<std::int64_t, std::string> revisions;             // by folder
};

} // namespace

struct StoreSource::Pooled {
    explicit Pooled(const std::filesystem::path &path) : session(path) {}
    messaging::Session session;
    dev_t device = 0;
    ino_t inode = 0;
    std::string guid;
    // Folder -> (data_version it was computed at, digest).
    std::map<std::int64_t, std::pair<std::int64_t, std::string>> digests;
};

struct StoreSource::Shared {
    std::filesystem::path path;
    std::mutex poolLock;
    std::vector<std::unique_ptr<Pooled>> pool;
    std::mutex memoLock;
    Memo memo;
    // Runs `note` on the memo when it belongs to the snapshot's stamp (a memo of an
    // older stamp is dropped first).
    template <class F>
    void remember(const Stamp &stamp, F &&note)
    {
        std::lock_guard lock(memoLock);
        if (!(memo.stamp == stamp))
            memo = Memo{stamp, {}, {}, {}};
        note(memo);
    }
    Changes changes(const Calendar &cal, std::string_view revision, const CalendarState &now)
    {
        Changes out;
        auto old = kept(cal.key, std::string(revision));
        kept(cal.key, now.revision);   // the current state stays the newest
        if (!old)
            return out;
        out.known = true;
        for (const Resource &r : now.resources) {
            const Resource *before = old->find(r.name);
            if (!before || before->etag != r.etag)
                out.changed.push_back(&r);
        }
        for (const Resource &r : old->resources)
            if (!now.find(r.name))
                out.removed.push_back(r.name);
        return out;
    }

    std::mutex statesLock;
    // Calendar key -> its states, newest first.
    std::map<std::string, std::deque<std::shared_ptr<const CalendarState>>> states;

    std::shared_ptr<const CalendarState> kept(const std::string &key, const std::string &revision)
    {
        std::lock_guard lock(statesLock);
        auto &list = states[key];
        for (auto it = list.begin(); it != list.end(); ++it) {
            if ((*it)->revision != revision)
                continue;
            auto found = *it;
            list.erase(it);
            list.push_front(found);
            return found;
        }
        return nullptr;
    }
    void keep(const std::string &key, std::shared_ptr<const CalendarState> state)
    {
        std::lock_guard lock(statesLock);
        auto &list = states[key];
        list.push_front(std::move(state));
        while (list.size() > KeptStates)
            list.pop_back();
    }
};

namespace {

class StoreSnapshot : public Snapshot {
public:
    StoreSnapshot(std::shared_ptr<StoreSource::Shared> shared, std::unique_ptr<StoreSource::Pooled> pooled,
                  Stamp stamp)
        : m_shared(std::move(shared)), m_pooled(std::move(pooled)), m_stamp(stamp)
    {
        guard([&] {
            store::Database &db = database();
            {
                auto q = db.query("PRAGMA data_version");
                m_dataVersion = q.step() ? q.int64(0) : -1;
            }
            db.exec("BEGIN");
            m_open = true;
            // The first read fixes the snapshot.
            m_pooled->guid = store::storeGuid(db);
            // The object model must not end this read transaction as an old batch.
            m_pooled->session.state()->grouped = true;
        });
    }

    ~StoreSnapshot() override
    {
        if (!m_pooled)
            return;
        try {
            m_pooled->session.state()->grouped = false;
            if (m_open)
                database().exec("ROLLBACK");
        } catch (...) {
            return; // the connection is dropped with the snapshot
        }
        std::lock_guard lock(m_shared->poolLock);
        if (m_shared->pool.size() < PoolSize)
            m_shared->pool.push_back(std::move(m_pooled));
    }

    std::optional<Account> account(std::string_view login) override
    {
        auto found = lookUp(login);
        m_shared->remember(m_stamp, [&](Memo &m) { m.accounts[std::string(login)] = found; });
        return found;
    }

    std::optional<Account> lookUp(std::string_view login)
    {
        return guard([&]() -> std::optional<Account> {
            auto q = database().query(
                "SELECT e.id, e.display_type, f.value FROM address_entries e"
                " JOIN address_lists l ON l.id = e.list_id AND l.name = ?"
                " LEFT JOIN entry_fields f ON f.entry_id = e.id AND f.tag = ? AND f.type = ?"
                " WHERE e.name = ? ORDER BY e.id LIMIT 1");
            q.bind(1, GlobalAddressList).bind(2, std::int64_t(messaging::PropTag::PasswordHash));
            q.bind(3, store::FieldText).bind(4, login);
            if (!q.step() || q.int64(1) != 0)
                return std::nullopt;
            return Account{std::string(login), q.int64(0), q.isNull(2) ? std::string() : q.text(2)};
        });
    }

    std::vector<Calendar> calendars(const Account &account) override
    {
        auto found = calendarsOf(account);
        m_shared->remember(m_stamp, [&](Memo &m) { m.calendars[account.entry] = found; });
        return found;
    }

    std::vector<Calendar> calendarsOf(const Account &account)
    {
        return guard([&] {
            std::vector<Calendar> out;
            store::Database &db = database();
            // The shared calendar: the public store's root, its second subfolder, in it
            // "Larkspur Calendar".
            {
                auto q = db.query(
                    "SELECT cal.id FROM stores s JOIN folders root ON root.store_id = s.id AND root.parent_id IS NULL"
                    " JOIN folders second ON second.parent_id = root.id"
                    " AND second.id = (SELECT id FROM folders WHERE parent_id = root.id ORDER BY id LIMIT 1 OFFSET 1)"
                    " JOIN folders cal ON cal.parent_id = second.id AND cal.name = 'Larkspur Calendar'"
                    " WHERE s.kind = ? AND s.name = 'Public Folders' ORDER BY s.id, cal.id LIMIT 1");
                q.bind(1, store::PublicStore);
                if (q.step())
                    out.push_back(calendar(CalendarKind::Shared, q.int64(0), "Larkspur Calendar"));
            }
            auto q = db.query(
                "SELECT cal.id FROM stores s JOIN folders root ON root.store_id = s.id AND root.parent_id IS NULL"
                " JOIN folders cal ON cal.parent_id = root.id AND cal.name = 'Calendar'"
                " WHERE s.kind = ? AND s.owner_entry = ? ORDER BY s.id, cal.id LIMIT 1");
            q.bind(1, store::MailboxStore).bind(2, account.entry);
            if (q.step())
                out.push_back(calendar(CalendarKind::Personal, q.int64(0), "Calendar"));
            return out;
        });
    }

    std::string revision(const Calendar &cal) override
    {
        return guard([&] {
            auto &cached = m_pooled->digests[cal.folder];
            if (cached.first != m_dataVersion || cached.second.empty())
                cached = {m_dataVersion, digest(cal.folder)};
            m_shared->remember(m_stamp, [&](Memo &m) { m.revisions[cal.folder] = cached.second; });
            return cached.second;
        });
    }

    std::shared_ptr<const CalendarState> state(const Calendar &cal) override
    {
        const std::string rev = revision(cal);
        if (auto found = m_shared->kept(cal.key, rev))
            return found;
        return guard([&] {
            std::lock_guard lock(libraryLock());
            // Another request may have built it while this one waited.
            if (auto found = m_shared->kept(cal.key, rev))
                return found;
            auto built = build(cal, rev);
            m_shared->keep(cal.key, built);
            return built;
        });
    }

    Changes changesSince(const Calendar &cal, std::string_view revision, const CalendarState &now) override
    {
        return m_shared->changes(cal, revision, now);
    }

private:
    store::Database &database() { return m_pooled->session.state()->database(); }

    Calendar calendar(CalendarKind kind, std::int64_t folder, std::string name)
    {
        return Calendar{kind, folder, m_pooled->guid + "-" + std::to_string(folder), std::move(name)};
    }

    template <class F>
    auto guard(F &&body) -> decltype(body())
    {
        try {
            return body();
        } catch (const store::DbError &e) {
            fail();
            throw Unavailable(std::string("the store failed: ") + e.what());
        } catch (const messaging::Error &e) {
            fail();
            throw Unavailable("the store failed: " + e.description());
        }
    }

    void fail()
    {
        // A connection that failed is not used again.
        try {
            m_pooled->session.state()->grouped = false;
            if (database().inTransaction())
                database().exec("ROLLBACK");
        } catch (...) {
        }
        m_open = false;
        m_pooled.reset();
    }

    // Everything the folder's visible items hold, in one digest.
    std::string digest(std::int64_t folder)
    {
        crypto_generichash_state h;
        crypto_generichash_init(&h, nullptr, 0, 16);
        auto feed = [&](store::Query &q, int columns) {
            for (int c = 0; c < columns; ++c) {
                const std::string value = q.isNull(c) ? std::string() : q.text(c);
                const unsigned char head[2] = {static_cast<unsigned char>(q.type(c)), 0};
                const std::uint64_t size = value.size();
                crypto_generichash_update(&h, head, sizeof head);
                crypto_generichash_update(&h, reinterpret_cast<const unsigned char *>(&size), sizeof size);
                crypto_generichash_update(&h, reinterpret_cast<const unsigned char *>(value.data()), value.size());
            }
        };
        {
            auto q = database().query("SELECT id, subject, body, sensitivity, categories, all_day, location, start,"
                                      " end, stamp FROM messages WHERE folder_id = ? AND hidden = 0 ORDER BY id");
            q.bind(1, folder);
            while (q.step())
                feed(q, 10);
        }
        auto q = database().query("SELECT f.message_id, f.tag, f.type, f.value FROM message_fields f"
                                  " JOIN messages m ON m.id = f.message_id"
                                  " WHERE m.folder_id = ? AND m.hidden = 0 ORDER BY f.message_id, f.tag");
        q.bind(1, folder);
        while (q.step())
            feed(q, 4);
        unsigned char out[16];
        crypto_generichash_final(&h, out, sizeof out);
        char hex[33];
        sodium_bin2hex(hex, sizeof hex, out, sizeof out);
        return hex;
    }

    std::shared_ptr<const CalendarState> build(const Calendar &cal, const std::string &rev)
    {
        auto st = std::make_shared<CalendarState>();
        st->revision = rev;
        st->dtstamp = FixedDtstamp;
        st->lastModified = static_cast<std::int64_t>(std::time(nullptr));
        const messaging::Folder folder(m_pooled->session.state(), cal.folder);
        std::vector<larkspur::ics::ExportedItem> items = larkspur::ics::exportItems(folder);
        std::vector<std::string> warnings;
        std::vector<larkspur::ics::IcsEvent> events;
        events.reserve(items.size());
        st->resources.reserve(items.size());
        for (larkspur::ics::ExportedItem &item : items) {
            Resource r;
            r.name = item.entryId + ".ics";
            r.text = larkspur::ics::writeIcs({item.event}, st->dtstamp, warnings);
            r.etag = resourceEtag(r.text);
            computeSpans(r);
            events.push_back(item.event);
            r.event = std::move(item.event);
            st->resources.push_back(std::move(r));
        }
        st->feed = larkspur::ics::writeIcs(events, st->dtstamp, warnings);
        std::sort(st->resources.begin(), st->resources.end(),
                  [](const Resource &a, const Resource &b) { return a.name < b.name; });
        return st;
    }

    std::shared_ptr<StoreSource::Shared> m_shared;
    std::unique_ptr<StoreSource::Pooled> m_pooled;
    Stamp m_stamp;
    std::int64_t m_dataVersion = -1;
    bool m_open = false;
};

// Answers from what earlier snapshots of the same stamp read; no store access at all.
class MemorySnapshot : public Snapshot {
public:
    MemorySnapshot(std::shared_ptr<StoreSource::Shared> shared, Stamp stamp)
        : m_shared(std::move(shared)), m_stamp(stamp) {}

    std::optional<Account> account(std::string_view login) override
    {
        return find([&](Memo &m) {
            auto it = m.accounts.find(login);
            return it == m.accounts.end() ? std::optional<std::optional<Account>>() : it->second;
        });
    }
    std::vector<Calendar> calendars(const Account &account) override
    {
        return find([&](Memo &m) {
            auto it = m.calendars.find(account.entry);
            return it == m.calendars.end() ? std::optional<std::vector<Calendar>>() : it->second;
        });
    }
    std::string revision(const Calendar &cal) override
    {
        return find([&](Memo &m) {
            auto it = m.revisions.find(cal.folder);
            return it == m.revisions.end() ? std::optional<std::string>() : it->second;
        });
    }
    std::shared_ptr<const CalendarState> state(const Calendar &cal) override
    {
        auto found = m_shared->kept(cal.key, revision(cal));
        if (!found)
            throw SnapshotMissed();
        return found;
    }
    Changes changesSince(const Calendar &cal, std::string_view revision, const CalendarState &now) override
    {
        return m_shared->changes(cal, revision, now);
    }

private:
    template <class F>
    auto find(F &&look) -> typename decltype(look(std::declval<Memo &>()))::value_type
    {
        std::lock_guard lock(m_shared->memoLock);
        if (!(m_shared->memo.stamp == m_stamp))
            throw SnapshotMissed();
        auto found = look(m_shared->memo);
        if (!found)
            throw SnapshotMissed();
        return std::move(*found);
    }

    std::shared_ptr<StoreSource::Shared> m_shared;
    Stamp m_stamp;
};

} // namespace

const Resource *CalendarState::find(std::string_view name) const
{
    auto it = std::lower_bound(resources.begin(), resources.end(), name,
                               [](const Resource &r, std::string_view n) { return r.name < n; });
    return it != resources.end() && it->name == name ? &*it : nullptr;
}

StoreSource::StoreSource(std::filesystem::path store) : m_shared(std::make_shared<Shared>())
{
    m_shared->path = std::move(store);
}

StoreSource::~StoreSource() = default;

std::unique_ptr<Snapshot> StoreSource::open(bool fromMemory)
{
    const std::optional<Stamp> stamp = stampOf(m_shared->path);
    if (!stamp)
        throw Unavailable("the store \"" + m_shared->path.string() + "\" cannot be found");
    if (fromMemory)
        return std::make_unique<MemorySnapshot>(m_shared, *stamp);
    struct stat st {};
    st.st_dev = stamp->device;
    st.st_ino = stamp->inode;
    std::unique_ptr<Pooled> pooled;
    {
        std::lock_guard lock(m_shared->poolLock);
        auto &pool = m_shared->pool;
        // A store file put in place of the old one is read afresh.
        pool.erase(std::remove_if(pool.begin(), pool.end(),
                                  [&](const auto &p) { return p->device != st.st_dev || p->inode != st.st_ino; }),
                   pool.end());
        if (!pool.empty()) {
            pooled = std::move(pool.back());
            pool.pop_back();
        }
    }
    if (!pooled) {
        pooled = std::make_unique<Pooled>(m_shared->path);
        pooled->device = st.st_dev;
        pooled->inode = st.st_ino;
        try {
            std::lock_guard lock(libraryLock());
            pooled->session.Logon("Administrator");
        } catch (const messaging::Error &e) {
            throw Unavailable("the store cannot be opened: " + e.description());
        }
    }
    return std::make_unique<StoreSnapshot>(m_shared, std::move(pooled), *stamp);
}

} // namespace dav
