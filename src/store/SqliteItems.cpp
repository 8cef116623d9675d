// The SQLite engine: folders, messages and their fields, event bindings.
#include "store/Schema.h"
#include "store/Sql.h"
#include "store/SqliteEngine.h"
#include "store/TextList.h"
#include "store/Values.h"

#include <sqlite3.h>

namespace store {

using values::bindCategories;
using values::ids;
using values::prefixEnd;

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
    auto q = m_db->statement(sql::Folder);
    q.bind(1, folder);
    if (!q.step())
        return std::nullopt;
    return FolderRow{q.int64(0), q.isNull(1) ? 0 : q.int64(1), q.text(2)};
}

std::optional<Id> SqliteEngine::rootFolder(Id store)
{
    auto q = m_db->statement(sql::RootFolder);
    q.bind(1, store);
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

std::vector<Id> SqliteEngine::subfolders(Id parent)
{
    auto q = m_db->statement(sql::Subfolders);
    q.bind(1, parent);
    return ids(q);
}

std::optional<Id> SqliteEngine::subfolder(Id parent, std::string_view name)
{
    auto q = m_db->statement(sql::Subfolder);
    q.bind(1, parent).bind(2, name);
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

Id SqliteEngine::addFolder(Id store, Id parent, std::string_view name)
{
    auto q = m_db->statement(sql::AddFolder);
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

std::optional<MessageRow> SqliteEngine::message(Id message)
{
    auto q = m_db->statement(sql::Message);
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

std::optional<MessagePlace> SqliteEngine::messagePlace(Id message)
{
    auto q = m_db->statement(sql::MessagePlace);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return MessagePlace{q.int64(0), q.int64(1) != 0};
}

Fields SqliteEngine::messageFields(Id message)
{
    Fields out;
    auto q = m_db->statement(sql::MessageFields);
    q.bind(1, message);
    while (q.step())
        out[static_cast<std::uint32_t>(q.int64(0))] = readValue(q, 1, 2);
    return out;
}

std::vector<Id> SqliteEngine::folderMessages(Id folder)
{
    auto q = m_db->statement(sql::FolderMessages);
    q.bind(1, folder);
    return ids(q);
}

std::vector<Id> SqliteEngine::folderMessagesBySubject(Id folder, std::string_view prefix)
{
    if (prefix.empty())
        return folderMessages(folder);
    if (auto upper = prefixEnd(std::string(prefix))) {
        auto q = m_db->statement(sql::FolderMessagesInRange);
        q.bind(1, folder).bind(2, prefix).bind(3, *upper);
        return ids(q);
    }
    std::vector<Id> out;
    auto q = m_db->statement(sql::FolderMessagesFrom);
    q.bind(1, folder).bind(2, prefix);
    while (q.step()) {
        if (q.text(1).starts_with(prefix))
            out.push_back(q.int64(0));
    }
    return out;
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
            if (columns & ColSubject)
                q.bindView(1, row.subject);
            if (columns & ColBody)
                q.bindView(2, row.body);
            if (columns & ColSensitivity)
                q.bind(3, std::int64_t(row.sensitivity));
            if (columns & ColCategories)
                bindCategories(q, 4, row.categories);
            if (columns & ColAllDay)
                q.bind(5, std::int64_t(row.allDay));
            if (columns & ColLocation)
                q.bindView(6, row.location);
            if (columns & ColStart)
                q.bind(7, row.start);
            if (columns & ColEnd)
                q.bind(8, row.end);
            if (columns & ColStamp)
                q.bindView(9, row.stamp);
            q.bind(10, message).bind(11, row.changedAt);
            q.run();
            found = m_db->changes() > 0;
        } else {
            found = messagePlace(message).has_value();
        }
        if (found) {
            for (const auto &[tag, value] : fields) {
                auto f = m_db->statement(sql::SetMessageField);
                f.bind(1, message).bind(2, std::int64_t(tag));
                bindValue(f, 3, 4, value);
                f.run();
            }
            for (const std::uint32_t tag : removed)
                m_db->statement(sql::RemoveMessageField).bind(1, message).bind(2, std::int64_t(tag)).run();
        }
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
    auto q = m_db->statement(sql::BoundFolder);
    q.bind(1, folder);
    return q.step();
}

void SqliteEngine::saveBoundFolder(Id folder)
{
    m_db->statement(sql::SaveBoundFolder).bind(1, folder).run();
    markWritten();
}

std::vector<Id> SqliteEngine::folderBindings(Id folder)
{
    auto q = m_db->statement(sql::FolderBindings);
    q.bind(1, folder);
    return ids(q);
}

std::optional<BindingRow> SqliteEngine::binding(Id message)
{
    auto q = m_db->statement(sql::Binding);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return BindingRow{q.text(0), q.int64(1) != 0, static_cast<std::int16_t>(q.int64(2)), q.text(3)};
}

Id SqliteEngine::addBinding(Id folder, const BindingRow &row)
{
    const Id id = nextMessageId();
    m_db->statement(sql::AddBindingMessage).bind(1, id).bind(2, folder).bindView(3, row.name).run();
    try {
        m_db->statement(sql::AddBinding)
            .bind(1, id)
            .bindView(2, row.name)
            .bind(3, std::int64_t(row.active ? 1 : 0))
            .bind(4, std::int64_t(row.eventMask))
            .bindView(5, row.handlerClass)
            .run();
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
    m_db->statement(sql::UpdateBinding)
        .bind(1, std::string_view(row.name))
        .bind(2, std::int64_t(row.active ? 1 : 0))
        .bind(3, std::int64_t(row.eventMask))
        .bind(4, std::string_view(row.handlerClass))
        .bind(5, message)
        .run();
    if (m_db->changes() == 0)
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

bool SqliteEngine::setHandlerDataSaved(Id folder, Id message)
{
    m_db->statement(sql::SetHandlerDataSaved).bind(1, message).run();
    if (m_db->changes() == 0)
        return false;
    markWritten();
    log(folder, message, ChangeKind::BindingChanged);
    return true;
}

} // namespace store
