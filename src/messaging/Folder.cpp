#include "Folder.h"

#include "Detail.h"
#include "Messages.h"

namespace messaging {

Folder::Folder(detail::SessionPtr session, std::int64_t folderRowId)
    : m_session(std::move(session)), m_id(folderRowId)
{
}

std::string Folder::Name() const
{
    return detail::guarded(m_session, "Folder.Name", [&] {
        auto row = m_session->store().folder(m_id);
        if (!row)
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        return row->name;
    });
}

std::string Folder::ID() const
{
    return detail::guarded(m_session, "Folder.ID",
                           [&] { return detail::makeId(m_session->guid, detail::IdKind::Folder, m_id); });
}

std::string Folder::StoreID() const
{
    return detail::guarded(m_session, "Folder.StoreID", [&] {
        auto row = m_session->store().folder(m_id);
        if (!row)
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        return detail::makeId(m_session->guid, detail::IdKind::Store, row->store);
    });
}

Folders Folder::Folders() const
{
    return detail::guarded(m_session, "Folder.Folders", [&] { return messaging::Folders(m_session, m_id); });
}

Messages Folder::Messages() const
{
    return detail::guarded(m_session, "Folder.Messages", [&] { return messaging::Messages(m_session, m_id); });
}

std::int64_t Folder::Revision() const
{
    return detail::guarded(m_session, "Folder.Revision", [&] {
        if (!detail::folderExists(*m_session, m_id))
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        m_session->batch->commit();
        return m_session->store().folderRevision(m_id);
    });
}

FolderChanges Folder::ChangesSince(std::int64_t revision) const
{
    return detail::guarded(m_session, "Folder.ChangesSince", [&] {
        if (revision < 0)
            throw Error(ErrorCode::InvalidArgument, "A revision is never negative");
        if (!detail::folderExists(*m_session, m_id))
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        m_session->batch->commit();
        store::FolderChanges found = m_session->store().changesSince(m_id, revision);
        FolderChanges out{found.revision, found.tooOld, {}};
        out.changes.reserve(found.changes.size());
        for (const store::Change &c : found.changes)
            out.changes.push_back({detail::makeId(m_session->guid, detail::IdKind::Message, c.message), c.revision, c.kind});
        return out;
    });
}

Folders::Folders(detail::SessionPtr session, std::int64_t parentFolderRowId)
    : m_session(std::move(session)), m_parent(parentFolderRowId)
{
}

void Folders::snapshot() const
{
    if (m_ids)
        return;
    m_ids = std::make_shared<std::vector<std::int64_t>>(m_session->store().subfolders(m_parent));
}

std::int32_t Folders::Count() const
{
    return detail::guarded(m_session, "Folders.Count", [&] {
        snapshot();
        return static_cast<std::int32_t>(m_ids->size());
    });
}

Folder Folders::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "Folders.Item", [&] {
        snapshot();
        if (position < 1 || static_cast<std::size_t>(position) > m_ids->size())
            throw Error(ErrorCode::InvalidArgument,
                        "Folder position " + std::to_string(position) + " is outside 1.." +
                            std::to_string(m_ids->size()) + " in \"" + detail::folderPath(*m_session, m_parent) +
                            "\"");
        return Folder(m_session, (*m_ids)[static_cast<std::size_t>(position - 1)]);
    });
}

Folder Folders::Item(std::string_view name) const
{
    return detail::guarded(m_session, "Folders.Item", [&] {
        auto id = m_session->store().subfolder(m_parent, name);
        if (!id)
            throw Error(ErrorCode::NotFound, "Folder \"" + std::string(name) + "\" not found in \"" +
                                                 detail::folderPath(*m_session, m_parent) + "\"");
        return Folder(m_session, *id);
    });
}

Folder Folders::Add(std::string_view name) const
{
    return detail::guarded(m_session, "Folders.Add", [&] {
        if (name.empty())
            throw Error(ErrorCode::InvalidArgument, "A folder needs a name");
        store::Engine &engine = m_session->store();
        auto parent = engine.folder(m_parent);
        if (!parent)
            throw Error(ErrorCode::NotFound, "Parent folder not found (it was removed)");
        if (engine.subfolder(m_parent, name))
            throw Error(ErrorCode::InvalidArgument, "Folder \"" + std::string(name) + "\" already exists in \"" +
                                                        detail::folderPath(*m_session, m_parent) + "\"");
        std::int64_t id = 0;
        m_session->write([&] { id = engine.addFolder(parent->store, m_parent, name); }, false);
        m_ids.reset();
        return Folder(m_session, id);
    });
}

Folders::iterator Folders::begin() const
{
    return detail::guarded(m_session, "Folders.begin", [&] {
        snapshot();
        return iterator(m_session, m_ids, 0);
    });
}

Folders::iterator Folders::end() const
{
    return detail::guarded(m_session, "Folders.end", [&] {
        snapshot();
        return iterator(m_session, m_ids, m_ids->size());
    });
}

} // namespace messaging
