#include "AddressLists.h"

#include "Detail.h"
#include "Message.h"

namespace messaging {

AddressLists::AddressLists(detail::SessionPtr session) : m_session(std::move(session)) {}

std::int32_t AddressLists::Count() const
{
    return detail::guarded(m_session, "AddressLists.Count", [&] {
        return static_cast<std::int32_t>(m_session->store().addressLists().size());
    });
}

AddressList AddressLists::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "AddressLists.Item", [&] {
        const auto lists = m_session->store().addressLists();
        if (position < 1 || static_cast<std::size_t>(position) > lists.size())
            throw Error(ErrorCode::InvalidArgument, "Address list position " + std::to_string(position) +
                                                        " is outside 1.." + std::to_string(lists.size()));
        return AddressList(m_session, lists[static_cast<std::size_t>(position - 1)].id);
    });
}

AddressList AddressLists::Item(std::string_view name) const
{
    return detail::guarded(m_session, "AddressLists.Item", [&] {
        auto id = m_session->store().addressListByName(name);
        if (!id)
            throw Error(ErrorCode::NotFound, "Address list \"" + std::string(name) + "\" not found");
        return AddressList(m_session, *id);
    });
}

AddressList::AddressList(detail::SessionPtr session, std::int64_t listRowId)
    : m_session(std::move(session)), m_id(listRowId)
{
}

std::string AddressList::Name() const
{
    return detail::guarded(m_session, "AddressList.Name", [&] {
        for (const store::AddressListRow &list : m_session->store().addressLists()) {
            if (list.id == m_id)
                return list.name;
        }
        throw Error(ErrorCode::NotFound, "Address list not found (it was removed)");
    });
}

AddressEntries AddressList::AddressEntries() const
{
    return detail::guarded(m_session, "AddressList.AddressEntries",
                           [&] { return messaging::AddressEntries(m_session, m_id); });
}

AddressEntry::AddressEntry(detail::SessionPtr session, std::int64_t entryRowId)
    : m_session(std::move(session)), m_id(entryRowId)
{
}

namespace {

store::EntryRow loadEntry(detail::SessionState &s, std::int64_t id)
{
    auto row = s.store().addressEntry(id);
    if (!row)
        throw Error(ErrorCode::NotFound, "Address entry \"" + detail::makeId(s.guid, detail::IdKind::AddressEntry, id) +
                                             "\" not found (it was removed)");
    return *row;
}

} // namespace

std::string AddressEntry::Name() const
{
    return detail::guarded(m_session, "AddressEntry.Name", [&] { return loadEntry(*m_session, m_id).name; });
}

std::int32_t AddressEntry::DisplayType() const
{
    return detail::guarded(m_session, "AddressEntry.DisplayType",
                           [&] { return loadEntry(*m_session, m_id).displayType; });
}

std::string AddressEntry::ID() const
{
    return detail::guarded(m_session, "AddressEntry.ID",
                           [&] { return detail::makeId(m_session->guid, detail::IdKind::AddressEntry, m_id); });
}

Fields AddressEntry::Fields() const
{
    return detail::guarded(m_session, "AddressEntry.Fields", [&] { return messaging::Fields(m_session, m_id); });
}

AddressEntries::AddressEntries(detail::SessionPtr session, std::int64_t listRowId)
    : m_session(std::move(session)), m_list(listRowId)
{
}

void AddressEntries::snapshot() const
{
    if (m_ids)
        return;
    m_ids = std::make_shared<std::vector<std::int64_t>>(m_session->store().addressEntries(m_list));
}

std::int32_t AddressEntries::Count() const
{
    return detail::guarded(m_session, "AddressEntries.Count", [&] {
        snapshot();
        return static_cast<std::int32_t>(m_ids->size());
    });
}

AddressEntry AddressEntries::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "AddressEntries.Item", [&] {
        snapshot();
        if (position < 1 || static_cast<std::size_t>(position) > m_ids->size())
            throw Error(ErrorCode::InvalidArgument, "Address entry position " + std::to_string(position) +
                                                        " is outside 1.." + std::to_string(m_ids->size()));
        return AddressEntry(m_session, (*m_ids)[static_cast<std::size_t>(position - 1)]);
    });
}

AddressEntry AddressEntries::Item(std::string_view name) const
{
    return detail::guarded(m_session, "AddressEntries.Item", [&] {
        auto notFound = [&](const std::string &why) {
            return Error(ErrorCode::NotFound,
                         "Address entry \"" + std::string(name) + "\" not found in the address list" + why);
        };
        if (name.empty())
            throw notFound(" (no name given)");
        store::Engine &engine = m_session->store();
        if (auto exact = engine.addressEntryByName(m_list, name))
            return AddressEntry(m_session, *exact);
        // No exact match: the one entry whose name begins with the text.
        const std::vector<std::int64_t> found = engine.addressEntriesByPrefix(m_list, name, 2);
        if (found.empty())
            throw notFound("");
        if (found.size() > 1)
            throw notFound(" (the name is ambiguous)");
        return AddressEntry(m_session, found.front());
    });
}

AddressEntries::iterator AddressEntries::begin() const
{
    return detail::guarded(m_session, "AddressEntries.begin", [&] {
        snapshot();
        return iterator(m_session, m_ids, 0);
    });
}

AddressEntries::iterator AddressEntries::end() const
{
    return detail::guarded(m_session, "AddressEntries.end", [&] {
        snapshot();
        return iterator(m_session, m_ids, m_ids->size());
    });
}

AddressEntries::iterator &AddressEntries::iterator::operator++()
{
    detail::guarded(m_session, "AddressEntries.iterator.next", [&] { ++m_pos; });
    return *this;
}

} // namespace messaging
