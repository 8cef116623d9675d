#include "Events.h"

#include "Detail.h"
#include "Folder.h"
#include "Message.h"

namespace messaging {

namespace {

std::string folderLabel(detail::SessionState &s, std::int64_t folder)
{
    return "\"" + detail::folderPath(s, folder) + "\"";
}

} // namespace

std::unique_ptr<Events> Events::Create(std::string_view className)
{
    return detail::guarded(nullptr, "Events.Create", [&] {
        if (className != "MSExchange.Events")
            throw Error(ErrorCode::CannotCreateObject,
                        "Cannot create object \"" + std::string(className) + "\": no such class is registered");
        return std::unique_ptr<Events>(new Events());
    });
}

void Events::SetSession(const messaging::Session &session)
{
    detail::guarded(session.state(), "Events.SetSession", [&] { m_session = session; });
}

BoundFolder Events::BoundFolder(const Folder &folder, bool create)
{
    detail::SessionPtr s = m_session ? m_session->state() : nullptr;
    return detail::guarded(s, "Events.BoundFolder", [&] {
        if (!s)
            throw Error(ErrorCode::InvalidArgument, "The events object has no session");
        if (!detail::folderExists(*s, folder.rowId()))
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        auto q = s->database().query("SELECT 1 FROM bound_folders WHERE folder_id = ?");
        q.bind(1, folder.rowId());
        bool saved = q.step();
        if (!saved && !create)
            throw Error(ErrorCode::NotFound, "Folder " + folderLabel(*s, folder.rowId()) + " has no bound folder");
        return messaging::BoundFolder(s, folder.rowId(), saved);
    });
}

BoundFolder::BoundFolder(detail::SessionPtr session, std::int64_t folderRowId, bool saved)
    : m_session(std::move(session)), m_folder(folderRowId), m_saved(saved)
{
}

Bindings BoundFolder::Bindings() const
{
    return detail::guarded(m_session, "BoundFolder.Bindings", [&] { return messaging::Bindings(m_session, m_folder); });
}

void BoundFolder::SaveChanges()
{
    detail::guarded(m_session, "BoundFolder.SaveChanges", [&] {
        if (!detail::folderExists(*m_session, m_folder))
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        store::Database &db = m_session->database();
        m_session->write(
            [&] { db.query("INSERT OR IGNORE INTO bound_folders(folder_id) VALUES(?)").bind(1, m_folder).run(); },
            false);
        m_saved = true;
    });
}

Binding::Binding(detail::SessionPtr session, std::int64_t folderRowId, std::int64_t bindingMessageRowId)
    : m_session(std::move(session)), m_folder(folderRowId), m_message(bindingMessageRowId)
{
    if (m_message == 0)
        return;
    auto q = m_session->database().query(
        "SELECT name, active, event_mask, handler_class FROM bindings WHERE message_id = ?");
    q.bind(1, m_message);
    if (!q.step())
        throw Error(ErrorCode::NotFound, "Binding \"" + detail::makeId(m_session->guid, detail::IdKind::Message,
                                                                       m_message) +
                                             "\" not found (its message was deleted)");
    m_name = q.text(0);
    m_active = q.int64(1) != 0;
    m_mask = static_cast<std::int16_t>(q.int64(2));
    m_handler = q.text(3);
}

std::string Binding::Name() const
{
    return detail::guarded(m_session, "Binding.Name", [&] { return m_name; });
}

void Binding::SetName(std::string_view name)
{
    detail::guarded(m_session, "Binding.SetName", [&] { m_name = std::string(name); });
}

bool Binding::Active() const
{
    return detail::guarded(m_session, "Binding.Active", [&] { return m_active; });
}

void Binding::SetActive(bool active)
{
    detail::guarded(m_session, "Binding.SetActive", [&] { m_active = active; });
}

std::int16_t Binding::EventMask() const
{
    return detail::guarded(m_session, "Binding.EventMask", [&] { return m_mask; });
}

void Binding::SetEventMask(std::int16_t mask)
{
    detail::guarded(m_session, "Binding.SetEventMask", [&] { m_mask = mask; });
}

std::string Binding::HandlerClassID() const
{
    return detail::guarded(m_session, "Binding.HandlerClassID", [&] { return m_handler; });
}

void Binding::SetHandlerClassID(std::string_view classId)
{
    detail::guarded(m_session, "Binding.SetHandlerClassID", [&] { m_handler = std::string(classId); });
}

void Binding::SaveChanges()
{
    detail::guarded(m_session, "Binding.SaveChanges", [&] {
        store::Database &db = m_session->database();
        if (m_message == 0) {
            if (!detail::folderExists(*m_session, m_folder))
                throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
            std::int64_t id = 0;
            m_session->write(
                [&] {
                    db.query("INSERT INTO messages(folder_id, hidden, subject) VALUES(?, 1, ?)")
                        .bind(1, m_folder)
                        .bind(2, std::string_view(m_name))
                        .run();
                    id = db.lastInsertRowid();
                    db.query("INSERT INTO bindings(message_id, name, active, event_mask, handler_class) "
                             "VALUES(?, ?, ?, ?, ?)")
                        .bind(1, id)
                        .bind(2, std::string_view(m_name))
                        .bind(3, std::int64_t(m_active ? 1 : 0))
                        .bind(4, std::int64_t(m_mask))
                        .bind(5, std::string_view(m_handler))
                        .run();
                },
                true);
            m_message = id;
            return;
        }
        m_session->write(
            [&] {
                db.query("UPDATE bindings SET name = ?, active = ?, event_mask = ?, handler_class = ? "
                         "WHERE message_id = ?")
                    .bind(1, std::string_view(m_name))
                    .bind(2, std::int64_t(m_active ? 1 : 0))
                    .bind(3, std::int64_t(m_mask))
                    .bind(4, std::string_view(m_handler))
                    .bind(5, m_message)
                    .run();
                if (db.changes() == 0)
                    throw Error(ErrorCode::NotFound, "Binding \"" + EntryID() + "\" not found (its message was deleted)");
            },
            false);
    });
}

std::string Binding::EntryID() const
{
    return detail::guarded(m_session, "Binding.EntryID", [&] {
        if (m_message == 0)
            throw Error(ErrorCode::InvalidArgument, "The binding has no entry identifier until it is saved");
        return detail::makeId(m_session->guid, detail::IdKind::Message, m_message);
    });
}

void Binding::SaveCustomChanges(const Message &bindingMessage)
{
    detail::guarded(m_session, "Binding.SaveCustomChanges", [&] {
        if (m_message == 0)
            throw Error(ErrorCode::InvalidArgument, "The binding must be saved before its handler data");
        const auto &state = bindingMessage.state();
        if (!state || state->id != m_message)
            throw Error(ErrorCode::InvalidArgument, "The message is not the binding's own binding message");
        store::Database &db = m_session->database();
        m_session->write(
            [&] {
                // Handler data still pending on the message is saved with the binding.
                if (state->dirty != 0 || !state->pendingFields.empty() || !state->deletedFields.empty())
                    detail::saveMessage(*m_session, *state);
                db.query("UPDATE bindings SET custom_saved = 1 WHERE message_id = ?").bind(1, m_message).run();
                if (db.changes() == 0)
                    throw Error(ErrorCode::NotFound,
                                "Binding \"" + detail::makeId(m_session->guid, detail::IdKind::Message, m_message) +
                                    "\" not found (its message was deleted)");
            },
            true);
    });
}

Bindings::Bindings(detail::SessionPtr session, std::int64_t folderRowId)
    : m_session(std::move(session)), m_folder(folderRowId), m_ids(std::make_shared<std::vector<std::int64_t>>())
{
    auto q = m_session->database().query("SELECT b.message_id FROM bindings b JOIN messages m ON m.id = b.message_id "
                                         "WHERE m.folder_id = ? ORDER BY b.message_id");
    q.bind(1, m_folder);
    while (q.step())
        m_ids->push_back(q.int64(0));
}

std::int32_t Bindings::Count() const
{
    return detail::guarded(m_session, "Bindings.Count", [&] { return static_cast<std::int32_t>(m_ids->size()); });
}

Binding Bindings::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "Bindings.Item", [&] {
        if (position < 1 || static_cast<std::size_t>(position) > m_ids->size())
            throw Error(ErrorCode::InvalidArgument, "Binding position " + std::to_string(position) +
                                                        " is outside 1.." + std::to_string(m_ids->size()));
        return Binding(m_session, m_folder, (*m_ids)[static_cast<std::size_t>(position - 1)]);
    });
}

Binding Bindings::Add() const
{
    return detail::guarded(m_session, "Bindings.Add", [&] { return Binding(m_session, m_folder, 0); });
}

} // namespace messaging
