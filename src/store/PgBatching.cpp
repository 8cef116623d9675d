// The PostgreSQL engine's batching: the per-item loops of the calendar actions read and
// write one message after another, and over a network each statement would cost a round
// trip. While a transaction holds the writer lock nothing but its own writes changes the
// store, so:
//   - reading a message of the folder walked last reads the messages around it too, with
//     their fields, in two statements (ReadAhead on either side: the actions walk
//     forwards and backwards); asking only where one is (a deletion by position) reads
//     where the messages around it are, PlaceReadAhead on either side, in one;
//   - an update of columns only, or a deletion, of a message read that way waits for the
//     next flush without a round trip of its own: its outcome is known (the message
//     exists, and where); new messages and their fields always do (PgItems.cpp). At the
//     flush each kind goes out as one statement over arrays, in the pipeline.
// Whatever else comes next flushes first; the commit does too.
#include "store/Items.h"
#include "store/PgEngine.h"
#include "store/Schema.h"
#include "store/Sql.h"
#include "store/TextList.h"

#include <algorithm>
#include <charconv>

namespace store {

namespace {

constexpr std::size_t ReadAhead = 512;
constexpr std::size_t PlaceReadAhead = 512;

// Rows of the messages read ahead, by a list of ids or, when the ids lie close together
// (a folder's messages made one after another), by their range: the server then walks
// its index once instead of looking each id up. A range brings the other messages in it
// along, which the reader passes over.
const char *const MessageColumns = "SELECT id, folder_id, hidden, subject, body, sensitivity, categories, all_day, "
                                   "location, start, \"end\", stamp, changed_at FROM messages WHERE ";
const char *const PlaceColumns = "SELECT id, folder_id, hidden FROM messages WHERE ";
const char *const FieldColumns = "SELECT message_id, tag, type, value FROM message_fields WHERE ";

// At most this many ids of the range for each one wanted.
constexpr Id RangeSpread = 2;

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

// A read of the `wanted` messages (ascending ids) with the statement `columns` begins:
// `idColumn` is its id column. Returns true when it reads a range (so rows of other
// messages may come back).
bool bindAmong(PgDatabase &db, std::optional<PgQuery> &q, const char *columns, const char *idColumn,
               const std::vector<Id> &wanted)
{
    const Id low = wanted.front(), high = wanted.back();
    if (high - low < RangeSpread * static_cast<Id>(wanted.size())) {
        q.emplace(db.query(std::string(columns) + idColumn + " BETWEEN ? AND ?"));
        q->bind(1, low).bind(2, high);
        return true;
    }
    q.emplace(db.query(std::string(columns) + idColumn + " = ANY(?::bigint[])"));
    q->bind(1, idArray(wanted));
    return false;
}

} // namespace

namespace {

// A PostgreSQL array literal of texts, numbers and NULLs.
class ArrayText {
public:
    void add(const std::optional<std::string> &text)
    {
        comma();
        if (!text) {
            m_text += "NULL";
            return;
        }
        m_text += '"';
        for (char c : *text) {
            if (c == '"' || c == '\\')
                m_text += '\\';
            m_text += c;
        }
        m_text += '"';
    }
    void add(std::int64_t value)
    {
        comma();
        m_text += std::to_string(value);
    }
    void add(const std::optional<double> &value)
    {
        comma();
        if (!value) {
            m_text += "NULL";
            return;
        }
        char buffer[64];
        m_text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, *value).ptr);
    }
    std::string done() const { return m_text + "}"; }

private:
    void comma()
    {
        if (m_text.size() > 1)
            m_text += ',';
    }
    std::string m_text = "{";
};

std::optional<std::string> categoriesText(const std::optional<std::vector<std::string>> &categories)
{
    return categories ? std::optional<std::string>(encodeTextList(*categories)) : std::nullopt;
}

// The column of MessageRow bit `bit` as text, its SQL name and array type.
struct ColumnInfo {
    const char *name;
    const char *type;
};
constexpr ColumnInfo Columns[ColumnCount] = {
    {"subject", "text"}, {"body", "text"},     {"sensitivity", "integer"}, {"categories", "text"}, {"all_day", "integer"},
    {"location", "text"}, {"start", "float8"}, {"\"end\"", "float8"},    {"stamp", "text"}};

void addColumn(ArrayText &array, unsigned bit, const MessageRow &row)
{
    switch (bit) {
    case 0: array.add(std::optional<std::string>(row.subject)); break;
    case 1: array.add(std::optional<std::string>(row.body)); break;
    case 2: array.add(std::int64_t(row.sensitivity)); break;
    case 3: array.add(categoriesText(row.categories)); break;
    case 4: array.add(std::int64_t(row.allDay)); break;
    case 5: array.add(row.location); break;
    case 6: array.add(row.start); break;
    case 7: array.add(row.end); break;
    default: array.add(row.stamp); break;
    }
}

} // namespace

void PgEngine::queueAdd(Id id, const MessageRow &row)
{
    m_db->checkWrite();
    for (const std::optional<std::string> &text : {std::optional<std::string>(row.subject),
                                                   std::optional<std::string>(row.body), row.location, row.stamp})
        if (text)
            m_db->checkText(*text);
    if (row.categories)
        m_db->checkText(encodeTextList(*row.categories));
    m_pendingAdds.emplace_back(id, row);
    ++m_pendingItems;
}

void PgEngine::queueField(Id id, std::uint32_t tag, const Value &value)
{
    m_db->checkWrite();
    if (const auto *text = std::get_if<std::string>(&value))
        m_db->checkText(*text);
    m_pendingFields.emplace_back(id, tag, value);
}

void PgEngine::sendPending()
{
    m_pendingItems = 0;
    if (!m_pendingAdds.empty()) {
        ArrayText columns[ColumnCount + 4];
        for (const auto &[id, row] : m_pendingAdds) {
            columns[0].add(id);
            columns[1].add(row.folder);
            columns[2].add(std::int64_t(row.hidden ? 1 : 0));
            columns[3].add(row.changedAt);
            for (unsigned bit = 0; bit < ColumnCount; ++bit)
                addColumn(columns[4 + bit], bit, row);
        }
        m_pendingAdds.clear();
        std::string names = "id, folder_id, hidden, changed_at", arrays = "?1::bigint[], ?2::bigint[], ?3::integer[], ?4::bigint[]";
        for (unsigned bit = 0; bit < ColumnCount; ++bit) {
            names += std::string(", ") + Columns[bit].name;
            arrays += ", ?" + std::to_string(bit + 5) + "::" + Columns[bit].type + "[]";
        }
        auto q = m_db->query("INSERT INTO messages(" + names + ") SELECT * FROM unnest(" + arrays + ")");
        for (int i = 0; i < static_cast<int>(ColumnCount) + 4; ++i)
            q.bind(i + 1, columns[i].done());
        q.defer();
    }
    if (!m_pendingFields.empty()) {
        ArrayText ids, tags, types, values;
        for (const auto &[id, tag, value] : m_pendingFields) {
            ids.add(id);
            tags.add(std::int64_t(tag));
            if (const auto *s = std::get_if<std::string>(&value)) {
                types.add(std::int64_t(FieldText));
                values.add(std::optional<std::string>(*s));
            } else if (const auto *i = std::get_if<std::int64_t>(&value)) {
                types.add(std::int64_t(FieldInteger));
                values.add(std::optional<std::string>(std::to_string(*i)));
            } else if (const auto *d = std::get_if<double>(&value)) {
                char buffer[64];
                types.add(std::int64_t(FieldReal));
                values.add(std::optional<std::string>(std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, *d).ptr)));
            } else {
                types.add(std::int64_t(FieldBool));
                values.add(std::optional<std::string>(std::get<bool>(value) ? "1" : "0"));
            }
        }
        m_pendingFields.clear();
        m_db->query("INSERT INTO message_fields(message_id, tag, type, value) "
                    "SELECT * FROM unnest(?1::bigint[], ?2::bigint[], ?3::integer[], ?4::text[])")
            .bind(1, ids.done()).bind(2, tags.done()).bind(3, types.done()).bind(4, values.done())
            .defer();
    }
    for (const auto &[columns, updates] : m_pendingUpdates) {
        ArrayText ids, times, values[ColumnCount];
        for (const auto &[id, row] : updates) {
            ids.add(id);
            times.add(row.changedAt);
            for (unsigned bit = 0; bit < ColumnCount; ++bit)
                if (columns & (1u << bit))
                    addColumn(values[bit], bit, row);
        }
        std::string set = "changed_at = u.changed_at", arrays = "?1::bigint[], ?2::bigint[]", names = "id, changed_at";
        int param = 2;
        std::vector<std::string> bound{ids.done(), times.done()};
        for (unsigned bit = 0; bit < ColumnCount; ++bit) {
            if (!(columns & (1u << bit)))
                continue;
            const std::string alias = "c" + std::to_string(bit);
            set += std::string(", ") + Columns[bit].name + " = u." + alias;
            arrays += ", ?" + std::to_string(++param) + "::" + Columns[bit].type + "[]";
            names += ", " + alias;
            bound.push_back(values[bit].done());
        }
        auto q = m_db->query("UPDATE messages m SET " + set + " FROM unnest(" + arrays + ") AS u(" + names +
                             ") WHERE m.id = u.id");
        for (std::size_t i = 0; i < bound.size(); ++i)
            q.bind(static_cast<int>(i + 1), bound[i]);
        q.defer();
    }
    m_pendingUpdates.clear();
    if (!m_pendingDeletes.empty()) {
        // Ids close together (a folder emptied) are found by one walk of the index over
        // their range rather than one lookup each.
        const auto [low, high] = std::minmax_element(m_pendingDeletes.begin(), m_pendingDeletes.end());
        const bool close = *high - *low < RangeSpread * static_cast<Id>(m_pendingDeletes.size());
        const Id from = *low, to = *high;
        const std::string ids = idArray(m_pendingDeletes);
        m_pendingDeletes.clear();
        if (close)
            m_db->query("DELETE FROM messages WHERE id BETWEEN ? AND ? AND id = ANY(?::bigint[])")
                .bind(1, from).bind(2, to).bind(3, ids).defer();
        else
            m_db->query("DELETE FROM messages WHERE id = ANY(?::bigint[])").bind(1, ids).defer();
    }
}

void PgEngine::rememberWalk(const std::vector<Id> &ids, Id folder, std::int64_t seen)
{
    m_walk = ids;
    m_walkAt.clear();
    for (std::size_t i = 0; i < ids.size(); ++i)
        m_walkAt.emplace(ids[i], i);
    if (seen < 0)
        return;
    if (!holdsWriterLock() && (seen != m_knownRevision || !m_readAheadKept)) {
        forgetReadAhead();
        m_knownRevision = seen;
        m_readAheadKept = true;
    }
    // A walk holds the folder's visible members: where each is needs no read of its own.
    // Under the writer lock the read-ahead may know better (this transaction's writes).
    for (Id id : ids)
        if (!m_rows.count(id))
            m_places.try_emplace(id, MessagePlace{folder, false});
}

std::int64_t PgEngine::revisionForWalk()
{
    if (holdsWriterLock())
        return m_knownRevision;
    // Outside the lock the revision is read before the walk: a commit in between leaves
    // the walk newer than the revision, which the next transaction then finds changed.
    // A read snapshot's walk is of its own time and is not kept.
    return m_reading ? -1 : storeRevision();
}

std::vector<Id> PgEngine::folderMessages(Id folder)
{
    const std::int64_t seen = revisionForWalk();
    std::vector<Id> ids = readFolderMessages(folder);
    rememberWalk(ids, folder, seen);
    return ids;
}

std::vector<Id> PgEngine::folderMessagesBySubject(Id folder, std::string_view prefix)
{
    const std::int64_t seen = revisionForWalk();
    std::vector<Id> ids = readFolderMessagesBySubject(folder, prefix);
    rememberWalk(ids, folder, seen);
    return ids;
}

void PgEngine::readAhead(std::size_t at)
{
    const std::size_t from = at >= ReadAhead ? at - ReadAhead : 0;
    const std::size_t to = std::min(m_walk.size(), at + ReadAhead + 1);
    // Messages this transaction changed already are read again only when asked for.
    std::vector<Id> wanted;
    for (std::size_t i = from; i < to; ++i) {
        const Id id = m_walk[i];
        if (!m_rows.count(id) && (i == at || !m_changed.count(id)))
            wanted.push_back(id);
    }
    if (wanted.empty())
        return;
    std::sort(wanted.begin(), wanted.end());
    std::optional<PgQuery> rows, fields;
    const bool range = bindAmong(*m_db, rows, MessageColumns, "id", wanted);
    bindAmong(*m_db, fields, FieldColumns, "message_id", wanted);
    // The writes waiting for the flush, the rows and their fields: one round trip.
    m_db->flushWith({&*rows, &*fields});
    auto isWanted = [&](Id id) { return !range || std::binary_search(wanted.begin(), wanted.end(), id); };
    for (Id id : wanted)
        m_rows[id] = std::nullopt;
    while (rows->step()) {
        const Id id = rows->int64(0);
        if (!isWanted(id))
            continue;
        m_rows[id] = items::messageRow(*rows, 1);
        m_fields[id];
    }
    while (fields->step()) {
        if (isWanted(fields->int64(0)))
            m_fields[fields->int64(0)][static_cast<std::uint32_t>(fields->int64(1))] = readValue(*fields, 2, 3);
    }
}

void PgEngine::readPlacesAhead(std::size_t at)
{
    const std::size_t from = at >= PlaceReadAhead ? at - PlaceReadAhead : 0;
    const std::size_t to = std::min(m_walk.size(), at + PlaceReadAhead + 1);
    std::vector<Id> wanted;
    for (std::size_t i = from; i < to; ++i) {
        if (!m_rows.count(m_walk[i]) && !m_places.count(m_walk[i]))
            wanted.push_back(m_walk[i]);
    }
    if (wanted.empty())
        return;
    std::sort(wanted.begin(), wanted.end());
    std::optional<PgQuery> q;
    const bool range = bindAmong(*m_db, q, PlaceColumns, "id", wanted);
    m_db->flushWith({&*q});
    for (Id id : wanted)
        m_places[id] = std::nullopt;
    while (q->step()) {
        const Id id = q->int64(0);
        if (!range || std::binary_search(wanted.begin(), wanted.end(), id))
            m_places[id] = MessagePlace{q->int64(1), q->int64(2) != 0};
    }
}

std::optional<MessagePlace> PgEngine::messagePlace(Id message)
{
    if (holdsWriterLock()) {
        if (auto row = m_rows.find(message); row != m_rows.end()) {
            if (!row->second)
                return std::nullopt;
            return MessagePlace{row->second->folder, row->second->hidden};
        }
        auto it = m_places.find(message);
        if (it == m_places.end()) {
            if (auto at = m_walkAt.find(message); at != m_walkAt.end()) {
                readPlacesAhead(at->second);
                it = m_places.find(message);
            }
        }
        if (it != m_places.end())
            return it->second;
    }
    return readMessagePlace(message);
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
    m_places.erase(message);
}

std::optional<MessageRow> PgEngine::message(Id message)
{
    if (holdsWriterLock()) {
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
    if (holdsWriterLock()) {
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

bool PgEngine::deleteMessage(Id message, std::optional<MessagePlace>)
{
    if (holdsWriterLock()) {
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
        if (auto it = m_places.find(message); it != m_places.end()) {
            if (!it->second)
                return false;
            const MessagePlace place = *it->second;
            m_db->checkWrite();
            m_pendingDeletes.push_back(message);
            markWritten();
            log(place.folder, message, place.hidden ? ChangeKind::BindingRemoved : ChangeKind::Deleted);
            it->second = std::nullopt;
            m_fields.erase(message);
            return true;
        }
    }
    const bool deleted = deleteMessageNow(message);
    forgetCached(message);
    return deleted;
}

bool PgEngine::updateMessage(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                             const FieldTags &removed)
{
    const MessageRow *cached = holdsWriterLock() ? cachedRow(message) : nullptr;
    if (!cached || columns == 0 || !fields.empty() || !removed.empty()) {
        if (!cached && holdsWriterLock() && m_rows.count(message))
            return false; // read ahead as gone
        const bool updated = updateMessageNow(message, columns, row, fields, removed);
        forgetCached(message);
        return updated;
    }
    sendIfMany();
    m_db->checkWrite();
    // The texts the server will be sent later are checked now, as a bound text is.
    if ((columns & ColSubject))
        m_db->checkText(row.subject);
    if ((columns & ColBody))
        m_db->checkText(row.body);
    if ((columns & ColLocation) && row.location)
        m_db->checkText(*row.location);
    if ((columns & ColStamp) && row.stamp)
        m_db->checkText(*row.stamp);
    if ((columns & ColCategories) && row.categories)
        m_db->checkText(encodeTextList(*row.categories));
    m_pendingUpdates[columns & ((1u << ColumnCount) - 1)].emplace_back(message, row);
    ++m_pendingItems;
    markWritten();
    log(cached->folder, message, cached->hidden ? ChangeKind::BindingChanged : ChangeKind::Changed);
    // Its row is stale now, its place is not.
    m_places[message] = MessagePlace{cached->folder, cached->hidden};
    m_changed.insert(message);
    m_rows.erase(message);
    return true;
}

} // namespace store
