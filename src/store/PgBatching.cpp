// The PostgreSQL engine's batching: the per-item loops of the calendar actions read and
// write one message after another, and over a network each statement would cost a round
// trip. While a transaction holds the writer lock nothing but its own writes changes the
// store, so:
//   - reading a message of the folder walked last reads the messages around it too, with
//     their fields, in two statements (ReadAhead on either side: the actions walk
//     forwards and backwards);
//   - an update of columns only, or a deletion, of a message read that way is sent in the
//     pipeline without waiting: its outcome is known (the message exists, and where);
//     new messages are always sent so (PgItems.cpp).
// Whatever else comes next collects the pipeline first; the commit does too.
#include "store/PgEngine.h"
#include "store/Sql.h"
#include "store/TextList.h"

#include <algorithm>

namespace store {

namespace {

constexpr std::size_t ReadAhead = 64;

const char *const MessagesAmong =
    "SELECT id, folder_id, hidden, subject, body, sensitivity, categories, all_day, location, start, \"end\", stamp, "
    "changed_at FROM messages WHERE id = ANY(?::bigint[])";
const char *const FieldsAmong = "SELECT message_id, tag, type, value FROM message_fields WHERE message_id = ANY(?::bigint[])";

std::string idArray(const std::vector<Id> &ids)
{
    std::string out = "{";
    for (Id id : ids) {
        if (out.size() > 1)
            out += ',';
        out += std::to_string(id);
    }
    return out + "}";
}

} // namespace

void PgEngine::sendPendingDeletes()
{
    if (m_pendingDeletes.empty())
        return;
    const std::string ids = idArray(m_pendingDeletes);
    m_pendingDeletes.clear();
    m_db->query("DELETE FROM messages WHERE id = ANY(?::bigint[])").bind(1, ids).defer();
}

void PgEngine::rememberWalk(const std::vector<Id> &ids)
{
    m_walk = ids;
    m_walkAt.clear();
    for (std::size_t i = 0; i < ids.size(); ++i)
        m_walkAt.emplace(ids[i], i);
}

std::vector<Id> PgEngine::folderMessages(Id folder)
{
    std::vector<Id> ids = readFolderMessages(folder);
    rememberWalk(ids);
    return ids;
}

std::vector<Id> PgEngine::folderMessagesBySubject(Id folder, std::string_view prefix)
{
    std::vector<Id> ids = readFolderMessagesBySubject(folder, prefix);
    rememberWalk(ids);
    return ids;
}

void PgEngine::readAhead(std::size_t at)
{
    const std::size_t from = at >= ReadAhead ? at - ReadAhead : 0;
    const std::size_t to = std::min(m_walk.size(), at + ReadAhead + 1);
    std::vector<Id> wanted;
    for (std::size_t i = from; i < to; ++i) {
        if (!m_rows.count(m_walk[i]))
            wanted.push_back(m_walk[i]);
    }
    if (wanted.empty())
        return;
    const std::string array = idArray(wanted);
    for (Id id : wanted)
        m_rows[id] = std::nullopt;
    {
        auto q = m_db->query(MessagesAmong);
        q.bind(1, array);
        while (q.step()) {
            MessageRow r;
            r.folder = q.int64(1);
            r.hidden = q.int64(2) != 0;
            r.subject = q.text(3);
            r.body = q.text(4);
            r.sensitivity = static_cast<std::int32_t>(q.int64(5));
            if (!q.isNull(6))
                r.categories = decodeTextList(q.text(6));
            r.allDay = static_cast<std::int32_t>(q.int64(7));
            r.location = q.optText(8);
            r.start = q.optReal(9);
            r.end = q.optReal(10);
            r.stamp = q.optText(11);
            r.changedAt = q.int64(12);
            const Id id = q.int64(0);
            m_rows[id] = std::move(r);
            m_fields[id];
        }
    }
    auto q = m_db->query(FieldsAmong);
    q.bind(1, array);
    while (q.step())
        m_fields[q.int64(0)][static_cast<std::uint32_t>(q.int64(1))] = readValue(q, 2, 3);
}

const MessageRow *PgEngine::cachedRow(Id message)
{
    auto it = m_rows.find(message);
    return it != m_rows.end() && it->second ? &*it->second : nullptr;
}

void PgEngine::forgetCached(Id message)
{
    m_rows.erase(message);
    m_fields.erase(message);
}

std::optional<MessageRow> PgEngine::message(Id message)
{
    if (m_db->inTransaction()) {
        auto it = m_rows.find(message);
        if (it == m_rows.end()) {
            if (auto at = m_walkAt.find(message); at != m_walkAt.end()) {
                readAhead(at->second);
                it = m_rows.find(message);
            }
        }
        if (it != m_rows.end())
            return it->second;
    }
    return readMessage(message);
}

Fields PgEngine::messageFields(Id message)
{
    if (m_db->inTransaction()) {
        auto it = m_fields.find(message);
        if (it == m_fields.end() && !m_rows.count(message)) {
            if (auto at = m_walkAt.find(message); at != m_walkAt.end()) {
                readAhead(at->second);
                it = m_fields.find(message);
            }
        }
        if (it != m_fields.end())
            return it->second;
        if (auto row = m_rows.find(message); row != m_rows.end() && !row->second)
            return {};
    }
    return readMessageFields(message);
}

bool PgEngine::deleteMessage(Id message)
{
    if (m_db->inTransaction()) {
        if (const MessageRow *row = cachedRow(message)) {
            m_db->checkWrite();
            m_pendingDeletes.push_back(message);
            markWritten();
            log(row->folder, message, row->hidden ? ChangeKind::BindingRemoved : ChangeKind::Deleted);
            m_rows[message] = std::nullopt;
            m_fields.erase(message);
            return true;
        }
        if (m_rows.count(message))
            return false; // read ahead as gone
    }
    const bool deleted = deleteMessageNow(message);
    forgetCached(message);
    return deleted;
}

bool PgEngine::updateMessage(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                             const FieldTags &removed)
{
    const MessageRow *cached = m_db->inTransaction() ? cachedRow(message) : nullptr;
    if (!cached || columns == 0 || !fields.empty() || !removed.empty()) {
        if (!cached && m_db->inTransaction() && m_rows.count(message))
            return false; // read ahead as gone
        const bool updated = updateMessageNow(message, columns, row, fields, removed);
        forgetCached(message);
        return updated;
    }
    std::string &text = m_updateSql[columns & ((1u << ColumnCount) - 1)];
    if (text.empty())
        text = sql::updateMessage(columns);
    auto q = m_db->query(text);
    if (columns & ColSubject)
        q.bind(1, std::string_view(row.subject));
    if (columns & ColBody)
        q.bind(2, std::string_view(row.body));
    if (columns & ColSensitivity)
        q.bind(3, std::int64_t(row.sensitivity));
    if (columns & ColCategories) {
        if (row.categories)
            q.bind(4, encodeTextList(*row.categories));
        else
            q.bindNull(4);
    }
    if (columns & ColAllDay)
        q.bind(5, std::int64_t(row.allDay));
    if (columns & ColLocation)
        q.bind(6, row.location);
    if (columns & ColStart)
        q.bind(7, row.start);
    if (columns & ColEnd)
        q.bind(8, row.end);
    if (columns & ColStamp)
        q.bind(9, row.stamp);
    q.bind(10, message).bind(11, row.changedAt);
    q.defer();
    markWritten();
    log(cached->folder, message, cached->hidden ? ChangeKind::BindingChanged : ChangeKind::Changed);
    m_rows.erase(message);
    return true;
}

} // namespace store
