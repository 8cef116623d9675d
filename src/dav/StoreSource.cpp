#include "dav/StoreSource.h"

#include "dav/Tags.h"
#include "dav/TimeRange.h"

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
    std::map<std::int64_t, std::vector<Calendar>> calendars;   // by account entry
    std::map<std::int64_t, std::string> revisions;             // by folder
};

} // namespace

struct StoreSource::Pooled {
    explicit Pooled(const std::filesystem::path &path) : session(path) {}
    messaging::Session session;
    dev_t device = 0;
    ino_t inode = 0;
};

struct StoreSource::Shared {
    std::filesystem::path path;
    bool inDatabase = false;    // on a PostgreSQL server: no file to look at
    std::counting_semaphore<PoolSize> inUse{PoolSize};
    std::mutex poolLock;
    std::vector<std::unique_ptr<Pooled>> pool;
    // Copied on each change, so that a snapshot from memory reads its copy without a lock.
    std::mutex memoLock;
    std::shared_ptr<const Memo> memo = std::make_shared<const Memo>();
    // Notes on the memo when it belongs to the snapshot's stamp (a memo of an older
    // stamp is dropped first; a snapshot older than the memo notes nothing).
    template <class F>
    void remember(const Stamp &stamp, F &&note)
    {
        std::lock_guard lock(memoLock);
        std::shared_ptr<Memo> next;
        if (memo->stamp == stamp) {
            next = std::make_shared<Memo>(*memo);
        } else {
            if (memo->stamp.device == stamp.device && memo->stamp.inode == stamp.inode
                && memo->stamp.revision > stamp.revision)
                return;
            next = std::make_shared<Memo>();
            next->stamp = stamp;
        }
        note(*next);
        memo = std::move(next);
    }
    std::shared_ptr<const Memo> currentMemo()
    {
        std::lock_guard lock(memoLock);
        return memo;
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

    std::mutex statesLock;
    // Calendar key -> its state at the latest revision built.
    std::map<std::string, std::shared_ptr<const CalendarState>> states;

    std::shared_ptr<const CalendarState> kept(const std::string &key, const std::string &revision)
    {
        std::lock_guard lock(statesLock);
        auto it = states.find(key);
        return it != states.end() && it->second->revision == revision ? it->second : nullptr;
    }
    void keep(const std::string &key, std::shared_ptr<const CalendarState> state)
    {
        std::lock_guard lock(statesLock);
        states[key] = std::move(state);
    }
};

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
        guard([&] {
            engine().beginRead();
            m_stamp.revision = engine().storeRevision();
        });
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
    Slot m_slot;   // let go after the session is back in the pool
    std::unique_ptr<StoreSource::Pooled> m_pooled;
    Stamp m_stamp;
};

// Answers from what earlier snapshots of the same stamp read; no store access at all.
class MemorySnapshot : public Snapshot {
public:
    MemorySnapshot(std::shared_ptr<StoreSource::Shared> shared, Stamp stamp)
        : m_shared(std::move(shared)), m_memo(m_shared->currentMemo())
    {
        if (!(m_memo->stamp == stamp))
            throw SnapshotMissed();
    }

    std::optional<Account> account(std::string_view login) override
    {
        auto it = m_memo->accounts.find(login);
        return it == m_memo->accounts.end() ? missed<std::optional<Account>>() : it->second;
    }
    std::vector<Calendar> calendars(const Account &account) override
    {
        auto it = m_memo->calendars.find(account.entry);
        return it == m_memo->calendars.end() ? missed<std::vector<Calendar>>() : it->second;
    }
    std::string revision(const Calendar &cal) override
    {
        auto it = m_memo->revisions.find(cal.folder);
        return it == m_memo->revisions.end() ? missed<std::string>() : it->second;
    }
    std::shared_ptr<const CalendarState> state(const Calendar &cal) override
    {
        auto found = m_shared->kept(cal.key, revision(cal));
        if (!found)
            throw SnapshotMissed();
        return found;
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

    std::shared_ptr<StoreSource::Shared> m_shared;
    std::shared_ptr<const Memo> m_memo;
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
    auto pooled = std::make_unique<Pooled>(m_shared->path);
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
    try {
        stamp.store = storeHash(pooled->session.state()->store());
        stamp.revision = pooled->session.state()->store().storeRevision();
    } catch (const store::StoreError &e) {
        m_shared->dropPool();
        throw Unavailable(std::string("the store failed: ") + e.what());
    }
    m_shared->giveBack(std::move(pooled));
    return std::make_unique<MemorySnapshot>(m_shared, stamp);
}

} // namespace dav
