// Folders / Folder: the folder tree of one store.
//
// A Folders collection lists the direct subfolders of one folder in position order
// (creation order); it is a snapshot taken at first access.
//
// Every committed change to a folder's messages or bindings raises the folder's
// revision, and the store's change log says what changed since any recent revision.
#pragma once

#include "Handles.h"
#include "store/Rows.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

using ChangeKind = store::ChangeKind;

struct FolderChange {
    std::string entryId; // of the message (binding messages included)
    std::int64_t revision = 0;
    ChangeKind kind = ChangeKind::Changed;
};

struct FolderChanges {
    std::int64_t revision = 0; // the folder's revision now
    // The log no longer reaches back that far (or the revision is none of this store's):
    // read the whole folder again. `changes` is then empty.
    bool tooOld = false;
    // In revision order; a message's last entry says what became of it.
    std::vector<FolderChange> changes;
};

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
    // The folder's revision. What the session itself wrote is committed first (outside
    // a write group), so that the answer covers it.
    std::int64_t Revision() const;
    // What changed in the folder after `revision`, read from the change log (the
    // session's own writes committed first, as for Revision). InvalidArgument for a
    // negative revision.
    FolderChanges ChangesSince(std::int64_t revision) const;
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
