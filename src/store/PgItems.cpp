// The PostgreSQL engine: folders, messages and their fields, event bindings.
#include "store/PgEngine.h"
#include "store/Schema.h"
#include "store/Sql.h"
#include "store/TextList.h"
#include "store/Values.h"


namespace store {

using values::bindCategories;
using values::ids;
using values::prefixEnd;

Value readValue(PgQuery &q, int typeColumn, int valueColumn)
{
    return values::read(q, typeColumn, valueColumn);
}

void bindValue(PgQuery &q, int typeIndex, int valueIndex, const Value &value)
{
    values::bind(q, typeIndex, valueIndex, value);
}

// ---- folders

std::optional<FolderRow> PgEngine::folder(Id folder)
{
    auto q = m_db->query(sql::Folder);
    q.bind(1, folder);
    if (!q.step())
        return std::nullopt;
    return FolderRow{q.int64(0), q.isNull(1) ? 0 : q.int64(1), q.text(2)};
}

std::optional<Id> PgEngine::rootFolder(Id store)
{
    if (holdsWriterLock()) {
        if (auto it = m_roots.find(store); it != m_roots.end())
            return it->second;
    }
    auto q = m_db->query(sql::RootFolder);
    q.bind(1, store);
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

std::vector<Id> PgEngine::subfolders(Id parent)
{
    if (holdsWriterLock()) {
        if (auto it = m_children.find(parent); it != m_children.end()) {
            std::vector<Id> out;
            for (const auto &[id, name] : it->second)
                out.push_back(id);
            return out;
        }
    }
    auto q = m_db->query(sql::Subfolders);
    q.bind(1, parent);
    return ids(q);
}

std::optional<Id> PgEngine::subfolder(Id parent, std::string_view name)
{
    if (holdsWriterLock()) {
        if (auto it = m_children.find(parent); it != m_children.end()) {
            for (const auto &[id, childName] : it->second) {
                if (childName == name)
                    return id;
            }
            return std::nullopt;
        }
    }
    auto q = m_db->query(sql::Subfolder);
    q.bind(1, parent).bind(2, name);
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

Id PgEngine::addFolder(Id store, Id parent, std::string_view name)
{
    forgetDirectory();
    auto q = m_db->query(sql::AddFolder);
    q.bind(1, store);
    if (parent)
        q.bind(2, parent);
    else
        q.bindNull(2);
    q.bind(3, name);
    q.step();
    const Id id = q.int64(0);
    q.run();
    markWritten();
    return id;
}

// ---- messages

std::optional<MessageRow> PgEngine::readMessage(Id message)
{
    auto q = m_db->query(sql::Message);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    MessageRow r;
    r.folder = q.int64(0);
    r.hidden = q.int64(1) != 0;
    r.subject = q.text(2);
    r.body = q.text(3);
    r.sensitivity = static_cast<std::int32_t>(q.int64(4));
    if (!q.isNull(5))
        r.categories = decodeTextList(q.text(5));
    r.allDay = static_cast<std::int32_t>(q.int64(6));
    r.location = q.optText(7);
    r.start = q.optReal(8);
    r.end = q.optReal(9);
    r.stamp = q.optText(10);
    r.changedAt = q.int64(11);
    return r;
}

Fields PgEngine::readMessageFields(Id message)
{
    Fields out;
    auto q = m_db->query(sql::MessageFields);
    q.bind(1, message);
    while (q.step())
        out[static_cast<std::uint32_t>(q.int64(0))] = readValue(q, 1, 2);
    return out;
}

std::vector<Id> PgEngine::readFolderMessages(Id folder)
{
    auto q = m_db->query(sql::FolderMessages);
    q.bind(1, folder);
    return ids(q);
}

std::vector<Id> PgEngine::readFolderMessagesBySubject(Id folder, std::string_view prefix)
{
    if (prefix.empty())
        return readFolderMessages(folder);
    if (auto upper = prefixEnd(std::string(prefix))) {
        auto q = m_db->query(sql::FolderMessagesInRange);
        q.bind(1, folder).bind(2, prefix).bind(3, *upper);
        return ids(q);
    }
    std::vector<Id> out;
    auto q = m_db->query(sql::FolderMessagesFrom);
    q.bind(1, folder).bind(2, prefix);
    while (q.step()) {
        if (q.text(1).starts_with(prefix))
            out.push_back(q.int64(0));
    }
    return out;
}

Id PgEngine::addMessage(const MessageRow &row, const Fields &fields)
{
    sendIfMany();
    const Id id = nextMessageId();
    queueAdd(id, row);
    // The fields follow in further statements; a failure takes the new message out
    // again, its fields with it. One the server reported has spoiled the transaction,
    // which the savepoint around it (or the end of the transaction) undoes.
    try {
        for (const auto &[tag, value] : fields) {
            queueField(id, tag, value);
        }
    } catch (...) {
        try {
            if (m_db->inTransaction() && !m_db->transactionFailed())
                m_db->query(sql::DeleteMessage).bind(1, id).run();
        } catch (...) {
            // The half-saved message must not be committed with the transaction.
            rollback();
        }
        throw;
    }
    markWritten();
    log(row.folder, id, row.hidden ? ChangeKind::BindingAdded : ChangeKind::Added);
    return id;
}

bool PgEngine::updateMessageNow(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                                 const FieldTags &removed)
{
    // Any change writes the change time; several statements need a savepoint, so that a
    // failure undoes all of them.
    const bool changes = columns != 0 || !fields.empty() || !removed.empty();
    const bool several = changes && fields.size() + removed.size() > 0;
    if (several)
        savepoint();
    std::optional<std::pair<Id, bool>> place;
    try {
        if (changes) {
            std::string &text = m_updateSql[columns & ((1u << ColumnCount) - 1)];
            if (text.empty())
                text = sql::updateMessage(columns) + " RETURNING folder_id, hidden";
            auto q = m_db->query(text);
            if (columns & ColSubject)
                q.bind(1, std::string_view(row.subject));
            if (columns & ColBody)
                q.bind(2, std::string_view(row.body));
            if (columns & ColSensitivity)
                q.bind(3, std::int64_t(row.sensitivity));
            if (columns & ColCategories)
                bindCategories(q, 4, row.categories);
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
            if (q.step()) {
                place = std::pair{q.int64(0), q.int64(1) != 0};
                q.run();
            }
        } else {
            auto q = m_db->query(sql::MessagePlace);
            q.bind(1, message);
            if (q.step())
                place = std::pair{q.int64(0), q.int64(1) != 0};
        }
        if (place) {
            for (const auto &[tag, value] : fields) {
                auto f = m_db->query(sql::SetMessageField);
                f.bind(1, message).bind(2, std::int64_t(tag));
                bindValue(f, 3, 4, value);
                f.run();
            }
            for (const std::uint32_t tag : removed)
                m_db->query(sql::RemoveMessageField).bind(1, message).bind(2, std::int64_t(tag)).run();
        }
        if (several)
            releaseSavepoint();
    } catch (...) {
        if (several)
            rollbackToSavepoint();
        throw;
    }
    if (!place)
        return false;
    if (changes) {
        markWritten();
        log(place->first, message, place->second ? ChangeKind::BindingChanged : ChangeKind::Changed);
    }
    return true;
}

std::optional<MessagePlace> PgEngine::readMessagePlace(Id message)
{
    auto q = m_db->query(sql::MessagePlace);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return MessagePlace{q.int64(0), q.int64(1) != 0};
}

bool PgEngine::deleteMessageNow(Id message)
{
    // The server hands back where the message was in the same round trip.
    auto q = m_db->query(std::string(sql::DeleteMessage) + " RETURNING folder_id, hidden");
    q.bind(1, message);
    if (!q.step())
        return false;
    const Id folder = q.int64(0);
    const bool hidden = q.int64(1) != 0;
    q.run();
    markWritten();
    log(folder, message, hidden ? ChangeKind::BindingRemoved : ChangeKind::Deleted);
    return true;
}

// ---- event bindings

bool PgEngine::boundFolder(Id folder)
{
    auto q = m_db->query(sql::BoundFolder);
    q.bind(1, folder);
    return q.step();
}

void PgEngine::saveBoundFolder(Id folder)
{
    m_db->query(sql::SaveBoundFolder).bind(1, folder).run();
    markWritten();
}

std::vector<Id> PgEngine::folderBindings(Id folder)
{
    auto q = m_db->query(sql::FolderBindings);
    q.bind(1, folder);
    return ids(q);
}

std::optional<BindingRow> PgEngine::binding(Id message)
{
    auto q = m_db->query(sql::Binding);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return BindingRow{q.text(0), q.int64(1) != 0, static_cast<std::int16_t>(q.int64(2)), q.text(3)};
}

Id PgEngine::addBinding(Id folder, const BindingRow &row)
{
    const Id id = nextMessageId();
    savepoint();
    try {
        m_db->query(sql::AddBindingMessage).bind(1, id).bind(2, folder).bind(3, std::string_view(row.name)).run();
        m_db->query(sql::AddBinding)
            .bind(1, id)
            .bind(2, std::string_view(row.name))
            .bind(3, std::int64_t(row.active ? 1 : 0))
            .bind(4, std::int64_t(row.eventMask))
            .bind(5, std::string_view(row.handlerClass))
            .run();
        releaseSavepoint();
    } catch (...) {
        rollbackToSavepoint();
        throw;
    }
    markWritten();
    log(folder, id, ChangeKind::BindingAdded);
    return id;
}

bool PgEngine::updateBinding(Id folder, Id message, const BindingRow &row)
{
    auto q = m_db->query(sql::UpdateBinding);
    q.bind(1, std::string_view(row.name))
        .bind(2, std::int64_t(row.active ? 1 : 0))
        .bind(3, std::int64_t(row.eventMask))
        .bind(4, std::string_view(row.handlerClass))
        .bind(5, message)
        .run();
    if (q.changes() == 0)
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

bool PgEngine::setHandlerDataSaved(Id folder, Id message)
{
    auto q = m_db->query(sql::SetHandlerDataSaved);
    q.bind(1, message).run();
    if (q.changes() == 0)
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

} // namespace store
