#include "AddressLists.h"

#include "Detail.h"
#include "Message.h"

namespace messaging {

AddressLists::AddressLists(detail::SessionPtr session) : m_session(std::move(session)) {}

std::int32_t AddressLists::Count() const
{
    return detail::guarded(m_session, "AddressLists.Count", [&] {
        auto q = m_session->database().query("SELECT count(*) FROM address_lists");
        q.step();
        return static_cast<std::int32_t>(q.int64(0));
    });
}

AddressList AddressLists::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "AddressLists.Item", [&] {
        std::vector<std::int64_t> ids;
        auto q = m_session->database().query("SELECT id FROM address_lists ORDER BY id");
        while (q.step())
            ids.push_back(q.int64(0));
        if (position < 1 || static_cast<std::size_t>(position) > ids.size())
            throw Error(ErrorCode::InvalidArgument, "Address list position " + std::to_string(position) +
                                                        " is outside 1.." + std::to_string(ids.size()));
        return AddressList(m_session, ids[static_cast<std::size_t>(position - 1)]);
    });
}

AddressList AddressLists::Item(std::string_view name) const
{
    return detail::guarded(m_session, "AddressLists.Item", [&] {
        auto q = m_session->database().query("SELECT id FROM address_lists WHERE name = ?");
        q.bind(1, name);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Address list \"" + std::string(name) + "\" not found");
        return AddressList(m_session, q.int64(0));
    });
}

AddressList::AddressList(detail::SessionPtr session, std::int64_t listRowId)
    : m_session(std::move(session)), m_id(listRowId)
{
}

std::string AddressList::Name() const
{
    return detail::guarded(m_session, "AddressList.Name", [&] {
        auto q = m_session->database().query("SELECT name FROM address_lists WHERE id = ?");
        q.bind(1, m_id);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Address list not found (it was removed)");
        return q.text(0);
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

struct EntryRow {
    std::string name;
    std::int32_t displayType = 0;
};

EntryRow loadEntry(detail::SessionState &s, std::int64_t id)
{
    auto q = s.database().query("SELECT name, display_type FROM address_entries WHERE id = ?");
    q.bind(1, id);
    if (!q.step())
        throw Error(ErrorCode::NotFound, "Address entry \"" + detail::makeId(s.guid, detail::IdKind::AddressEntry, id) +
                                             "\" not found (it was removed)");
    return {q.text(0), static_cast<std::int32_t>(q.int64(1))};
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
    auto ids = std::make_shared<std::vector<std::int64_t>>();
    auto q = m_session->database().query(
        "SELECT id FROM address_entries WHERE list_id = ? ORDER BY name COLLATE NOCASE, id");
    q.bind(1, m_list);
    while (q.step())
        ids->push_back(q.int64(0));
    m_ids = std::move(ids);
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
        store::Database &db = m_session->database();
        {
            auto q = db.query("SELECT id FROM address_entries WHERE list_id = ? AND name = ? ORDER BY id LIMIT 1");
            q.bind(1, m_list).bind(2, name);
            if (q.step())
                return AddressEntry(m_session, q.int64(0));
        }
        // No exact match: the one entry whose name begins with the text.
        std::string lower(name);
        std::string upper(name);
        while (!upper.empty() && static_cast<unsigned char>(upper.back()) == 0xFF)
            upper.pop_back();
        std::vector<std::int64_t> found;
        if (upper.empty()) {
            auto q = db.query("SELECT id, name FROM address_entries WHERE list_id = ? AND name >= ?");
            q.bind(1, m_list).bind(2, std::string_view(lower));
            while (q.step() && found.size() < 2) {
                if (q.text(1).starts_with(name))
                    found.push_back(q.int64(0));
            }
        } else {
            upper.back() = static_cast<char>(static_cast<unsigned char>(upper.back()) + 1);
            auto q = db.query("SELECT id FROM address_entries WHERE list_id = ? AND name >= ? AND name < ? LIMIT 2");
            q.bind(1, m_list).bind(2, std::string_view(lower)).bind(3, std::string_view(upper));
            while (q.step())
                found.push_back(q.int64(0));
        }
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
