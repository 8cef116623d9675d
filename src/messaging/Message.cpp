#include "Message.h"

#include "Detail.h"
#include "PropTags.h"

#include <ctime>

namespace messaging {

namespace detail {

bool loadRow(SessionState &s, MessageState &m)
{
    auto q = s.database().query("SELECT folder_id, hidden, subject, body, sensitivity, categories, all_day, "
                                "location, start, end, stamp, changed_at FROM messages WHERE id = ?");
    q.bind(1, m.id);
    if (!q.step())
        return false;
    MessageRow &r = m.row;
    r.folder = q.int64(0);
    r.hidden = q.int64(1) != 0;
    r.subject = q.text(2);
    r.body = q.text(3);
    r.sensitivity = static_cast<std::int32_t>(q.int64(4));
    if (q.isNull(5))
        r.categories.reset();
    else
        r.categories = decodeList(q.text(5));
    r.allDay = static_cast<std::int32_t>(q.int64(6));
    r.location = q.optText(7);
    r.start = q.optReal(8);
    r.end = q.optReal(9);
    r.stamp = q.optText(10);
    r.changedAt = q.int64(11);
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
    m.fields.clear();
    auto q = s.database().query("SELECT tag, type, value FROM message_fields WHERE message_id = ?");
    q.bind(1, m.id);
    while (q.step())
        m.fields[static_cast<std::uint32_t>(q.int64(0))] = readValue(q, 1, 2);
    m.fieldsLoaded = true;
}

void saveMessage(SessionState &s, MessageState &m)
{
    store::Database &db = s.database();
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
        s.write(
            [&] {
                std::string categories = merged.categories ? encodeList(*merged.categories) : std::string();
                auto q = db.query("INSERT INTO messages(folder_id, hidden, subject, body, sensitivity, categories, "
                                  "all_day, location, start, end, stamp, changed_at) "
                                  "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
                q.bind(1, merged.folder).bind(2, std::int64_t(merged.hidden ? 1 : 0));
                q.bind(3, std::string_view(merged.subject)).bind(4, std::string_view(merged.body));
                q.bind(5, std::int64_t(merged.sensitivity));
                if (merged.categories)
                    q.bind(6, std::string_view(categories));
                else
                    q.bindNull(6);
                q.bind(7, std::int64_t(merged.allDay)).bind(8, merged.location).bind(9, merged.start);
                q.bind(10, merged.end).bind(11, merged.stamp).bind(12, merged.changedAt);
                q.run();
                newId = db.lastInsertRowid();
                // The fields follow in further statements. Rather than a savepoint around
                // the whole (which copies every page it touches a second time), a failure
                // takes the new message out again, its fields with it.
                try {
                    for (const auto &[tag, value] : fields) {
                        auto f = db.query("INSERT INTO message_fields(message_id, tag, type, value) VALUES(?, ?, ?, ?)");
                        f.bind(1, newId).bind(2, std::int64_t(tag));
                        bindValue(f, 3, 4, value);
                        f.run();
                    }
                } catch (...) {
                    try {
                        db.query("DELETE FROM messages WHERE id = ?").bind(1, newId).run();
                    } catch (...) {
                        // The half-saved message must not be committed with the batch.
                        s.abandonBatch();
                    }
                    throw;
                }
            },
            false);
        m.id = newId;
        m.fields = std::move(fields);
    } else {
        // The change time is updated with every change, fields included.
        const std::size_t statements = (changes ? 1 : 0) + m.pendingFields.size() + m.deletedFields.size();
        s.write(
            [&] {
                if (changes) {
                    std::string sql = "UPDATE messages SET ";
                    static const char *const names[] = {"subject", "body", "sensitivity", "categories", "all_day",
                                                        "location", "start", "end", "stamp"};
                    for (unsigned bit = 0; bit < 9; ++bit) {
                        if (m.dirty & (1u << bit))
                            sql += std::string(names[bit]) + " = ?" + std::to_string(bit + 1) + ", ";
                    }
                    sql += "changed_at = ?11 WHERE id = ?10";
                    auto q = db.query(sql);
                    std::string categories = merged.categories ? encodeList(*merged.categories) : std::string();
                    if (m.dirty & ColSubject)
                        q.bind(1, std::string_view(merged.subject));
                    if (m.dirty & ColBody)
                        q.bind(2, std::string_view(merged.body));
                    if (m.dirty & ColSensitivity)
                        q.bind(3, std::int64_t(merged.sensitivity));
                    if (m.dirty & ColCategories) {
                        if (merged.categories)
                            q.bind(4, std::string_view(categories));
                        else
                            q.bindNull(4);
                    }
                    if (m.dirty & ColAllDay)
                        q.bind(5, std::int64_t(merged.allDay));
                    if (m.dirty & ColLocation)
                        q.bind(6, merged.location);
                    if (m.dirty & ColStart)
                        q.bind(7, merged.start);
                    if (m.dirty & ColEnd)
                        q.bind(8, merged.end);
                    if (m.dirty & ColStamp)
                        q.bind(9, merged.stamp);
                    q.bind(10, m.id).bind(11, merged.changedAt);
                    q.run();
                    if (db.changes() == 0)
                        throw Error(ErrorCode::NotFound, "Message \"" + makeId(s.guid, IdKind::Message, m.id) +
                                                             "\" not found (it was deleted)");
                } else {
                    auto q = db.query("SELECT 1 FROM messages WHERE id = ?");
                    q.bind(1, m.id);
                    if (!q.step())
                        throw Error(ErrorCode::NotFound, "Message \"" + makeId(s.guid, IdKind::Message, m.id) +
                                                             "\" not found (it was deleted)");
                }
                for (const auto &[tag, value] : m.pendingFields) {
                    auto f = db.query(
                        "INSERT OR REPLACE INTO message_fields(message_id, tag, type, value) VALUES(?, ?, ?, ?)");
                    f.bind(1, m.id).bind(2, std::int64_t(tag));
                    bindValue(f, 3, 4, value);
                    f.run();
                }
                for (const std::uint32_t tag : m.deletedFields)
                    db.query("DELETE FROM message_fields WHERE message_id = ? AND tag = ?")
                        .bind(1, m.id)
                        .bind(2, std::int64_t(tag))
                        .run();
            },
            statements > 1);
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
        store::Database &db = m_session->database();
        m_session->write(
            [&] {
                db.query("DELETE FROM messages WHERE id = ?").bind(1, m_state->id).run();
                if (db.changes() == 0)
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
            auto q = m_session->database().query("SELECT tag FROM entry_fields WHERE entry_id = ? ORDER BY tag");
            q.bind(1, m_entry);
            while (q.step())
                tags.push_back(static_cast<std::uint32_t>(q.int64(0)));
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
    auto q = s.database().query("SELECT type, value FROM entry_fields WHERE entry_id = ? AND tag = ?");
    q.bind(1, entry).bind(2, std::int64_t(tag));
    if (!q.step())
        return std::nullopt;
    return detail::readValue(q, 0, 1);
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
        store::Database &db = m_session->database();
        {
            auto q = db.query("SELECT 1 FROM address_entries WHERE id = ?");
            q.bind(1, m_entry);
            if (!q.step())
                throw Error(ErrorCode::NotFound, "Address entry not found (it was removed)");
        }
        m_session->write(
            [&] {
                auto q = db.query("INSERT OR REPLACE INTO entry_fields(entry_id, tag, type, value) VALUES(?, ?, ?, ?)");
                q.bind(1, m_entry).bind(2, std::int64_t(m_tag));
                detail::bindValue(q, 3, 4, value);
                q.run();
            },
            false);
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
