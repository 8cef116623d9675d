// InfoStores / InfoStore: the message stores a profile sees ("Public Folders" and
// mailbox stores "Mailbox - <display name>").
//
// The collection takes a snapshot of the profile's stores and their names at its first
// use, so that Item(position) and the Name of the store it gives are O(1) after that,
// without a read of the store each (the mailbox picker lists ten thousand of them); a
// new collection sees stores shared (or renamed) since.
#pragma once

#include "Handles.h"
#include "store/Rows.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

class InfoStores {
public:
    explicit InfoStores(detail::SessionPtr session);
    // Number of stores the profile sees.
    std::int32_t Count() const;
    // Position counts from 1. Throws InvalidArgument for a position outside 1..Count.
    InfoStore Item(std::int32_t position) const;
    // Exact, case-sensitive store name. Throws NotFound naming the store.
    InfoStore Item(std::string_view name) const;

private:
    const std::vector<store::ProfileStoreRow> &snapshot() const;
    detail::SessionPtr m_session;
    mutable std::shared_ptr<const std::vector<store::ProfileStoreRow>> m_stores;
};

class InfoStore {
public:
    // `name`: the store's name when the caller has read it already (the collection's
    // snapshot); Name() reads it from the store otherwise.
    InfoStore(detail::SessionPtr session, std::int64_t storeRowId, std::optional<std::string> name = std::nullopt);
    std::string Name() const;
    std::string ID() const;          // entry identifier of the store
    Folder RootFolder() const;
    std::int64_t rowId() const { return m_id; }

private:
    detail::SessionPtr m_session;
    std::int64_t m_id;
    std::optional<std::string> m_name;
};

} // namespace messaging
