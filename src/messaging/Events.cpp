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
        const bool saved = s->store().boundFolder(folder.rowId());
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
        m_session->write([&] { m_session->store().saveBoundFolder(m_folder); }, false);
        m_saved = true;
    });
}

Binding::Binding(detail::SessionPtr session, std::int64_t folderRowId, std::int64_t bindingMessageRowId)
    : m_session(std::move(session)), m_folder(folderRowId), m_message(bindingMessageRowId)
{
    if (m_message == 0)
        return;
    auto row = m_session->store().binding(m_message);
    if (!row)
        throw Error(ErrorCode::NotFound, "Binding \"" + detail::makeId(m_session->guid, detail::IdKind::Message,
                                                                       m_message) +
                                             "\" not found (its message was deleted)");
    m_name = std::move(row->name);
    m_active = row->active;
    m_mask = row->eventMask;
    m_handler = std::move(row->handlerClass);
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
        store::Engine &engine = m_session->store();
        const store::BindingRow row{m_name, m_active, m_mask, m_handler};
        if (m_message == 0) {
            if (!detail::folderExists(*m_session, m_folder))
                throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
            std::int64_t id = 0;
            m_session->write([&] { id = engine.addBinding(m_folder, row); }, false);
            m_message = id;
            return;
        }
        m_session->write(
            [&] {
                if (!engine.updateBinding(m_message, row))
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
        m_session->write(
            [&] {
                // Handler data still pending on the message is saved with the binding.
                if (state->dirty != 0 || !state->pendingFields.empty() || !state->deletedFields.empty())
                    detail::saveMessage(*m_session, *state);
                if (!m_session->store().setHandlerDataSaved(m_message))
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
    *m_ids = m_session->store().folderBindings(m_folder);
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
