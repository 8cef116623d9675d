// InfoStores / InfoStore: the message stores a profile sees ("Public Folders" and
// mailbox stores "Mailbox - <display name>").
//
// The collection takes a snapshot of the profile's stores at its first use, so that
// Item(position) is O(1) after that; a new collection sees stores shared since.
#pragma once

#include "Handles.h"

#include <cstdint>
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
    const std::vector<std::int64_t> &snapshot() const;
    detail::SessionPtr m_session;
    mutable std::shared_ptr<const std::vector<std::int64_t>> m_ids;
};

class InfoStore {
public:
    InfoStore(detail::SessionPtr session, std::int64_t storeRowId);
    std::string Name() const;
    std::string ID() const;          // entry identifier of the store
    Folder RootFolder() const;
    std::int64_t rowId() const { return m_id; }

private:
    detail::SessionPtr m_session;
    std::int64_t m_id;
};

} // namespace messaging
