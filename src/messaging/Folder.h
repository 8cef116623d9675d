// Folders / Folder: the folder tree of one store.
//
// A Folders collection lists the direct subfolders of one folder in position order
// (creation order); it is a snapshot taken at first access.
#pragma once

#include "Handles.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

class Folder {
public:
    Folder(detail::SessionPtr session, std::int64_t folderRowId);
    std::string Name() const;
    // Entry identifier: an opaque upper-case hex string, unique across the store.
    std::string ID() const;
    // Entry identifier of the store that holds the folder (InfoStore::ID).
    std::string StoreID() const;
    messaging::Folders Folders() const;
    messaging::Messages Messages() const;
    std::int64_t rowId() const { return m_id; }
    const detail::SessionPtr &session() const { return m_session; }

private:
    detail::SessionPtr m_session;
    std::int64_t m_id;
};

class Folders {
public:
    Folders(detail::SessionPtr session, std::int64_t parentFolderRowId);
    std::int32_t Count() const;
    // Position counts from 1; InvalidArgument outside 1..Count.
    Folder Item(std::int32_t position) const;
    // Exact, case-sensitive folder name among the direct subfolders; NotFound names the
    // folder and its parent.
    Folder Item(std::string_view name) const;
    // Adds a subfolder (store administration; not used by the pages).
    Folder Add(std::string_view name) const;

    class iterator;
    iterator begin() const;
    iterator end() const;

private:
    void snapshot() const;
    detail::SessionPtr m_session;
    std::int64_t m_parent;
    mutable std::shared_ptr<std::vector<std::int64_t>> m_ids;
};

class Folders::iterator {
public:
    using value_type = Folder;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    iterator(detail::SessionPtr s, std::shared_ptr<std::vector<std::int64_t>> ids, std::size_t pos)
        : m_session(std::move(s)), m_ids(std::move(ids)), m_pos(pos) {}
    Folder operator*() const { return Folder(m_session, (*m_ids)[m_pos]); }
    iterator &operator++() { ++m_pos; return *this; }
    bool operator==(const iterator &o) const { return m_pos == o.m_pos; }

private:
    detail::SessionPtr m_session;
    std::shared_ptr<std::vector<std::int64_t>> m_ids;
    std::size_t m_pos = 0;
};

} // namespace messaging
