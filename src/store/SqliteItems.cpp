// The SQLite engine: folders, messages and their fields, event bindings.
#include "store/SqliteEngine.h"

// The statements are prepared once per connection and kept (Database::statement).
#include "store/Items.h"

#include <sqlite3.h>

namespace store {

using values::bindCategories;


Value readValue(Query &q, int typeColumn, int valueColumn)
{
    return values::read(q, typeColumn, valueColumn);
}

void bindValue(Query &q, int typeIndex, int valueIndex, const Value &value)
{
    values::bind(q, typeIndex, valueIndex, value);
}

// ---- folders

std::optional<FolderRow> SqliteEngine::folder(Id folder)
{
    return items::folder(*m_db, folder);
}

std::optional<Id> SqliteEngine::rootFolder(Id store)
{
    return items::rootFolder(*m_db, store);
}

std::vector<Id> SqliteEngine::subfolders(Id parent)
{
    return items::subfolders(*m_db, parent);
}

std::optional<Id> SqliteEngine::subfolder(Id parent, std::string_view name)
{
    return items::subfolder(*m_db, parent, name);
}

Id SqliteEngine::addFolder(Id store, Id parent, std::string_view name)
{
    const Id id = items::addFolder(*m_db, store, parent, name);
    markWritten();
    return id;
}

// ---- messages

std::optional<MessageRow> SqliteEngine::message(Id message)
{
    return items::message(*m_db, message);
}

std::optional<MessagePlace> SqliteEngine::messagePlace(Id message)
{
    return items::messagePlace(*m_db, message);
}

Fields SqliteEngine::messageFields(Id message)
{
    return items::messageFields(*m_db, message);
}

std::vector<Id> SqliteEngine::folderMessages(Id folder)
{
    return items::folderMessages(*m_db, folder);
}

std::vector<Id> SqliteEngine::folderMessagesBySubject(Id folder, std::string_view prefix)
{
    return items::folderMessagesBySubject(*m_db, folder, prefix);
}

Id SqliteEngine::addMessage(const MessageRow &row, const Fields &fields)
{
    const Id id = nextMessageId();
    {
        auto q = m_db->statement(sql::AddMessage);
        q.bind(1, id).bind(2, row.folder).bind(3, std::int64_t(row.hidden ? 1 : 0));
        q.bindView(4, row.subject).bindView(5, row.body);
        q.bind(6, std::int64_t(row.sensitivity));
        bindCategories(q, 7, row.categories);
        q.bind(8, std::int64_t(row.allDay)).bindView(9, row.location).bind(10, row.start);
        q.bind(11, row.end).bindView(12, row.stamp).bind(13, row.changedAt);
        q.run();
    }
    // The fields follow in further statements. Rather than a savepoint around the whole
    // (which copies every page it touches a second time), a failure takes the new
    // message out again, its fields with it.
    try {
        for (const auto &[tag, value] : fields) {
            auto f = m_db->statement(sql::AddMessageField);
            f.bind(1, id).bind(2, std::int64_t(tag));
            bindValue(f, 3, 4, value);
            f.run();
        }
    } catch (...) {
        try {
            m_db->statement(sql::DeleteMessage).bind(1, id).run();
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

bool SqliteEngine::updateMessage(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                                 const FieldTags &removed)
{
    // Any change writes the change time; several statements need a savepoint, so that a
    // failure undoes all of them.
    const bool changes = columns != 0 || !fields.empty() || !removed.empty();
    const bool several = changes && fields.size() + removed.size() > 0;
    if (several)
        savepoint();
    bool found = false;
    try {
        if (changes) {
            std::string &text = m_updateSql[columns & ((1u << ColumnCount) - 1)];
            if (text.empty())
                text = sql::updateMessage(columns);
            auto q = m_db->statement(text.c_str()); // made once, kept unchanged with the engine
            items::bindUpdate(q, columns, row, message);
            q.run();
            found = m_db->changes() > 0;
        } else {
            found = messagePlace(message).has_value();
        }
        if (found)
            items::writeFields(*m_db, message, fields, removed);
        if (several)
            releaseSavepoint();
    } catch (...) {
        if (several)
            rollbackToSavepoint();
        throw;
    }
    if (!found)
        return false;
    if (changes) {
        markWritten();
        log(row.folder, message, row.hidden ? ChangeKind::BindingChanged : ChangeKind::Changed);
    }
    return true;
}

bool SqliteEngine::deleteMessage(Id message, std::optional<MessagePlace> known)
{
    // Where it was, for the log: read first unless known, since a RETURNING clause makes
    // SQLite build a temporary table at every run of the statement.
    const auto place = known ? known : messagePlace(message);
    if (!place)
        return false;
    m_db->statement(sql::DeleteMessage).bind(1, message).run();
    if (m_db->changes() == 0)
        return false;
    markWritten();
    log(place->folder, message, place->hidden ? ChangeKind::BindingRemoved : ChangeKind::Deleted);
    return true;
}

// ---- event bindings


bool SqliteEngine::boundFolder(Id folder)
{
    return items::boundFolder(*m_db, folder);
}

void SqliteEngine::saveBoundFolder(Id folder)
{
    m_db->statement(sql::SaveBoundFolder).bind(1, folder).run();
    markWritten();
}

std::vector<Id> SqliteEngine::folderBindings(Id folder)
{
    return items::folderBindings(*m_db, folder);
}

std::optional<BindingRow> SqliteEngine::binding(Id message)
{
    return items::binding(*m_db, message);
}

Id SqliteEngine::addBinding(Id folder, const BindingRow &row)
{
    const Id id = nextMessageId();
    try {
        items::addBinding(*m_db, id, folder, row);
    } catch (...) {
        // As for a new message: the binding message goes again rather than a savepoint.
        try {
            m_db->statement(sql::DeleteMessage).bind(1, id).run();
        } catch (...) {
            rollback();
        }
        throw;
    }
    markWritten();
    log(folder, id, ChangeKind::BindingAdded);
    return id;
}

bool SqliteEngine::updateBinding(Id folder, Id message, const BindingRow &row)
{
    if (!items::updateBinding(*m_db, message, row))
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

bool SqliteEngine::setHandlerDataSaved(Id folder, Id message)
{
    if (!items::setHandlerDataSaved(*m_db, message))
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

} // namespace store
