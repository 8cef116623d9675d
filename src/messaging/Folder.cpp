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
        auto q = m_session->database().query("SELECT name FROM folders WHERE id = ?");
        q.bind(1, m_id);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        return q.text(0);
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
        auto q = m_session->database().query("SELECT store_id FROM folders WHERE id = ?");
        q.bind(1, m_id);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        return detail::makeId(m_session->guid, detail::IdKind::Store, q.int64(0));
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

Folders::Folders(detail::SessionPtr session, std::int64_t parentFolderRowId)
    : m_session(std::move(session)), m_parent(parentFolderRowId)
{
}

void Folders::snapshot() const
{
    if (m_ids)
        return;
    auto ids = std::make_shared<std::vector<std::int64_t>>();
    auto q = m_session->database().query("SELECT id FROM folders WHERE parent_id = ? ORDER BY id");
    q.bind(1, m_parent);
    while (q.step())
        ids->push_back(q.int64(0));
    m_ids = std::move(ids);
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
        auto q = m_session->database().query("SELECT id FROM folders WHERE parent_id = ? AND name = ? ORDER BY id LIMIT 1");
        q.bind(1, m_parent).bind(2, name);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Folder \"" + std::string(name) + "\" not found in \"" +
                                                 detail::folderPath(*m_session, m_parent) + "\"");
        return Folder(m_session, q.int64(0));
    });
}

Folder Folders::Add(std::string_view name) const
{
    return detail::guarded(m_session, "Folders.Add", [&] {
        if (name.empty())
            throw Error(ErrorCode::InvalidArgument, "A folder needs a name");
        store::Database &db = m_session->database();
        std::int64_t store = 0;
        {
            auto q = db.query("SELECT store_id FROM folders WHERE id = ?");
            q.bind(1, m_parent);
            if (!q.step())
                throw Error(ErrorCode::NotFound, "Parent folder not found (it was removed)");
            store = q.int64(0);
        }
        {
            auto q = db.query("SELECT 1 FROM folders WHERE parent_id = ? AND name = ?");
            q.bind(1, m_parent).bind(2, name);
            if (q.step())
                throw Error(ErrorCode::InvalidArgument, "Folder \"" + std::string(name) + "\" already exists in \"" +
                                                            detail::folderPath(*m_session, m_parent) + "\"");
        }
        std::int64_t id = 0;
        m_session->write(
            [&] {
                db.query("INSERT INTO folders(store_id, parent_id, name) VALUES(?, ?, ?)")
                    .bind(1, store)
                    .bind(2, m_parent)
                    .bind(3, name)
                    .run();
                id = db.lastInsertRowid();
            },
            false);
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
