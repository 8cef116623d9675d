#include "dav/StoreSource.h"

#include "dav/Tags.h"
#include "dav/TimeRange.h"
#include "dav/WalIndex.h"

#include "ical/IcsStore.h"
#include "ical/IcsWriter.h"

#include "core/Error.h"
#include "core/StoreLayout.h"
#include "messaging/Detail.h"
#include "messaging/Folder.h"
#include "messaging/PropTags.h"
#include "messaging/Session.h"
#include "store/Engine.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <semaphore>
#include <utility>
#include <ctime>

namespace dav {

namespace {

// Sessions kept between requests, and in use at once: requests beyond wait for one, so
// that a crowd of clients never takes a database server's every connection.
constexpr std::size_t PoolSize = 16;
constexpr std::string_view GlobalAddressList = "Global Address List";

} // namespace

namespace {

// Which committed state of which store: every commit that writes raises the store's
// revision, and a file put in place of the old one is another file. A store in a
// database has no file (its device and inode stay 0); a database made afresh at the same
// location is told apart by the store's identifier, which every store gets when made.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t revision = -1;
    std::size_t store = 0; // hash of the store's identifier
    bool operator==(const Stamp &) const = default;
};

std::size_t storeHash(store::Engine &engine)
{
    return std::hash<std::string>{}(engine.guid());
}

struct Memo {
    Stamp stamp;
    std::map<std::string, std::optional<Account>, std::less<>> accounts;
    std::map<std::int64_t, std::shared_ptr<const std::vector<Calendar>>> calendars;   // by account entry
    std::map<std::int64_t, std::string> revisions;             // by folder
};

// What the store file's WAL index vouches for: while it reads `header`, the store is
// still at the revision of `stamp` (the header was read before that revision was).
struct Vouch {
    Stamp stamp;
    WalIndex::Header header;
    const WalIndex *index = nullptr;
};

// The WAL index as it read before a revision of the store was read, and which index
// it was (the one of the sessions open since `generation`).
struct Watch {
    std::uint64_t generation = 0;
    const WalIndex *index = nullptr;
    std::optional<WalIndex::Header> header;
};

} // namespace

struct StoreSource::Pooled {
    Pooled(StoreSource::Shared &owner, const std::filesystem::path &path) : shared(owner), session(path) {}
    ~Pooled();
    StoreSource::Shared &shared;
    messaging::Session session;
    dev_t device = 0;
    ino_t inode = 0;
};

struct StoreSource::Shared {
    std::filesystem::path path;
    bool inDatabase = false;    // on a PostgreSQL server: no file to look at

    // What every request reads and few change, published as one: each change copies
    // what it changes and takes a new number, and each thread keeps the last one it read
    // until the number moves on, so that requests share nothing they write to.
    using States = std::map<std::string, std::shared_ptr<const CalendarState>, std::less<>>;
    struct Published {
        std::shared_ptr<const Memo> memo = std::make_shared<const Memo>();
        // Calendar key -> its state at the latest revision built.
        std::shared_ptr<const States> states = std::make_shared<const States>();
        std::shared_ptr<const Vouch> vouch;
    };
    std::mutex publishLock;     // for the writers, and for a reader taking a new copy
    Published published;
    std::atomic<std::uint64_t> version{0};

    // A thread's copy. Numbers are unique in the process, so that a copy is never taken
    // for that of another source. A snapshot from memory reads the copy of its thread
    // in place (one snapshot at a time in a thread): the copy stays while one is pinned.
    struct Seen {
        std::uint64_t version = 0;
        Published copy;
        int pinned = 0;
    };
    static Seen &seen()
    {
        thread_local Seen mine;
        return mine;
    }
    const Published &current()
    {
        Seen &s = seen();
        if (s.pinned == 0 && version.load(std::memory_order_acquire) != s.version) {
            std::lock_guard lock(publishLock);
            s.copy = published;
            s.version = version.load(std::memory_order_relaxed);
        }
        return s.copy;
    }
    // Under publishLock, after a change to `published`.
    void publish()
    {
        static std::atomic<std::uint64_t> numbers{0};
        version.store(++numbers, std::memory_order_release);
    }

    // The cheapest answer: while the store file's WAL index reads as it did before the
    // revision of the memo was read, the memo is current, and neither a session nor the
    // store is needed. The index is only trusted while this process keeps a session of
    // the store open all along (the last connection to close removes the index file, and
    // the next one makes a new one): every session that closes drops it first.
    std::uint64_t generation = 0;       // sessions closed so far (under publishLock)
    const WalIndex *index = nullptr;
    dev_t indexDevice = 0;
    ino_t indexInode = 0;

    // Before a session of the store file (device, inode) reads the store's revision.
    Watch watch(dev_t device, ino_t inode)
    {
        Watch w;
        {
            std::lock_guard lock(publishLock);
            if (!index || indexDevice != device || indexInode != inode) {
                index = WalIndex::open(path);
                indexDevice = device;
                indexInode = inode;
            }
            w.generation = generation;
            w.index = index;
        }
        if (w.index)
            w.header = w.index->header();
        return w;
    }
    // After it read the revision of `stamp`.
    void vouchFor(const Stamp &stamp, const Watch &w)
    {
        if (!w.header)
            return;
        std::lock_guard lock(publishLock);
        if (w.generation != generation || w.index != index)
            return;
        if (published.vouch && published.vouch->stamp == stamp && published.vouch->header == *w.header)
            return;
        published.vouch = std::make_shared<const Vouch>(Vouch{stamp, *w.header, w.index});
        publish();
    }
    // Before any session closes.
    void sessionClosing()
    {
        std::lock_guard lock(publishLock);
        ++generation;
        index = nullptr;
        published.vouch.reset();
        publish();
    }
    // What is published, when the WAL index vouches that its memo is current for the
    // store file `st` describes.
    const Published *vouched(const struct stat &st)
    {
        const Published &now = current();
        const Vouch *v = now.vouch.get();
        if (!v || v->stamp.device != st.st_dev || v->stamp.inode != st.st_ino || !(now.memo->stamp == v->stamp))
            return nullptr;
        const std::optional<WalIndex::Header> header = v->index->header();
        return header && *header == v->header ? &now : nullptr;
    }

    std::counting_semaphore<PoolSize> inUse{PoolSize};
    std::mutex poolLock;
    std::vector<std::unique_ptr<Pooled>> pool;

    // Notes on the memo when it belongs to the snapshot's stamp (a memo of an older
    // stamp is dropped first; a snapshot older than the memo notes nothing).
    template <class F>
    void remember(const Stamp &stamp, F &&note)
    {
        std::lock_guard lock(publishLock);
        const Memo &now = *published.memo;
        std::shared_ptr<Memo> next;
        if (now.stamp == stamp) {
            next = std::make_shared<Memo>(now);
        } else {
            if (now.stamp.device == stamp.device && now.stamp.inode == stamp.inode
                && now.stamp.revision > stamp.revision)
                return;
            next = std::make_shared<Memo>();
            next->stamp = stamp;
        }
        note(*next);
        published.memo = std::move(next);
        publish();
    }

    void giveBack(std::unique_ptr<Pooled> pooled)
    {
        std::lock_guard lock(poolLock);
        if (pool.size() < PoolSize)
            pool.push_back(std::move(pooled));
    }
    // After a failure: the sessions kept with it are likely gone too (a server that
    // restarted ended every connection), so each is opened afresh.
    void dropPool()
    {
        std::lock_guard lock(poolLock);
        pool.clear();
    }

    std::shared_ptr<const CalendarState> kept(const std::string &key, const std::string &revision)
    {
        const States &all = *current().states;
        auto it = all.find(key);
        return it != all.end() && it->second->revision == revision ? it->second : nullptr;
    }
    void keep(const std::string &key, std::shared_ptr<const CalendarState> state)
    {
        std::lock_guard lock(publishLock);
        auto next = std::make_shared<States>(*published.states);
        (*next)[key] = std::move(state);
        published.states = std::move(next);
        publish();
    }
};

StoreSource::Pooled::~Pooled()
{
    shared.sessionClosing();
}

namespace {

// Leave to use one session for the reads of one request.
class Slot {
public:
    explicit Slot(StoreSource::Shared &shared) : m_shared(&shared) { shared.inUse.acquire(); }
    Slot(Slot &&other) noexcept : m_shared(std::exchange(other.m_shared, nullptr)) {}
    Slot &operator=(Slot &&) = delete;
    ~Slot()
    {
        if (m_shared)
            m_shared->inUse.release();
    }

private:
    StoreSource::Shared *m_shared;
};

std::optional<std::int64_t> parseRevision(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

class StoreSnapshot : public Snapshot {
public:
    StoreSnapshot(std::shared_ptr<StoreSource::Shared> shared, Slot slot, std::unique_ptr<StoreSource::Pooled> pooled)
        : m_shared(std::move(shared)), m_slot(std::move(slot)), m_pooled(std::move(pooled))
    {
        m_stamp.device = m_pooled->device;
        m_stamp.inode = m_pooled->inode;
        m_stamp.store = storeHash(engine());
        // What this snapshot reads is remembered under the revision it sees.
        const Watch watch = m_shared->inDatabase ? Watch() : m_shared->watch(m_stamp.device, m_stamp.inode);
        guard([&] {
            engine().beginRead();
            m_stamp.revision = engine().storeRevision();
        });
        m_shared->vouchFor(m_stamp, watch);
    }

    ~StoreSnapshot() override
    {
        if (!m_pooled)
            return;
        engine().endRead();
        m_shared->giveBack(std::move(m_pooled));
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
            store::Engine &e = engine();
            const auto list = e.addressListByName(GlobalAddressList);
            const auto entry = list ? e.addressEntryByName(*list, login) : std::nullopt;
            const auto row = entry ? e.addressEntry(*entry) : std::nullopt;
            if (!row || row->displayType != 0)
                return std::nullopt;
            Account account{std::string(login), *entry, {}};
            if (auto hash = e.entryField(*entry, std::uint32_t(messaging::PropTag::PasswordHash)))
                if (const auto *text = std::get_if<std::string>(&*hash))
                    account.passwordHash = *text;
            return account;
        });
    }

    const std::vector<Calendar> &calendars(const Account &account) override
    {
        auto found = std::make_shared<const std::vector<Calendar>>(calendarsOf(account));
        m_shared->remember(m_stamp, [&](Memo &m) { m.calendars[account.entry] = found; });
        m_kept.push_back(found);
        return *found;
    }

    std::vector<Calendar> calendarsOf(const Account &account)
    {
        return guard([&] {
            std::vector<Calendar> out;
            store::Engine &e = engine();
            // The shared calendar: the public store's root, its second subfolder, in it
            // "Larkspur Calendar" (core/StoreLayout.h).
            const std::size_t parent = core::SharedCalendarParentPosition - 1;
            for (store::Id id : e.storesOfKind(store::StoreKind::Public)) {
                const auto row = e.store(id);
                const auto root = row && row->name == core::PublicStoreName ? e.rootFolder(id) : std::nullopt;
                const std::vector<store::Id> top = root ? e.subfolders(*root) : std::vector<store::Id>();
                const auto cal = top.size() > parent ? e.subfolder(top[parent], core::SharedCalendarName) : std::nullopt;
                if (cal) {
                    out.push_back(calendar(CalendarKind::Shared, *cal, std::string(core::SharedCalendarName)));
                    break;
                }
            }
            // The account's own: "Calendar" at the root of its mailbox.
            for (store::Id id : e.storesOfKind(store::StoreKind::Mailbox)) {
                const auto row = e.store(id);
                const auto root = row && row->ownerEntry == account.entry ? e.rootFolder(id) : std::nullopt;
                const auto cal = root ? e.subfolder(*root, core::PersonalCalendarName) : std::nullopt;
                if (cal) {
                    out.push_back(calendar(CalendarKind::Personal, *cal, std::string(core::PersonalCalendarName)));
                    break;
                }
            }
            return out;
        });
    }

    std::string revision(const Calendar &cal) override
    {
        return guard([&] {
            const std::string rev = std::to_string(engine().folderRevision(cal.folder));
            m_shared->remember(m_stamp, [&](Memo &m) { m.revisions[cal.folder] = rev; });
            return rev;
        });
    }

    const CalendarState *state(const Calendar &cal) override
    {
        std::shared_ptr<const CalendarState> found = stateOf(cal);
        m_kept.push_back(found);
        return found.get();
    }

    std::shared_ptr<const CalendarState> stateOf(const Calendar &cal)
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
        Changes out;
        const auto since = parseRevision(revision);
        if (!since)
            return out;
        const store::FolderChanges log = guard([&] { return engine().changesSince(cal.folder, *since); });
        if (log.tooOld)
            return out;
        out.known = true;
        // A message's last entry says what became of it.
        std::map<store::Id, store::ChangeKind> last;
        for (const store::Change &c : log.changes)
            if (c.kind == store::ChangeKind::Added || c.kind == store::ChangeKind::Changed
                || c.kind == store::ChangeKind::Deleted)
                last[c.message] = c.kind;
        for (const auto &[message, kind] : last) {
            std::string name =
                messaging::detail::makeId(engine().guid(), messaging::detail::IdKind::Message, message) + ".ics";
            const Resource *res = kind == store::ChangeKind::Deleted ? nullptr : now.find(name);
            if (res)
                out.changed.push_back(res);
            else
                out.removed.push_back(std::move(name));
        }
        return out;
    }

private:
    store::Engine &engine() { return m_pooled->session.state()->store(); }

    Calendar calendar(CalendarKind kind, std::int64_t folder, std::string name)
    {
        return Calendar{kind, folder, engine().guid() + "-" + std::to_string(folder), std::move(name)};
    }

    template <class F>
    auto guard(F &&body) -> decltype(body())
    {
        try {
            return body();
        } catch (const store::StoreError &e) {
            fail();
            throw Unavailable(std::string("the store failed: ") + e.what());
        } catch (const messaging::Error &e) {
            fail();
            throw Unavailable("the store failed: " + e.description());
        }
    }

    void fail()
    {
        // A connection that failed is not used again, nor those kept beside it.
        if (m_pooled)
            engine().endRead();
        m_pooled.reset();
        m_shared->dropPool();
    }

    std::shared_ptr<const CalendarState> build(const Calendar &cal, const std::string &rev)
    {
        auto st = std::make_shared<CalendarState>();
        st->revision = rev;
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
            r.text = larkspur::ics::writeIcs({item.event}, warnings);
            r.etag = resourceEtag(r.text);
            computeSpans(r);
            events.push_back(item.event);
            r.event = std::move(item.event);
            st->resources.push_back(std::move(r));
        }
        // The same bytes as `ics export` of the folder.
        st->feed = larkspur::ics::writeIcs(events, warnings);
        std::sort(st->resources.begin(), st->resources.end(),
                  [](const Resource &a, const Resource &b) { return a.name < b.name; });
        return st;
    }

    std::shared_ptr<StoreSource::Shared> m_shared;
    std::vector<std::shared_ptr<const void>> m_kept;   // what the answers point into
    Slot m_slot;   // let go after the session is back in the pool
    std::unique_ptr<StoreSource::Pooled> m_pooled;
    Stamp m_stamp;
};

// Answers from what earlier snapshots of the same stamp read; no store access at all.
class MemorySnapshot : public Snapshot {
public:
    // `from` is the thread's copy (StoreSource::Shared::current()), which stays as it is
    // while this snapshot lives.
    explicit MemorySnapshot(const StoreSource::Shared::Published &from)
        : m_memo(*from.memo), m_states(*from.states)
    {
        ++StoreSource::Shared::seen().pinned;
    }
    ~MemorySnapshot() override { --StoreSource::Shared::seen().pinned; }
    MemorySnapshot(const MemorySnapshot &) = delete;
    MemorySnapshot &operator=(const MemorySnapshot &) = delete;

    std::optional<Account> account(std::string_view login) override
    {
        auto it = m_memo.accounts.find(login);
        return it == m_memo.accounts.end() ? missed<std::optional<Account>>() : it->second;
    }
    const std::vector<Calendar> &calendars(const Account &account) override
    {
        auto it = m_memo.calendars.find(account.entry);
        if (it == m_memo.calendars.end())
            throw SnapshotMissed();
        return *it->second;
    }
    std::string revision(const Calendar &cal) override
    {
        return std::string(revisionOf(cal));
    }
    const CalendarState *state(const Calendar &cal) override
    {
        auto it = m_states.find(cal.key);
        if (it == m_states.end() || it->second->revision != revisionOf(cal))
            throw SnapshotMissed();
        return it->second.get();
    }
    Changes changesSince(const Calendar &, std::string_view, const CalendarState &) override
    {
        throw SnapshotMissed(); // the change log is read from the store
    }

private:
    template <class T>
    static T missed()
    {
        throw SnapshotMissed();
    }
    const std::string &revisionOf(const Calendar &cal) const
    {
        auto it = m_memo.revisions.find(cal.folder);
        if (it == m_memo.revisions.end())
            throw SnapshotMissed();
        return it->second;
    }

    const Memo &m_memo;
    const StoreSource::Shared::States &m_states;
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
    m_shared->inDatabase = store::isServerLocation(store.native());
    m_shared->path = std::move(store);
}

StoreSource::~StoreSource() = default;

std::unique_ptr<Snapshot> StoreSource::open(bool fromMemory)
{
    struct stat st {};
    if (!m_shared->inDatabase
        && (::stat(m_shared->path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)))
        throw Unavailable("the store \"" + m_shared->path.string() + "\" cannot be found");
    if (fromMemory && !m_shared->inDatabase)
        if (const Shared::Published *now = m_shared->vouched(st))
            return std::make_unique<MemorySnapshot>(*now);
    // A session kept from an earlier request may have lost its connection meanwhile (the
    // database server restarted, the network went away): that costs one more try on a
    // session of its own, not the request.
    for (bool retry = true;; retry = false) {
        Slot slot(*m_shared);
        std::unique_ptr<Pooled> pooled = take(st);
        const bool kept = pooled != nullptr;
        if (!pooled)
            pooled = logOn(st);
        try {
            if (!fromMemory)
                return std::make_unique<StoreSnapshot>(m_shared, std::move(slot), std::move(pooled));
            return fromMemoryOn(std::move(pooled));
        } catch (const Unavailable &) {
            if (!kept || !retry)
                throw;
        }
    }
}

std::unique_ptr<StoreSource::Pooled> StoreSource::take(const struct stat &st)
{
    std::lock_guard lock(m_shared->poolLock);
    auto &pool = m_shared->pool;
    // A store file put in place of the old one is read afresh.
    pool.erase(std::remove_if(pool.begin(), pool.end(),
                              [&](const auto &p) { return p->device != st.st_dev || p->inode != st.st_ino; }),
               pool.end());
    if (pool.empty())
        return nullptr;
    std::unique_ptr<Pooled> pooled = std::move(pool.back());
    pool.pop_back();
    return pooled;
}

std::unique_ptr<StoreSource::Pooled> StoreSource::logOn(const struct stat &st)
{
    auto pooled = std::make_unique<Pooled>(*m_shared, m_shared->path);
    pooled->device = st.st_dev;
    pooled->inode = st.st_ino;
    try {
        std::lock_guard lock(libraryLock());
        pooled->session.Logon("Administrator");
    } catch (const messaging::Error &e) {
        throw Unavailable("the store cannot be opened: " + e.description());
    }
    return pooled;
}

std::unique_ptr<Snapshot> StoreSource::fromMemoryOn(std::unique_ptr<Pooled> pooled)
{
    // From memory: only the store's revision is read (one statement, a read of its own),
    // and what snapshots at that same revision read answers the rest.
    Stamp stamp{pooled->device, pooled->inode};
    const Watch watch = m_shared->inDatabase ? Watch() : m_shared->watch(stamp.device, stamp.inode);
    try {
        stamp.store = storeHash(pooled->session.state()->store());
        stamp.revision = pooled->session.state()->store().storeRevision();
    } catch (const store::StoreError &e) {
        pooled.reset();
        m_shared->dropPool();
        throw Unavailable(std::string("the store failed: ") + e.what());
    }
    m_shared->vouchFor(stamp, watch);
    m_shared->giveBack(std::move(pooled));
    const Shared::Published &now = m_shared->current();
    if (!(now.memo->stamp == stamp))
        throw SnapshotMissed();
    return std::make_unique<MemorySnapshot>(now);
}

} // namespace dav
