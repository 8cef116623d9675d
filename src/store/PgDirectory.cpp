// The PostgreSQL engine: profiles, stores, address lists and entries, administration and the
// store check (the statements themselves: store/Directory.h).
//
// While a transaction holds the writer lock the directory changes only by its own writes,
// so the per-user steps of a walk over an address list read ahead:
//   - an entry of the list walked last is read with the next EntryReadAhead entries, their
//     fields and the first entry of each one's name, in one statement; the look-up of the
//     entry by name and its fields are then answered from that;
//   - a store found by name is read with its root folder and the root's children, so the
//     root and a folder under it by name follow without a statement of their own.
// Any write of the directory or of folders forgets all of it, as does the end of the
// transaction or an operation undone.
#include "store/PgEngine.h"

#include "store/Directory.h"

namespace store {

namespace {

constexpr std::size_t EntryReadAhead = 256;

} // namespace

void PgEngine::forgetDirectory() noexcept
{
    m_entries.clear();
    m_entryByName.clear();
    m_roots.clear();
    m_children.clear();
}

void PgEngine::readEntriesAhead(std::size_t at)
{
    std::string ids = "{";
    std::vector<Id> wanted;
    for (std::size_t i = at; i < std::min(m_entryWalk.size(), at + EntryReadAhead); ++i) {
        if (m_entries.count(m_entryWalk[i]))
            continue;
        wanted.push_back(m_entryWalk[i]);
        ids += (ids.size() > 1 ? "," : "") + std::to_string(m_entryWalk[i]);
    }
    if (wanted.empty())
        return;
    auto q = m_db->query("SELECT e.id, e.list_id, e.name, e.display_type, (SELECT min(x.id) FROM address_entries x "
                         "WHERE x.list_id = e.list_id AND x.name = e.name), f.tag, f.type, f.value "
                         "FROM address_entries e LEFT JOIN entry_fields f ON f.entry_id = e.id "
                         "WHERE e.id = ANY(?::bigint[])");
    q.bind(1, ids + "}");
    // The writes waiting for the flush and the entries: one round trip.
    m_db->flushWith({&q});
    for (Id id : wanted)
        m_entries[id];
    while (q.step()) {
        EntryAhead &entry = m_entries[q.int64(0)];
        if (!entry.row) {
            entry.row = EntryRow{q.int64(1), q.text(2), static_cast<std::int32_t>(q.int64(3))};
            m_entryByName[{entry.row->list, entry.row->name}] = q.int64(4);
        }
        if (!q.isNull(5))
            entry.fields[static_cast<std::uint32_t>(q.int64(5))] = readValue(q, 6, 7);
    }
}

const PgEngine::EntryAhead *PgEngine::cachedEntry(Id entry)
{
    if (!holdsWriterLock())
        return nullptr;
    auto it = m_entries.find(entry);
    if (it == m_entries.end()) {
        auto at = m_entryWalkAt.find(entry);
        if (at == m_entryWalkAt.end())
            return nullptr;
        readEntriesAhead(at->second);
        it = m_entries.find(entry);
    }
    return it != m_entries.end() ? &it->second : nullptr;
}

std::optional<Profile> PgEngine::profile(std::string_view name)
{
    return directory::profile(*m_db, name);
}

std::vector<ProfileStoreRow> PgEngine::profileStores(const Profile &profile)
{
    return directory::profileStores(*m_db, profile);
}

std::optional<Id> PgEngine::profileStore(const Profile &profile, std::string_view name)
{
    if (!holdsWriterLock())
        return directory::profileStore(*m_db, profile, name);
    // The store with its root folder and the root's children (the store's name is unique).
    auto q = m_db->query("SELECT s.id, r.id, c.id, c.name FROM stores s LEFT JOIN LATERAL (SELECT id FROM folders "
                         "WHERE store_id = s.id AND parent_id IS NULL ORDER BY id LIMIT 1) r ON true "
                         "LEFT JOIN folders c ON c.parent_id = r.id WHERE s.name = ?1 AND (s.kind = ?2 OR "
                         "(s.kind = ?3 AND s.owner_entry = ?4) OR EXISTS (SELECT 1 FROM shares sh "
                         "WHERE sh.store_id = s.id AND sh.profile_id = ?5)) ORDER BY c.id");
    q.bind(1, name).bind(2, static_cast<int>(StoreKind::Public)).bind(3, static_cast<int>(StoreKind::Mailbox));
    q.bind(4, profile.ownerEntry).bind(5, profile.id);
    m_db->flushWith({&q});
    std::optional<Id> store;
    while (q.step()) {
        if (!store) {
            store = q.int64(0);
            m_roots[*store] = q.isNull(1) ? std::nullopt : std::optional<Id>(q.int64(1));
            if (!q.isNull(1))
                m_children[q.int64(1)].clear();
        }
        if (!q.isNull(2))
            m_children[q.int64(1)].emplace_back(q.int64(2), q.text(3));
    }
    return store;
}

bool PgEngine::profileSeesStore(const Profile &profile, Id store)
{
    return directory::profileSeesStore(*m_db, profile, store);
}

std::optional<StoreRow> PgEngine::store(Id store)
{
    return directory::store(*m_db, store);
}

std::optional<Id> PgEngine::storeByName(std::string_view name)
{
    return directory::storeByName(*m_db, name);
}

std::vector<Id> PgEngine::storesOfKind(StoreKind kind)
{
    return directory::storesOfKind(*m_db, kind);
}

Id PgEngine::addStore(std::string_view name, StoreKind kind, Id ownerEntry)
{
    forgetDirectory();
    const Id result = directory::addStore(*m_db, name, kind, ownerEntry);
    markWritten();
    return result;
}

Id PgEngine::addProfile(std::string_view name, Id ownerEntry)
{
    forgetDirectory();
    const Id result = directory::addProfile(*m_db, name, ownerEntry);
    markWritten();
    return result;
}

void PgEngine::addShare(Id profile, Id store)
{
    forgetDirectory();
    directory::addShare(*m_db, profile, store);
    markWritten();
}

void PgEngine::removeShare(Id profile, Id store)
{
    forgetDirectory();
    directory::removeShare(*m_db, profile, store);
    markWritten();
}

std::vector<AddressListRow> PgEngine::addressLists()
{
    return directory::addressLists(*m_db);
}

std::optional<Id> PgEngine::addressListByName(std::string_view name)
{
    return directory::addressListByName(*m_db, name);
}

Id PgEngine::addAddressList(std::string_view name)
{
    forgetDirectory();
    const Id result = directory::addAddressList(*m_db, name);
    markWritten();
    return result;
}

std::optional<EntryRow> PgEngine::addressEntry(Id entry)
{
    if (const EntryAhead *ahead = cachedEntry(entry))
        return ahead->row;
    return directory::addressEntry(*m_db, entry);
}

std::vector<Id> PgEngine::addressEntries(Id list)
{
    std::vector<Id> ids = directory::addressEntries(*m_db, list);
    m_entryWalk = ids;
    m_entryWalkAt.clear();
    for (std::size_t i = 0; i < ids.size(); ++i)
        m_entryWalkAt.emplace(ids[i], i);
    return ids;
}

std::optional<Id> PgEngine::addressEntryByName(Id list, std::string_view name)
{
    if (holdsWriterLock() && list != 0) {
        if (auto it = m_entryByName.find({list, std::string(name)}); it != m_entryByName.end())
            return it->second;
    }
    return directory::addressEntryByName(*m_db, list, name);
}

std::vector<Id> PgEngine::addressEntriesByPrefix(Id list, std::string_view prefix, int limit)
{
    return directory::addressEntriesByPrefix(*m_db, list, prefix, limit);
}

Id PgEngine::addAddressEntry(Id list, std::string_view name, std::int32_t displayType)
{
    forgetDirectory();
    const Id result = directory::addAddressEntry(*m_db, list, name, displayType);
    markWritten();
    return result;
}

std::optional<Value> PgEngine::entryField(Id entry, std::uint32_t tag)
{
    if (const EntryAhead *ahead = cachedEntry(entry)) {
        auto it = ahead->fields.find(tag);
        return it != ahead->fields.end() ? std::optional<Value>(it->second) : std::nullopt;
    }
    return directory::entryField(*m_db, entry, tag);
}

std::vector<std::uint32_t> PgEngine::entryFieldTags(Id entry)
{
    if (const EntryAhead *ahead = cachedEntry(entry)) {
        std::vector<std::uint32_t> tags;
        for (const auto &[tag, value] : ahead->fields)
            tags.push_back(tag);
        return tags;
    }
    return directory::entryFieldTags(*m_db, entry);
}

void PgEngine::setEntryField(Id entry, std::uint32_t tag, const Value &value)
{
    forgetDirectory();
    directory::setEntryField(*m_db, entry, tag, value);
    markWritten();
}

std::vector<UserRow> PgEngine::users(Id profile)
{
    return directory::users(*m_db, profile);
}

std::vector<std::string> PgEngine::check()
{
    // The server keeps its own pages and references sound; the store's rules are ours.
    std::vector<std::string> faults;
    for (std::string &fault : directory::check(*m_db))
        faults.push_back(std::move(fault));
    return faults;
}

} // namespace store
