// The PostgreSQL engine: profiles, stores, address lists and entries, administration and the
// store check (the statements themselves: store/Directory.h).
#include "store/PgEngine.h"

#include "store/Directory.h"

namespace store {

static PgQuery prepare(PgDatabase &db, const char *text)
{
    return db.query(text);
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
    return directory::profileStore(*m_db, profile, name);
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
    const Id result = directory::addStore(*m_db, name, kind, ownerEntry);
    markWritten();
    return result;
}

Id PgEngine::addProfile(std::string_view name, Id ownerEntry)
{
    const Id result = directory::addProfile(*m_db, name, ownerEntry);
    markWritten();
    return result;
}

void PgEngine::addShare(Id profile, Id store)
{
    directory::addShare(*m_db, profile, store);
    markWritten();
}

void PgEngine::removeShare(Id profile, Id store)
{
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
    const Id result = directory::addAddressList(*m_db, name);
    markWritten();
    return result;
}

std::optional<EntryRow> PgEngine::addressEntry(Id entry)
{
    return directory::addressEntry(*m_db, entry);
}

std::vector<Id> PgEngine::addressEntries(Id list)
{
    return directory::addressEntries(*m_db, list);
}

std::optional<Id> PgEngine::addressEntryByName(Id list, std::string_view name)
{
    return directory::addressEntryByName(*m_db, list, name);
}

std::vector<Id> PgEngine::addressEntriesByPrefix(Id list, std::string_view prefix, int limit)
{
    return directory::addressEntriesByPrefix(*m_db, list, prefix, limit);
}

Id PgEngine::addAddressEntry(Id list, std::string_view name, std::int32_t displayType)
{
    const Id result = directory::addAddressEntry(*m_db, list, name, displayType);
    markWritten();
    return result;
}

std::optional<Value> PgEngine::entryField(Id entry, std::uint32_t tag)
{
    return directory::entryField(*m_db, entry, tag);
}

std::vector<std::uint32_t> PgEngine::entryFieldTags(Id entry)
{
    return directory::entryFieldTags(*m_db, entry);
}

void PgEngine::setEntryField(Id entry, std::uint32_t tag, const Value &value)
{
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
