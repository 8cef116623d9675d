// Directory: the statements of profiles, stores, shares, address lists and entries, the
// users' list and the store check, written once for both engines. `Db` is an engine's
// connection (Database or PgDatabase); the engine gives `prepare(db, text)`, a statement
// of that connection ready to bind, and notes its own writes after each call that writes.
// Included only by the engines' own files.
#pragma once

#include "core/StoreLayout.h"
#include "store/Engine.h"
#include "store/PrivateItems.h"
#include "store/Sql.h"
#include "store/TextList.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace store::directory {

// The owner tag field of an address entry (the users' list shows it).
inline constexpr std::int64_t OwnerTagField = 0x802D001E;

template <class Q>
std::optional<Id> firstId(Q &q)
{
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

template <class Q>
Id returnedId(Q &q)
{
    q.step();
    const Id id = q.int64(0);
    q.run();
    return id;
}

// ---- profiles and stores

template <class Db>
std::optional<Profile> profile(Db &db, std::string_view name)
{
    auto q = prepare(db, sql::Profile);
    q.bind(1, name);
    if (!q.step())
        return std::nullopt;
    return Profile{q.int64(0), q.isNull(1) ? 0 : q.int64(1)};
}

template <class Db>
std::vector<ProfileStoreRow> profileStores(Db &db, const Profile &profile)
{
    // A mailbox both owned and shared keeps its first place.
    std::vector<ProfileStoreRow> out;
    std::unordered_set<Id> listed;
    auto take = [&](auto &q) {
        while (q.step()) {
            const Id id = q.int64(0);
            if (listed.insert(id).second)
                out.push_back(ProfileStoreRow{id, q.text(1)});
        }
    };
    {
        auto q = prepare(db, sql::NamedStoresOfKind);
        q.bind(1, static_cast<int>(StoreKind::Public));
        take(q);
    }
    if (profile.ownerEntry) {
        auto q = prepare(db, sql::NamedOwnedStores);
        q.bind(1, static_cast<int>(StoreKind::Mailbox)).bind(2, profile.ownerEntry);
        take(q);
    }
    auto q = prepare(db, sql::NamedSharedStores);
    q.bind(1, profile.id);
    take(q);
    return out;
}

template <class Db>
std::optional<Id> profileStore(Db &db, const Profile &profile, std::string_view name)
{
    auto q = prepare(db, sql::ProfileStoreByName);
    q.bind(1, name).bind(2, static_cast<int>(StoreKind::Public)).bind(3, static_cast<int>(StoreKind::Mailbox));
    q.bind(4, profile.ownerEntry).bind(5, profile.id);
    return firstId(q);
}

template <class Db>
bool profileSeesStore(Db &db, const Profile &profile, Id store)
{
    auto q = prepare(db, sql::ProfileSeesStore);
    q.bind(1, store).bind(2, static_cast<int>(StoreKind::Public)).bind(3, static_cast<int>(StoreKind::Mailbox));
    q.bind(4, profile.ownerEntry).bind(5, profile.id);
    return q.step();
}

template <class Db>
std::optional<StoreRow> store(Db &db, Id store)
{
    auto q = prepare(db, sql::Store);
    q.bind(1, store);
    if (!q.step())
        return std::nullopt;
    return StoreRow{q.text(0), static_cast<StoreKind>(q.int64(1)), q.isNull(2) ? 0 : q.int64(2)};
}

template <class Db>
std::optional<Id> storeByName(Db &db, std::string_view name)
{
    auto q = prepare(db, sql::StoreByName);
    q.bind(1, name);
    return firstId(q);
}

template <class Db>
std::vector<Id> storesOfKind(Db &db, StoreKind kind)
{
    std::vector<Id> out;
    auto q = prepare(db, sql::StoresOfKind);
    q.bind(1, static_cast<int>(kind));
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

template <class Db>
Id addStore(Db &db, std::string_view name, StoreKind kind, Id ownerEntry)
{
    auto q = prepare(db, sql::AddStore);
    q.bind(1, name).bind(2, static_cast<int>(kind));
    if (ownerEntry)
        q.bind(3, ownerEntry);
    else
        q.bindNull(3);
    const Id id = returnedId(q);
    return id;
}

template <class Db>
Id addProfile(Db &db, std::string_view name, Id ownerEntry)
{
    auto q = prepare(db, sql::AddProfile);
    q.bind(1, name);
    if (ownerEntry)
        q.bind(2, ownerEntry);
    else
        q.bindNull(2);
    const Id id = returnedId(q);
    return id;
}

template <class Db>
void addShare(Db &db, Id profile, Id store)
{
    prepare(db, sql::AddShare).bind(1, profile).bind(2, store).run();
}

template <class Db>
void removeShare(Db &db, Id profile, Id store)
{
    prepare(db, sql::RemoveShare).bind(1, profile).bind(2, store).run();
}

// ---- address lists and entries

template <class Db>
std::vector<AddressListRow> addressLists(Db &db)
{
    std::vector<AddressListRow> out;
    auto q = prepare(db, sql::AddressLists);
    while (q.step())
        out.push_back({q.int64(0), q.text(1)});
    return out;
}

template <class Db>
std::optional<Id> addressListByName(Db &db, std::string_view name)
{
    auto q = prepare(db, sql::AddressListByName);
    q.bind(1, name);
    return firstId(q);
}

template <class Db>
Id addAddressList(Db &db, std::string_view name)
{
    auto q = prepare(db, sql::AddAddressList);
    q.bind(1, name);
    const Id id = returnedId(q);
    return id;
}

template <class Db>
std::optional<EntryRow> addressEntry(Db &db, Id entry)
{
    auto q = prepare(db, sql::AddressEntry);
    q.bind(1, entry);
    if (!q.step())
        return std::nullopt;
    return EntryRow{q.int64(0), q.text(1), static_cast<std::int32_t>(q.int64(2))};
}

template <class Db>
std::vector<Id> addressEntries(Db &db, Id list)
{
    std::vector<Id> out;
    auto q = prepare(db, sql::AddressEntries);
    q.bind(1, list);
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

template <class Db>
std::optional<Id> addressEntryByName(Db &db, Id list, std::string_view name)
{
    if (list == 0) {
        auto q = prepare(db, sql::AnyAddressEntryByName);
        q.bind(1, name);
        return firstId(q);
    }
    auto q = prepare(db, sql::AddressEntryByName);
    q.bind(1, list).bind(2, name);
    return firstId(q);
}

template <class Db>
std::vector<Id> addressEntriesByPrefix(Db &db, Id list, std::string_view prefix, int limit)
{
    std::vector<Id> out;
    std::string upper(prefix);
    while (!upper.empty() && static_cast<unsigned char>(upper.back()) == 0xFF)
        upper.pop_back();
    if (upper.empty()) {
        auto q = prepare(db, sql::AddressEntriesFrom);
        q.bind(1, list).bind(2, prefix);
        while (q.step() && static_cast<int>(out.size()) < limit) {
            if (q.text(1).starts_with(prefix))
                out.push_back(q.int64(0));
        }
        return out;
    }
    upper.back() = static_cast<char>(static_cast<unsigned char>(upper.back()) + 1);
    auto q = prepare(db, sql::AddressEntriesInRange);
    q.bind(1, list).bind(2, prefix).bind(3, upper).bind(4, limit);
    while (q.step())
        out.push_back(q.int64(0));
    return out;
}

template <class Db>
Id addAddressEntry(Db &db, Id list, std::string_view name, std::int32_t displayType)
{
    auto q = prepare(db, sql::AddAddressEntry);
    q.bind(1, list).bind(2, name).bind(3, displayType);
    const Id id = returnedId(q);
    return id;
}

template <class Db>
std::optional<Value> entryField(Db &db, Id entry, std::uint32_t tag)
{
    auto q = prepare(db, sql::EntryField);
    q.bind(1, entry).bind(2, std::int64_t(tag));
    if (!q.step())
        return std::nullopt;
    return readValue(q, 0, 1);
}

template <class Db>
std::vector<std::uint32_t> entryFieldTags(Db &db, Id entry)
{
    std::vector<std::uint32_t> out;
    auto q = prepare(db, sql::EntryFieldTags);
    q.bind(1, entry);
    while (q.step())
        out.push_back(static_cast<std::uint32_t>(q.int64(0)));
    return out;
}

template <class Db>
void setEntryField(Db &db, Id entry, std::uint32_t tag, const Value &value)
{
    auto q = prepare(db, sql::SetEntryField);
    q.bind(1, entry).bind(2, std::int64_t(tag));
    bindValue(q, 3, 4, value);
    q.run();
}

// ---- administration

template <class Db>
std::vector<UserRow> users(Db &db, Id profile)
{
    std::vector<UserRow> out;
    auto q = prepare(db, sql::Users);
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

template <class Db>
std::vector<std::string> check(Db &db)
{
    std::vector<std::string> faults;
    for (const sql::Invariant &inv : sql::InvariantsCount1) {
        auto q = prepare(db, inv.query);
        if (q.step() && q.int64(0) != 1)
            faults.push_back(std::string(inv.fault) + " (found " + std::to_string(q.int64(0)) + ")");
    }
    for (const sql::Invariant &inv : sql::InvariantsNone) {
        auto q = prepare(db, inv.query);
        while (q.step())
            faults.push_back(std::string(inv.fault) + ": " + q.text(0));
    }
    {
        auto q = prepare(db, sql::MessageCategories);
        while (q.step()) {
            const std::string text = q.text(1);
            if (encodeTextList(decodeTextList(text)) != text)
                faults.push_back("message " + std::to_string(q.int64(0)) + " has malformed categories");
        }
    }
    {
        auto q = prepare(db, sql::SharedCalendarFound);
        q.bind(1, core::SharedCalendarName).bind(2, std::int64_t(core::SharedCalendarParentPosition - 1));
        if (q.step() && q.int64(0) == 0)
            faults.push_back("no shared calendar: the second folder of the public store's root holds no "
                             "\"Larkspur Calendar\", which every calendar action needs");
    }
    for (std::string &leak : privateItemLeaks(db))
        faults.push_back(std::move(leak));
    return faults;
}

} // namespace store::directory
