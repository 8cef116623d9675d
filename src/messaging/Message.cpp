#include "Message.h"

#include "Detail.h"
#include "PropTags.h"

#include <ctime>

namespace messaging {

namespace detail {

bool loadRow(SessionState &s, MessageState &m)
{
    auto row = s.store().message(m.id);
    if (!row)
        return false;
    m.row = std::move(*row);
    m.loaded = true;
    return true;
}

std::string messageLabel(const SessionState &s, const MessageState &m)
{
    if (m.id == 0)
        return "new message";
    return "message \"" + makeId(s.guid, IdKind::Message, m.id) + "\"";
}

void ensureLoaded(SessionState &s, MessageState &m)
{
    if (m.loaded)
        return;
    if (!loadRow(s, m))
        throw Error(ErrorCode::NotFound, "Message \"" + makeId(s.guid, IdKind::Message, m.id) +
                                             "\" not found (it was deleted)");
}

void ensureFields(SessionState &s, MessageState &m)
{
    if (m.fieldsLoaded)
        return;
    ensureLoaded(s, m);
    m.fields = s.store().messageFields(m.id);
    m.fieldsLoaded = true;
}

void saveMessage(SessionState &s, MessageState &m)
{
    MessageRow merged;
    if (m.id != 0)
        ensureLoaded(s, m);
    merged = m.row;
    const MessageRow &p = m.pending;
    if (m.dirty & ColSubject)
        merged.subject = p.subject;
    if (m.dirty & ColBody)
        merged.body = p.body;
    if (m.dirty & ColSensitivity)
        merged.sensitivity = p.sensitivity;
    if (m.dirty & ColCategories)
        merged.categories = p.categories;
    if (m.dirty & ColAllDay)
        merged.allDay = p.allDay;
    if (m.dirty & ColLocation)
        merged.location = p.location;
    if (m.dirty & ColStart)
        merged.start = p.start;
    if (m.dirty & ColEnd)
        merged.end = p.end;
    if (m.dirty & ColStamp)
        merged.stamp = p.stamp;
    const bool changes = m.id == 0 || m.dirty != 0 || !m.pendingFields.empty() || !m.deletedFields.empty();
    if (changes)
        merged.changedAt = static_cast<std::int64_t>(std::time(nullptr));

    if (m.id == 0) {
        if (!folderExists(s, merged.folder))
            throw Error(ErrorCode::NotFound, "The target folder of the new message no longer exists");
        std::map<std::uint32_t, PropValue> fields = m.fields;
        for (const auto &[tag, value] : m.pendingFields)
            fields[tag] = value;
        for (const std::uint32_t tag : m.deletedFields)
            fields.erase(tag);
        std::int64_t newId = 0;
        s.write([&] { newId = s.store().addMessage(merged, fields); }, false);
        m.id = newId;
        m.fields = std::move(fields);
    } else {
        s.write(
            [&] {
                if (!s.store().updateMessage(m.id, m.dirty, merged, m.pendingFields, m.deletedFields))
                    throw Error(ErrorCode::NotFound, "Message \"" + makeId(s.guid, IdKind::Message, m.id) +
                                                         "\" not found (it was deleted)");
            },
            false);
        if (m.fieldsLoaded) {
            for (const auto &[tag, value] : m.pendingFields)
                m.fields[tag] = value;
            for (const std::uint32_t tag : m.deletedFields)
                m.fields.erase(tag);
        }
    }
    m.row = std::move(merged);
    m.loaded = true;
    m.dirty = 0;
    m.pending = MessageRow();
    m.pendingFields.clear();
    m.deletedFields.clear();
}

} // namespace detail

namespace {

template <class T, class Get>
T readProp(const detail::SessionPtr &s, const std::shared_ptr<detail::MessageState> &m, std::string_view op,
           unsigned bit, Get get)
{
    return detail::guarded(s, op, [&]() -> T {
        if (m->dirty & bit)
            return get(m->pending);
        detail::ensureLoaded(*s, *m);
        return get(m->row);
    });
}

template <class Set>
void writeProp(const detail::SessionPtr &s, const std::shared_ptr<detail::MessageState> &m, std::string_view op,
               unsigned bit, Set set)
{
    detail::guarded(s, op, [&] {
        set(m->pending);
        m->dirty |= bit;
    });
}

} // namespace

Message::Message(detail::SessionPtr session, std::shared_ptr<detail::MessageState> state)
    : m_session(std::move(session)), m_state(std::move(state))
{
}

std::string Message::ID() const
{
    return detail::guarded(m_session, "Message.ID", [&] {
        if (m_state->id == 0)
            throw Error(ErrorCode::InvalidArgument, "The message has no entry identifier until it is saved");
        return detail::makeId(m_session->guid, detail::IdKind::Message, m_state->id);
    });
}

std::string Message::FolderID() const
{
    return detail::guarded(m_session, "Message.FolderID", [&] {
        detail::ensureLoaded(*m_session, *m_state);
        return detail::makeId(m_session->guid, detail::IdKind::Folder, m_state->row.folder);
    });
}

std::string Message::Subject() const
{
    return readProp<std::string>(m_session, m_state, "Message.Subject", detail::ColSubject,
                                 [](const detail::MessageRow &r) { return r.subject; });
}

void Message::SetSubject(std::string_view subject)
{
    writeProp(m_session, m_state, "Message.SetSubject", detail::ColSubject,
              [&](detail::MessageRow &r) { r.subject = std::string(subject); });
}

std::string Message::Text() const
{
    return readProp<std::string>(m_session, m_state, "Message.Text", detail::ColBody,
                                 [](const detail::MessageRow &r) { return r.body; });
}

void Message::SetText(std::string_view text)
{
    writeProp(m_session, m_state, "Message.SetText", detail::ColBody,
              [&](detail::MessageRow &r) { r.body = std::string(text); });
}

std::int32_t Message::Sensitivity() const
{
    return readProp<std::int32_t>(m_session, m_state, "Message.Sensitivity", detail::ColSensitivity,
                                  [](const detail::MessageRow &r) { return r.sensitivity; });
}

void Message::SetSensitivity(std::int32_t sensitivity)
{
    writeProp(m_session, m_state, "Message.SetSensitivity", detail::ColSensitivity,
              [&](detail::MessageRow &r) { r.sensitivity = sensitivity; });
}

std::optional<std::vector<std::string>> Message::Categories() const
{
    return readProp<std::optional<std::vector<std::string>>>(
        m_session, m_state, "Message.Categories", detail::ColCategories,
        [](const detail::MessageRow &r) { return r.categories; });
}

void Message::SetCategories(std::optional<std::vector<std::string>> categories)
{
    writeProp(m_session, m_state, "Message.SetCategories", detail::ColCategories,
              [&](detail::MessageRow &r) { r.categories = std::move(categories); });
}

std::int32_t Message::AllDayEvent() const
{
    return readProp<std::int32_t>(m_session, m_state, "Message.AllDayEvent", detail::ColAllDay,
                                  [](const detail::MessageRow &r) { return r.allDay; });
}

void Message::SetAllDayEvent(std::int32_t flag)
{
    writeProp(m_session, m_state, "Message.SetAllDayEvent", detail::ColAllDay,
              [&](detail::MessageRow &r) { r.allDay = flag; });
}

std::optional<std::string> Message::Location() const
{
    return readProp<std::optional<std::string>>(m_session, m_state, "Message.Location", detail::ColLocation,
                                                [](const detail::MessageRow &r) { return r.location; });
}

void Message::SetLocation(std::optional<std::string> location)
{
    writeProp(m_session, m_state, "Message.SetLocation", detail::ColLocation,
              [&](detail::MessageRow &r) { r.location = std::move(location); });
}

std::optional<double> Message::StartTime() const
{
    return readProp<std::optional<double>>(m_session, m_state, "Message.StartTime", detail::ColStart,
                                           [](const detail::MessageRow &r) { return r.start; });
}

void Message::SetStartTime(std::optional<double> dayNumber)
{
    writeProp(m_session, m_state, "Message.SetStartTime", detail::ColStart,
              [&](detail::MessageRow &r) { r.start = dayNumber; });
}

std::optional<double> Message::EndTime() const
{
    return readProp<std::optional<double>>(m_session, m_state, "Message.EndTime", detail::ColEnd,
                                           [](const detail::MessageRow &r) { return r.end; });
}

void Message::SetEndTime(std::optional<double> dayNumber)
{
    writeProp(m_session, m_state, "Message.SetEndTime", detail::ColEnd,
              [&](detail::MessageRow &r) { r.end = dayNumber; });
}

std::optional<std::string> Message::Stamp() const
{
    return readProp<std::optional<std::string>>(m_session, m_state, "Message.Stamp", detail::ColStamp,
                                                [](const detail::MessageRow &r) { return r.stamp; });
}

void Message::SetStamp(std::optional<std::string> stamp)
{
    writeProp(m_session, m_state, "Message.SetStamp", detail::ColStamp,
              [&](detail::MessageRow &r) { r.stamp = std::move(stamp); });
}

std::int64_t Message::ChangedAt() const
{
    return detail::guarded(m_session, "Message.ChangedAt", [&] {
        detail::ensureLoaded(*m_session, *m_state);
        return m_state->row.changedAt;
    });
}

Fields Message::Fields() const
{
    return detail::guarded(m_session, "Message.Fields", [&] { return messaging::Fields(m_session, m_state); });
}

void Message::Update()
{
    detail::guarded(m_session, "Message.Update", [&] { detail::saveMessage(*m_session, *m_state); });
}

void Message::Delete()
{
    detail::guarded(m_session, "Message.Delete", [&] {
        if (m_state->id == 0)
            throw Error(ErrorCode::InvalidArgument, "A message that was never saved cannot be deleted");
        m_session->write(
            [&] {
                if (!m_session->store().deleteMessage(m_state->id))
                    throw Error(ErrorCode::NotFound, "Message \"" + detail::makeId(m_session->guid,
                                                                                     detail::IdKind::Message,
                                                                                     m_state->id) +
                                                         "\" not found (it was already deleted)");
            },
            false);
        // Later reads find the row gone.
        m_state->loaded = false;
        m_state->fieldsLoaded = false;
        if (m_session->prefetched == m_state)
            m_session->prefetched.reset();
    });
}

Message Message::CopyTo(std::string_view folderId) const
{
    return detail::guarded(m_session, "Message.CopyTo", [&] {
        detail::SessionState &s = *m_session;
        auto target = detail::parseId(s.guid, detail::IdKind::Folder, folderId);
        if (!target || !detail::folderExists(s, *target))
            throw Error(ErrorCode::NotFound, "Folder \"" + std::string(folderId) + "\" not found");
        if (m_state->id == 0)
            throw Error(ErrorCode::InvalidArgument, "A message that was never saved cannot be copied");
        // The copy holds the saved values; this handle's unsaved changes stay behind.
        detail::ensureLoaded(s, *m_state);
        detail::ensureFields(s, *m_state);
        detail::MessageState fresh;
        fresh.row = m_state->row;
        fresh.fields = m_state->fields;
        auto copy = std::make_shared<detail::MessageState>();
        copy->loaded = true;
        copy->fieldsLoaded = true;
        copy->row = std::move(fresh.row);
        copy->row.folder = *target;
        copy->row.hidden = false;
        copy->fields = std::move(fresh.fields);
        copy->fields.erase(PropTag::ICalendarUid);
        return Message(m_session, copy);
    });
}

// ---- Fields / Field

Fields::Fields(detail::SessionPtr session, std::shared_ptr<detail::MessageState> message)
    : m_session(std::move(session)), m_message(std::move(message))
{
}

Fields::Fields(detail::SessionPtr session, std::int64_t addressEntryRowId)
    : m_session(std::move(session)), m_entry(addressEntryRowId)
{
}

Field Fields::Item(std::uint32_t propTag) const
{
    return detail::guarded(m_session, "Fields.Item", [&] {
        if (m_message)
            return Field(m_session, m_message, propTag);
        return Field(m_session, m_entry, propTag);
    });
}

std::vector<std::uint32_t> Fields::Tags() const
{
    return detail::guarded(m_session, "Fields.Tags", [&] {
        std::vector<std::uint32_t> tags;
        if (m_message) {
            detail::ensureFields(*m_session, *m_message);
            std::map<std::uint32_t, bool> all;
            for (const auto &entry : m_message->fields)
                all[entry.first] = true;
            for (const auto &entry : m_message->pendingFields)
                all[entry.first] = true;
            for (const std::uint32_t tag : m_message->deletedFields)
                all.erase(tag);
            for (const auto &entry : all)
                tags.push_back(entry.first);
        } else {
            tags = m_session->store().entryFieldTags(m_entry);
        }
        return tags;
    });
}

Field::Field(detail::SessionPtr session, std::shared_ptr<detail::MessageState> message, std::uint32_t tag)
    : m_session(std::move(session)), m_message(std::move(message)), m_tag(tag)
{
}

Field::Field(detail::SessionPtr session, std::int64_t addressEntryRowId, std::uint32_t tag)
    : m_session(std::move(session)), m_entry(addressEntryRowId), m_tag(tag)
{
}

namespace {

std::string tagText(std::uint32_t tag)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", tag);
    return buf;
}

std::optional<PropValue> fieldValue(detail::SessionState &s, const std::shared_ptr<detail::MessageState> &m,
                                    std::int64_t entry, std::uint32_t tag)
{
    if (m) {
        if (auto it = m->pendingFields.find(tag); it != m->pendingFields.end())
            return it->second;
        if (m->deletedFields.count(tag))
            return std::nullopt;
        detail::ensureFields(s, *m);
        if (auto it = m->fields.find(tag); it != m->fields.end())
            return it->second;
        return std::nullopt;
    }
    return s.store().entryField(entry, tag);
}

} // namespace

PropValue Field::Value() const
{
    return detail::guarded(m_session, "Field.Value", [&] {
        auto value = fieldValue(*m_session, m_message, m_entry, m_tag);
        if (!value) {
            std::string where = m_message ? detail::messageLabel(*m_session, *m_message)
                                          : "address entry \"" +
                                                detail::makeId(m_session->guid, detail::IdKind::AddressEntry, m_entry) +
                                                "\"";
            throw Error(ErrorCode::NotFound, "Property " + tagText(m_tag) + " not found on " + where);
        }
        return *value;
    });
}

bool Field::Exists() const
{
    return detail::guarded(m_session, "Field.Exists",
                           [&] { return fieldValue(*m_session, m_message, m_entry, m_tag).has_value(); });
}

void Field::SetValue(PropValue value)
{
    detail::guarded(m_session, "Field.SetValue", [&] {
        if (m_message) {
            m_message->deletedFields.erase(m_tag);
            m_message->pendingFields[m_tag] = std::move(value);
            return;
        }
        if (!m_session->store().addressEntry(m_entry))
            throw Error(ErrorCode::NotFound, "Address entry not found (it was removed)");
        m_session->write([&] { m_session->store().setEntryField(m_entry, m_tag, value); }, false);
    });
}

void Field::Delete()
{
    detail::guarded(m_session, "Field.Delete", [&] {
        if (!m_message)
            throw Error(ErrorCode::InvalidArgument, "Fields of an address entry cannot be removed");
        m_message->pendingFields.erase(m_tag);
        m_message->deletedFields.insert(m_tag);
    });
}

} // namespace messaging
