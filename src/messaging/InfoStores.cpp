#include "InfoStores.h"

#include "Detail.h"
#include "Folder.h"

namespace messaging {

InfoStores::InfoStores(detail::SessionPtr session) : m_session(std::move(session)) {}

const std::vector<store::ProfileStoreRow> &InfoStores::snapshot() const
{
    if (!m_stores)
        m_stores = std::make_shared<const std::vector<store::ProfileStoreRow>>(
            m_session->store().profileStores(m_session->profile));
    return *m_stores;
}

std::int32_t InfoStores::Count() const
{
    return detail::guarded(m_session, "InfoStores.Count",
                           [&] { return static_cast<std::int32_t>(snapshot().size()); });
}

InfoStore InfoStores::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "InfoStores.Item", [&] {
        const auto &stores = snapshot();
        if (position < 1 || static_cast<std::size_t>(position) > stores.size())
            throw Error(ErrorCode::InvalidArgument, "Store position " + std::to_string(position) +
                                                        " is outside 1.." + std::to_string(stores.size()));
        const store::ProfileStoreRow &row = stores[static_cast<std::size_t>(position - 1)];
        return InfoStore(m_session, row.id, row.name);
    });
}

InfoStore InfoStores::Item(std::string_view name) const
{
    return detail::guarded(m_session, "InfoStores.Item", [&] {
        // One look-up, whether or not the collection has its snapshot yet: the store
        // must be the public store, the profile owner's mailbox or shared to the profile.
        auto id = m_session->store().profileStore(m_session->profile, name);
        if (!id)
            throw Error(ErrorCode::NotFound, "Store \"" + std::string(name) +
                                                 "\" not found: it is not among the profile's stores");
        return InfoStore(m_session, *id);
    });
}

InfoStore::InfoStore(detail::SessionPtr session, std::int64_t storeRowId, std::optional<std::string> name)
    : m_session(std::move(session)), m_id(storeRowId), m_name(std::move(name))
{
}

std::string InfoStore::Name() const
{
    return detail::guarded(m_session, "InfoStore.Name", [&] {
        if (m_name)
            return *m_name;
        auto row = m_session->store().store(m_id);
        if (!row)
            throw Error(ErrorCode::NotFound, "Store not found (it was removed)");
        return row->name;
    });
}

std::string InfoStore::ID() const
{
    return detail::guarded(m_session, "InfoStore.ID",
                           [&] { return detail::makeId(m_session->guid, detail::IdKind::Store, m_id); });
}

Folder InfoStore::RootFolder() const
{
    return detail::guarded(m_session, "InfoStore.RootFolder", [&] {
        auto root = m_session->store().rootFolder(m_id);
        if (!root)
            throw Error(ErrorCode::NotFound, "Root folder not found in \"" + detail::storeName(*m_session, m_id) + "\"");
        return Folder(m_session, *root);
    });
}

} // namespace messaging
