// The PostgreSQL engine: folders, messages and their fields, event bindings.
#include "store/PgEngine.h"

// Each text is prepared on the server at its first use on the connection.
#include "store/Items.h"

namespace store {


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
    return items::folder(*m_db, folder);
}

std::optional<Id> PgEngine::rootFolder(Id store)
{
    if (holdsWriterLock()) {
        if (auto it = m_roots.find(store); it != m_roots.end())
            return it->second;
    }
    return items::rootFolder(*m_db, store);
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
    return items::subfolders(*m_db, parent);
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
    return items::subfolder(*m_db, parent, name);
}

Id PgEngine::addFolder(Id store, Id parent, std::string_view name)
{
    forgetDirectory();
    const Id id = items::addFolder(*m_db, store, parent, name);
    markWritten();
    return id;
}

// ---- messages

std::optional<MessageRow> PgEngine::readMessage(Id message)
{
    return items::message(*m_db, message);
}

Fields PgEngine::readMessageFields(Id message)
{
    return items::messageFields(*m_db, message);
}

std::vector<Id> PgEngine::readFolderMessages(Id folder)
{
    return items::folderMessages(*m_db, folder);
}

std::vector<Id> PgEngine::readFolderMessagesBySubject(Id folder, std::string_view prefix)
{
    return items::folderMessagesBySubject(*m_db, folder, prefix);
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
            items::bindUpdate(q, columns, row, message);
            if (q.step()) {
                place = std::pair{q.int64(0), q.int64(1) != 0};
                q.run();
            }
        } else if (const auto known = readMessagePlace(message)) {
            place = std::pair{known->folder, known->hidden};
        }
        if (place)
            items::writeFields(*m_db, message, fields, removed);
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
    return items::messagePlace(*m_db, message);
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
    return items::boundFolder(*m_db, folder);
}

void PgEngine::saveBoundFolder(Id folder)
{
    m_db->query(sql::SaveBoundFolder).bind(1, folder).run();
    markWritten();
}

std::vector<Id> PgEngine::folderBindings(Id folder)
{
    return items::folderBindings(*m_db, folder);
}

std::optional<BindingRow> PgEngine::binding(Id message)
{
    return items::binding(*m_db, message);
}

Id PgEngine::addBinding(Id folder, const BindingRow &row)
{
    const Id id = nextMessageId();
    savepoint();
    try {
        items::addBinding(*m_db, id, folder, row);
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
    if (!items::updateBinding(*m_db, message, row))
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

bool PgEngine::setHandlerDataSaved(Id folder, Id message)
{
    if (!items::setHandlerDataSaved(*m_db, message))
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

} // namespace store
