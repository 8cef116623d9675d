// The SQLite engine: profiles, stores, address lists and entries, administration and the
// store check (the statements themselves: store/Directory.h).
#include "store/SqliteEngine.h"

// The statements are prepared once per connection and kept (Database::statement).
#include "store/Directory.h"

namespace store {

std::optional<Profile> SqliteEngine::profile(std::string_view name)
{
    return directory::profile(*m_db, name);
}

std::vector<ProfileStoreRow> SqliteEngine::profileStores(const Profile &profile)
{
    return directory::profileStores(*m_db, profile);
}

std::optional<Id> SqliteEngine::profileStore(const Profile &profile, std::string_view name)
{
    return directory::profileStore(*m_db, profile, name);
}

bool SqliteEngine::profileSeesStore(const Profile &profile, Id store)
{
    return directory::profileSeesStore(*m_db, profile, store);
}

std::optional<StoreRow> SqliteEngine::store(Id store)
{
    return directory::store(*m_db, store);
}

std::optional<Id> SqliteEngine::storeByName(std::string_view name)
{
    return directory::storeByName(*m_db, name);
}

std::vector<Id> SqliteEngine::storesOfKind(StoreKind kind)
{
    return directory::storesOfKind(*m_db, kind);
}

Id SqliteEngine::addStore(std::string_view name, StoreKind kind, Id ownerEntry)
{
    const Id result = directory::addStore(*m_db, name, kind, ownerEntry);
    markWritten();
    return result;
}

Id SqliteEngine::addProfile(std::string_view name, Id ownerEntry)
{
    const Id result = directory::addProfile(*m_db, name, ownerEntry);
    markWritten();
    return result;
}

void SqliteEngine::addShare(Id profile, Id store)
{
    directory::addShare(*m_db, profile, store);
    markWritten();
}

void SqliteEngine::removeShare(Id profile, Id store)
{
    directory::removeShare(*m_db, profile, store);
    markWritten();
}

std::vector<AddressListRow> SqliteEngine::addressLists()
{
    return directory::addressLists(*m_db);
}

std::optional<Id> SqliteEngine::addressListByName(std::string_view name)
{
    return directory::addressListByName(*m_db, name);
}

Id SqliteEngine::addAddressList(std::string_view name)
{
    const Id result = directory::addAddressList(*m_db, name);
    markWritten();
    return result;
}

std::optional<EntryRow> SqliteEngine::addressEntry(Id entry)
{
    return directory::addressEntry(*m_db, entry);
}

std::vector<Id> SqliteEngine::addressEntries(Id list)
{
    return directory::addressEntries(*m_db, list);
}

std::optional<Id> SqliteEngine::addressEntryByName(Id list, std::string_view name)
{
    return directory::addressEntryByName(*m_db, list, name);
}

std::vector<Id> SqliteEngine::addressEntriesByPrefix(Id list, std::string_view prefix, int limit)
{
    return directory::addressEntriesByPrefix(*m_db, list, prefix, limit);
}

Id SqliteEngine::addAddressEntry(Id list, std::string_view name, std::int32_t displayType)
{
    const Id result = directory::addAddressEntry(*m_db, list, name, displayType);
    markWritten();
    return result;
}

std::optional<Value> SqliteEngine::entryField(Id entry, std::uint32_t tag)
{
    return directory::entryField(*m_db, entry, tag);
}

std::vector<std::uint32_t> SqliteEngine::entryFieldTags(Id entry)
{
    return directory::entryFieldTags(*m_db, entry);
}

void SqliteEngine::setEntryField(Id entry, std::uint32_t tag, const Value &value)
{
    directory::setEntryField(*m_db, entry, tag, value);
    markWritten();
}

std::vector<UserRow> SqliteEngine::users(Id profile)
{
    return directory::users(*m_db, profile);
}

std::vector<std::string> SqliteEngine::check()
{
    std::vector<std::string> faults;
    {
        auto q = m_db->query("PRAGMA integrity_check");
        while (q.step()) {
            std::string line = q.text(0);
            if (line != "ok")
                faults.push_back("integrity: " + line);
        }
    }
    {
        auto q = m_db->query("PRAGMA foreign_key_check");
        while (q.step())
            faults.push_back("dangling reference in table " + q.text(0) + " row " + std::to_string(q.int64(1)));
    }
    for (std::string &fault : directory::check(*m_db))
        faults.push_back(std::move(fault));
    return faults;
}

} // namespace store
