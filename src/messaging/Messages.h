// Messages / MessageFilter: the visible messages of one folder.
//
// The collection takes a snapshot of its member ids (position order = creation order)
// at the first Count, Item or enumeration, and keeps it until the filter changes:
// Item(position) is O(1) after that, deleting a message keeps the positions of all
// others, and enumeration visits each member present when it began exactly once, also
// while members are deleted (members deleted before they are reached are passed over).
// Hidden binding messages never appear here.
#pragma once

#include "Handles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

class MessageFilter {
public:
    explicit MessageFilter(std::shared_ptr<detail::MessagesState> state);
    // Selects the messages whose subject begins with the text, letter case significant,
    // through the subject index. Setting it drops the collection's snapshot.
    void SetSubject(std::string_view prefix);
    std::optional<std::string> Subject() const;

private:
    std::shared_ptr<detail::MessagesState> m_state;
};

class Messages {
public:
    Messages(detail::SessionPtr session, std::int64_t folderRowId);
    std::int32_t Count() const;
    // Position counts from 1; InvalidArgument outside 1..Count; NotFound when the
    // message at that position has been deleted since the snapshot.
    Message Item(std::int32_t position) const;
    MessageFilter Filter() const;
    // A new message in this folder; it appears in the folder when it is saved (Update).
    Message Add() const;

    class iterator;
    iterator begin() const;
    iterator end() const;

private:
    detail::SessionPtr m_session;
    std::shared_ptr<detail::MessagesState> m_state;
};

class Messages::iterator {
public:
    using value_type = Message;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    iterator(detail::SessionPtr s, std::shared_ptr<const std::vector<std::int64_t>> ids, std::size_t pos);
    Message operator*() const;
    iterator &operator++();
    bool operator==(const iterator &o) const { return m_pos == o.m_pos; }

private:
    void skipDeleted();
    detail::SessionPtr m_session;
    std::shared_ptr<const std::vector<std::int64_t>> m_ids;
    std::size_t m_pos = 0;
};

} // namespace messaging
