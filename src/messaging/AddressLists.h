// AddressLists / AddressList / AddressEntries / AddressEntry: the server's directory.
//
// The one address list is "Global Address List". Its entries are yielded in display
// name order (case-insensitive), ties in creation order; the collection is a snapshot
// taken at its first use.
#pragma once

#include "Handles.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

namespace DisplayType {
inline constexpr std::int32_t MailUser = 0;
inline constexpr std::int32_t DistList = 1;
inline constexpr std::int32_t PublicFolder = 2;
inline constexpr std::int32_t RemoteUser = 6;
} // namespace DisplayType

class AddressLists {
public:
    explicit AddressLists(detail::SessionPtr session);
    std::int32_t Count() const;
    AddressList Item(std::int32_t position) const;
    // Exact name; NotFound names the list.
    AddressList Item(std::string_view name) const;

private:
    detail::SessionPtr m_session;
};

class AddressList {
public:
    AddressList(detail::SessionPtr session, std::int64_t listRowId);
    std::string Name() const;
    messaging::AddressEntries AddressEntries() const;

private:
    detail::SessionPtr m_session;
    std::int64_t m_id;
};

class AddressEntry {
public:
    AddressEntry(detail::SessionPtr session, std::int64_t entryRowId);
    std::string Name() const;
    std::int32_t DisplayType() const;
    std::string ID() const;
    messaging::Fields Fields() const;
    std::int64_t rowId() const { return m_id; }

private:
    struct Row;
    const Row &row() const;
    detail::SessionPtr m_session;
    std::int64_t m_id;
    // Name and display type, read once: the object model never changes an entry's.
    mutable std::shared_ptr<const Row> m_row;
};

class AddressEntries {
public:
    AddressEntries(detail::SessionPtr session, std::int64_t listRowId);
    std::int32_t Count() const;
    AddressEntry Item(std::int32_t position) const;
    // Resolves a display name: the first entry (creation order) whose name equals the
    // text exactly; else the one entry whose name begins with it (case-sensitive). An
    // empty text, no match or several prefix matches throw NotFound naming the text.
    AddressEntry Item(std::string_view name) const;

    class iterator {
    public:
        using value_type = AddressEntry;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        iterator(detail::SessionPtr s, std::shared_ptr<std::vector<std::int64_t>> ids, std::size_t pos)
            : m_session(std::move(s)), m_ids(std::move(ids)), m_pos(pos) {}
        AddressEntry operator*() const { return AddressEntry(m_session, (*m_ids)[m_pos]); }
        iterator &operator++();
        bool operator==(const iterator &o) const { return m_pos == o.m_pos; }

    private:
        detail::SessionPtr m_session;
        std::shared_ptr<std::vector<std::int64_t>> m_ids;
        std::size_t m_pos = 0;
    };
    iterator begin() const;
    iterator end() const;

private:
    void snapshot() const;
    detail::SessionPtr m_session;
    std::int64_t m_list;
    mutable std::shared_ptr<std::vector<std::int64_t>> m_ids;
};

} // namespace messaging
