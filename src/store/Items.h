// Items: the statements of folders, messages, their fields and event bindings, and of
// revisions and the change log, written once for both engines. `Db` is an engine's connection (Database or PgDatabase); the
// engine gives `prepare(db, text)`, a statement of that connection ready to bind, and
// `changed(db, q)`, whether the statement just run changed a row. What
// differs between the engines (batching, the change log, how a failure is undone) stays
// in the engines' own files, around these. Included only by the engines' own files.
#pragma once

#include "store/ChangeList.h"
#include "store/Rows.h"
#include "store/Sql.h"
#include "store/TextList.h"
#include "store/Values.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store::items {

// ---- the store's own numbers

// A number kept in meta; 0 when it is not there.
template <class Db>
std::int64_t metaNumber(Db &db, const char *key)
{
    auto q = prepare(db, sql::Meta);
    q.bind(1, key);
    return q.step() ? q.int64(0) : 0;
}

// The highest message id ever given (ids are never given twice).
template <class Db>
Id highestMessageId(Db &db)
{
    auto q = prepare(db, sql::HighestMessage);
    q.step();
    return std::max(metaNumber(db, "message_high"), q.int64(0));
}

// ---- folders

template <class Db>
std::optional<FolderRow> folder(Db &db, Id folder)
{
    auto q = prepare(db, sql::Folder);
    q.bind(1, folder);
    if (!q.step())
        return std::nullopt;
    return FolderRow{q.int64(0), q.isNull(1) ? 0 : q.int64(1), q.text(2)};
}

template <class Db>
std::optional<Id> rootFolder(Db &db, Id store)
{
    auto q = prepare(db, sql::RootFolder);
    q.bind(1, store);
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

template <class Db>
std::vector<Id> subfolders(Db &db, Id parent)
{
    auto q = prepare(db, sql::Subfolders);
    q.bind(1, parent);
    return values::ids(q);
}

template <class Db>
std::optional<Id> subfolder(Db &db, Id parent, std::string_view name)
{
    auto q = prepare(db, sql::Subfolder);
    q.bind(1, parent).bind(2, name);
    return q.step() ? std::optional<Id>(q.int64(0)) : std::nullopt;
}

template <class Db>
Id addFolder(Db &db, Id store, Id parent, std::string_view name)
{
    auto q = prepare(db, sql::AddFolder);
    q.bind(1, store);
    if (parent)
        q.bind(2, parent);
    else
        q.bindNull(2);
    q.bind(3, name);
    q.step();
    const Id id = q.int64(0);
    q.run();
    return id;
}

// ---- messages

// A message's row from the columns of sql::Message, beginning at `first`.
template <class Q>
MessageRow messageRow(Q &q, int first)
{
    MessageRow r;
    r.folder = q.int64(first);
    r.hidden = q.int64(first + 1) != 0;
    r.subject = q.text(first + 2);
    r.body = q.text(first + 3);
    r.sensitivity = static_cast<std::int32_t>(q.int64(first + 4));
    if (!q.isNull(first + 5))
        r.categories = decodeTextList(q.text(first + 5));
    r.allDay = static_cast<std::int32_t>(q.int64(first + 6));
    r.location = q.optText(first + 7);
    r.start = q.optReal(first + 8);
    r.end = q.optReal(first + 9);
    r.stamp = q.optText(first + 10);
    r.changedAt = q.int64(first + 11);
    return r;
}

template <class Db>
std::optional<MessageRow> message(Db &db, Id message)
{
    auto q = prepare(db, sql::Message);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return messageRow(q, 0);
}

template <class Db>
std::optional<MessagePlace> messagePlace(Db &db, Id message)
{
    auto q = prepare(db, sql::MessagePlace);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return MessagePlace{q.int64(0), q.int64(1) != 0};
}

template <class Db>
Fields messageFields(Db &db, Id message)
{
    Fields out;
    auto q = prepare(db, sql::MessageFields);
    q.bind(1, message);
    while (q.step())
        out[static_cast<std::uint32_t>(q.int64(0))] = values::read(q, 1, 2);
    return out;
}

// The folder's visible messages, by id.
template <class Db>
std::vector<Id> folderMessages(Db &db, Id folder)
{
    auto q = prepare(db, sql::FolderMessages);
    q.bind(1, folder);
    return values::ids(q);
}

// The folder's visible messages whose subjects begin with the prefix, by id.
template <class Db>
std::vector<Id> folderMessagesBySubject(Db &db, Id folder, std::string_view prefix)
{
    if (prefix.empty())
        return folderMessages(db, folder);
    if (auto upper = values::prefixEnd(std::string(prefix))) {
        auto q = prepare(db, sql::FolderMessagesInRange);
        q.bind(1, folder).bind(2, prefix).bind(3, *upper);
        return values::ids(q);
    }
    std::vector<Id> out;
    auto q = prepare(db, sql::FolderMessagesFrom);
    q.bind(1, folder).bind(2, prefix);
    while (q.step()) {
        if (q.text(1).starts_with(prefix))
            out.push_back(q.int64(0));
    }
    return out;
}

// Binds the `columns` of `row` and the message to a statement of sql::updateMessage.
template <class Q>
void bindUpdate(Q &q, unsigned columns, const MessageRow &row, Id message)
{
    if (columns & ColSubject)
        q.bindView(1, row.subject);
    if (columns & ColBody)
        q.bindView(2, row.body);
    if (columns & ColSensitivity)
        q.bind(3, std::int64_t(row.sensitivity));
    if (columns & ColCategories)
        values::bindCategories(q, 4, row.categories);
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
}

// Writes the fields and takes away the removed ones.
template <class Db>
void writeFields(Db &db, Id message, const Fields &fields, const FieldTags &removed)
{
    for (const auto &[tag, value] : fields) {
        auto f = prepare(db, sql::SetMessageField);
        f.bind(1, message).bind(2, std::int64_t(tag));
        values::bind(f, 3, 4, value);
        f.run();
    }
    for (const std::uint32_t tag : removed) {
        auto f = prepare(db, sql::RemoveMessageField);
        f.bind(1, message).bind(2, std::int64_t(tag));
        f.run();
    }
}

// ---- event bindings

template <class Db>
bool boundFolder(Db &db, Id folder)
{
    auto q = prepare(db, sql::BoundFolder);
    q.bind(1, folder);
    return q.step();
}

template <class Db>
std::vector<Id> folderBindings(Db &db, Id folder)
{
    auto q = prepare(db, sql::FolderBindings);
    q.bind(1, folder);
    return values::ids(q);
}

template <class Db>
std::optional<BindingRow> binding(Db &db, Id message)
{
    auto q = prepare(db, sql::Binding);
    q.bind(1, message);
    if (!q.step())
        return std::nullopt;
    return BindingRow{q.text(0), q.int64(1) != 0, static_cast<std::int16_t>(q.int64(2)), q.text(3)};
}

// The binding's message, then its row: two statements, which the engine makes atomic.
template <class Db>
void addBinding(Db &db, Id id, Id folder, const BindingRow &row)
{
    {
        auto q = prepare(db, sql::AddBindingMessage);
        q.bind(1, id).bind(2, folder).bindView(3, row.name);
        q.run();
    }
    auto q = prepare(db, sql::AddBinding);
    q.bind(1, id).bindView(2, row.name).bind(3, std::int64_t(row.active ? 1 : 0));
    q.bind(4, std::int64_t(row.eventMask)).bindView(5, row.handlerClass);
    q.run();
}

// False when the binding is not there.
template <class Db>
bool updateBinding(Db &db, Id message, const BindingRow &row)
{
    auto q = prepare(db, sql::UpdateBinding);
    q.bindView(1, row.name).bind(2, std::int64_t(row.active ? 1 : 0)).bind(3, std::int64_t(row.eventMask));
    q.bindView(4, row.handlerClass).bind(5, message);
    q.run();
    return changed(db, q);
}

template <class Db>
bool setHandlerDataSaved(Db &db, Id message)
{
    auto q = prepare(db, sql::SetHandlerDataSaved);
    q.bind(1, message);
    q.run();
    return changed(db, q);
}

// ---- revisions and the change log

template <class Db>
std::int64_t storeRevision(Db &db)
{
    auto q = prepare(db, sql::StoreRevision);
    return q.step() ? q.int64(0) : 0;
}

template <class Db>
std::int64_t folderRevision(Db &db, Id folder)
{
    auto q = prepare(db, sql::FolderRevision);
    q.bind(1, folder);
    return q.step() ? q.int64(0) : 0;
}

// What changed in the folder after `revision`, inside the caller's snapshot. `text` reads
// (revision, packed changes) of the folder after a revision; `packed(q)` is the packed
// value of its row.
template <class Db, class Packed>
FolderChanges changesSince(Db &db, Id folder, std::int64_t revision, const char *text, Packed packed)
{
    FolderChanges out;
    out.revision = folderRevision(db, folder);
    out.tooOld = revision < metaNumber(db, "log_floor") || revision > storeRevision(db);
    if (!out.tooOld) {
        auto q = prepare(db, text);
        q.bind(1, folder).bind(2, revision);
        while (q.step())
            unpackChanges(packed(q), q.int64(0), out.changes);
    }
    return out;
}

// True when the log counts more than `keptEntries` entries.
template <class Db>
bool logIsLong(Db &db, std::int64_t keptEntries)
{
    auto q = prepare(db, sql::LoggedEntries);
    return q.step() && q.int64(0) > keptEntries;
}

// Inside the caller's write transaction: drops what the log need not keep (it keeps the
// last `keptEntries` entries and every revision newer than `since`, whichever reaches
// further back), and raises the floor readers are answered from.
template <class Db>
void trimLog(Db &db, std::int64_t keptEntries, double since)
{
    std::int64_t keepFrom = 0;
    {
        auto q = prepare(db, sql::OldestKept);
        q.bind(1, keptEntries).bind(2, since);
        if (q.step())
            keepFrom = q.int64(0);
    }
    if (keepFrom <= metaNumber(db, "log_floor") + 1)
        return;
    // Housekeeping, not an operation: the fault seam does not count its writes.
    db.setConsultOnWrite(false);
    try {
        prepare(db, sql::TrimChanges).bind(1, keepFrom).run();
        prepare(db, sql::TrimRevisions).bind(1, keepFrom).run();
        // A reader at keepFrom - 1 or later still finds every change after it.
        prepare(db, sql::SetMeta).bind(1, "log_floor").bind(2, std::to_string(keepFrom - 1)).run();
    } catch (...) {
        db.setConsultOnWrite(true);
        throw;
    }
    db.setConsultOnWrite(true);
}

} // namespace store::items
