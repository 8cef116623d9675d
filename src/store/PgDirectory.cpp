// The PostgreSQL engine: profiles, stores, address lists and entries, administration and the
// store check.
#include "core/StoreLayout.h"
#include "store/PrivateItems.h"
#include "store/PgEngine.h"
#include "store/Sql.h"
#include "store/TextList.h"


#include <algorithm>

#include <unordered_set>

namespace store {

namespace {

// The owner tag field of an address entry (the users' list shows it).
constexpr std::int64_t OwnerTagField = 0x802D001E;

std::optional<Id> firstId(PgQuery &q)
{
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

Id returnedId(PgQuery &q)
{
    q.step();
    const Id id = q.int64(0);
    q.run();
    return id;
}

} // namespace

// ---- profiles and stores

std::optional<Profile> PgEngine::profile(std::string_view name)
{
    auto q = m_db->query(sql::Profile);
    q.bind(1, name);
    if (!q.step())
        return std::nullopt;
    return Profile{q.int64(0), q.isNull(1) ? 0 : q.int64(1)};
}

std::vector<ProfileStoreRow> PgEngine::profileStores(const Profile &profile)
{
    // A mailbox both owned and shared keeps its first place.
    std::vector<ProfileStoreRow> out;
    std::unordered_set<Id> listed;
    auto take = [&](PgQuery &q) {
        while (q.step()) {
            const Id id = q.int64(0);
            if (listed.insert(id).second)
                out.push_back(ProfileStoreRow{id, q.text(1)});
        }
    };
    {
        auto q = m_db->query(sql::NamedStoresOfKind);
        q.bind(1, static_cast<int>(StoreKind::Public));
        take(q);
    }
    if (profile.ownerEntry) {
        auto q = m_db->query(sql::NamedOwnedStores);
        q.bind(1, static_cast<int>(StoreKind::Mailbox)).bind(2, profile.ownerEntry);
        take(q);
    }
    auto q = m_db->query(sql::NamedSharedStores);
    q.bind(1, profile.id);
    take(q);
    return out;
}

std::optional<Id> PgEngine::profileStore(const Profile &profile, std::string_view name)
{
    auto q = m_db->query(sql::ProfileStoreByName);
    q.bind(1, name).bind(2, static_cast<int>(StoreKind::Public)).bind(3, static_cast<int>(StoreKind::Mailbox));
    q.bind(4, profile.ownerEntry).bind(5, profile.id);
    return firstId(q);
}

bool PgEngine::profileSeesStore(const Profile &profile, Id store)
{
    auto q = m_db->query(sql::ProfileSeesStore);
    q.bind(1, store).bind(2, static_cast<int>(StoreKind::Public)).bind(3, static_cast<int>(StoreKind::Mailbox));
    q.bind(4, profile.ownerEntry).bind(5, profile.id);
    return q.step();
}

std::optional<StoreRow> PgEngine::store(Id store)
{
    auto q = m_db->query(sql::Store);
    q.bind(1, store);
    if (!q.step())
        return std::nullopt;
    return StoreRow{q.text(0), static_cast<StoreKind>(q.int64(1)), q.isNull(2) ? 0 : q.int64(2)};
}

std::optional<Id> PgEngine::storeByName(std::string_view name)
{
    auto q = m_db->query(sql::StoreByName);
    q.bind(1, name);
    return firstId(q);
}

std::vector<Id> PgEngine::storesOfKind(StoreKind kind)
{
    std::vector<Id> out;
    auto q = m_db->query(sql::StoresOfKind);
    q.bind(1, static_cast<int>(kind));
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

Id PgEngine::addStore(std::string_view name, StoreKind kind, Id ownerEntry)
{
    auto q = m_db->query(sql::AddStore);
    q.bind(1, name).bind(2, static_cast<int>(kind));
    if (ownerEntry)
        q.bind(3, ownerEntry);
    else
        q.bindNull(3);
    const Id id = returnedId(q);
    markWritten();
    return id;
}

Id PgEngine::addProfile(std::string_view name, Id ownerEntry)
{
    auto q = m_db->query(sql::AddProfile);
    q.bind(1, name);
    if (ownerEntry)
        q.bind(2, ownerEntry);
    else
        q.bindNull(2);
    const Id id = returnedId(q);
    markWritten();
    return id;
}

void PgEngine::addShare(Id profile, Id store)
{
    m_db->query(sql::AddShare).bind(1, profile).bind(2, store).run();
    markWritten();
}

void PgEngine::removeShare(Id profile, Id store)
{
    m_db->query(sql::RemoveShare).bind(1, profile).bind(2, store).run();
    markWritten();
}

// ---- address lists and entries

std::vector<AddressListRow> PgEngine::addressLists()
{
    std::vector<AddressListRow> out;
    auto q = m_db->query(sql::AddressLists);
    while (q.step())
        out.push_back({q.int64(0), q.text(1)});
    return out;
}

std::optional<Id> PgEngine::addressListByName(std::string_view name)
{
    auto q = m_db->query(sql::AddressListByName);
    q.bind(1, name);
    return firstId(q);
}

Id PgEngine::addAddressList(std::string_view name)
{
    auto q = m_db->query(sql::AddAddressList);
    q.bind(1, name);
    const Id id = returnedId(q);
    markWritten();
    return id;
}

std::optional<EntryRow> PgEngine::addressEntry(Id entry)
{
    auto q = m_db->query(sql::AddressEntry);
    q.bind(1, entry);
    if (!q.step())
        return std::nullopt;
    return EntryRow{q.int64(0), q.text(1), static_cast<std::int32_t>(q.int64(2))};
}

std::vector<Id> PgEngine::addressEntries(Id list)
{
    std::vector<Id> out;
    auto q = m_db->query(sql::AddressEntries);
    q.bind(1, list);
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

std::optional<Id> PgEngine::addressEntryByName(Id list, std::string_view name)
{
    if (list == 0) {
        auto q = m_db->query(sql::AnyAddressEntryByName);
        q.bind(1, name);
        return firstId(q);
    }
    auto q = m_db->query(sql::AddressEntryByName);
    q.bind(1, list).bind(2, name);
    return firstId(q);
}

std::vector<Id> PgEngine::addressEntriesByPrefix(Id list, std::string_view prefix, int limit)
{
    std::vector<Id> out;
    std::string upper(prefix);
    while (!upper.empty() && static_cast<unsigned char>(upper.back()) == 0xFF)
        upper.pop_back();
    if (upper.empty()) {
        auto q = m_db->query(sql::AddressEntriesFrom);
        q.bind(1, list).bind(2, prefix);
        while (q.step() && static_cast<int>(out.size()) < limit) {
            if (q.text(1).starts_with(prefix))
                out.push_back(q.int64(0));
        }
        return out;
    }
    upper.back() = static_cast<char>(static_cast<unsigned char>(upper.back()) + 1);
    auto q = m_db->query(sql::AddressEntriesInRange);
    q.bind(1, list).bind(2, prefix).bind(3, upper).bind(4, limit);
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

Id PgEngine::addAddressEntry(Id list, std::string_view name, std::int32_t displayType)
{
    auto q = m_db->query(sql::AddAddressEntry);
    q.bind(1, list).bind(2, name).bind(3, displayType);
    const Id id = returnedId(q);
    markWritten();
    return id;
}

std::optional<Value> PgEngine::entryField(Id entry, std::uint32_t tag)
{
    auto q = m_db->query(sql::EntryField);
    q.bind(1, entry).bind(2, std::int64_t(tag));
    if (!q.step())
        return std::nullopt;
    return readValue(q, 0, 1);
}

std::vector<std::uint32_t> PgEngine::entryFieldTags(Id entry)
{
    std::vector<std::uint32_t> out;
    auto q = m_db->query(sql::EntryFieldTags);
    q.bind(1, entry);
    while (q.step())
        out.push_back(static_cast<std::uint32_t>(q.int64(0)));
    return out;
}

void PgEngine::setEntryField(Id entry, std::uint32_t tag, const Value &value)
{
    auto q = m_db->query(sql::SetEntryField);
    q.bind(1, entry).bind(2, std::int64_t(tag));
    bindValue(q, 3, 4, value);
    q.run();
    markWritten();
}

// ---- administration

std::vector<UserRow> PgEngine::users(Id profile)
{
    std::vector<UserRow> out;
    auto q = m_db->query(sql::Users);
    q.bind(1, OwnerTagField).bind(2, static_cast<int>(StoreKind::Mailbox)).bind(3, profile);
    while (q.step()) {
        UserRow u;
        u.name = q.text(1);
        u.displayType = static_cast<std::int32_t>(q.int64(2));
        u.tag = q.optText(3);
        u.mailbox = q.optText(4);
        u.shared = u.mailbox && (q.int64(5) > 0 || q.int64(6) > 0);
        out.push_back(std::move(u));
    }
    return out;
}

std::vector<std::string> PgEngine::check()
{
    std::vector<std::string> faults;
    // The server keeps its own pages and references sound; the store's rules are ours.
    for (const sql::Invariant &inv : sql::InvariantsCount1) {
        auto q = m_db->query(inv.query);
        if (q.step() && q.int64(0) != 1)
            faults.push_back(std::string(inv.fault) + " (found " + std::to_string(q.int64(0)) + ")");
    }
    for (const sql::Invariant &inv : sql::InvariantsNone) {
        auto q = m_db->query(inv.query);
        while (q.step())
            faults.push_back(std::string(inv.fault) + ": " + q.text(0));
    }
    {
        auto q = m_db->query(sql::MessageCategories);
        while (q.step()) {
            const std::string text = q.text(1);
            if (encodeTextList(decodeTextList(text)) != text)
                faults.push_back("message " + std::to_string(q.int64(0)) + " has malformed categories");
        }
    }
    {
        auto q = m_db->query(sql::SharedCalendarFound);
        q.bind(1, core::SharedCalendarName).bind(2, std::int64_t(core::SharedCalendarParentPosition - 1));
        if (q.step() && q.int64(0) == 0)
            faults.push_back("no shared calendar: the second folder of the public store's root holds no "
                             "\"Larkspur Calendar\", which every calendar action needs");
    }
    for (std::string &leak : privateItemLeaks(*m_db))
        faults.push_back(std::move(leak));
    return faults;
}

} // namespace store
