#include "store/PrivateItems.h"

#include "store/PgDatabase.h"

#include "ical/PrivateMask.h"
#include "messaging/PropTags.h"
#include "store/Rows.h"
#include "store/Schema.h"

#include <cstdio>
#include <map>
#include <optional>

namespace store {

namespace {

struct ItemRow {
    std::int64_t id = 0;
    std::string subject;
    std::string body;
    std::optional<std::string> location;
    std::optional<std::string> categories;
    std::optional<std::string> stamp;
    bool allDay = false;
    std::map<std::int64_t, bool> fields; // tag -> is the kept source (as text)
    std::optional<std::string> source;
};

// The private items of the public store, read whole before anything is written.
template <class Db>
std::vector<ItemRow> privateItems(Db &db)
{
    std::vector<ItemRow> rows;
    {
        auto q = db.query("SELECT m.id, m.subject, m.body, m.location, m.categories, m.stamp, m.all_day "
                          "FROM messages m JOIN folders f ON f.id = m.folder_id JOIN stores s ON s.id = f.store_id "
                          "WHERE s.kind = ? AND m.sensitivity = 2 AND m.hidden = 0 ORDER BY m.id");
        q.bind(1, static_cast<int>(StoreKind::Public));
        while (q.step())
            rows.push_back({q.int64(0), q.text(1), q.text(2), q.optText(3), q.optText(4), q.optText(5),
                            q.int64(6) != 0, {}, std::nullopt});
    }
    for (ItemRow &row : rows) {
        auto q = db.query("SELECT tag, type, value FROM message_fields WHERE message_id = ?");
        q.bind(1, row.id);
        while (q.step()) {
            const bool source = q.int64(0) == messaging::PropTag::ICalendarSource && q.int64(1) == FieldText;
            row.fields[q.int64(0)] = source;
            if (source)
                row.source = q.text(2);
        }
    }
    return rows;
}

template <class Db>
std::vector<std::string> ownerTags(Db &db)
{
    std::vector<std::string> tags;
    auto q = db.query("SELECT DISTINCT value FROM entry_fields WHERE tag = ? AND type = ?");
    q.bind(1, std::int64_t(messaging::PropTag::OwnerTag)).bind(2, FieldText);
    while (q.step())
        tags.push_back(q.text(0));
    return tags;
}

struct Masked {
    std::string subject;
    std::optional<std::string> stamp;
    std::optional<std::string> source; // nullopt: no source field
};

Masked maskedForm(const ItemRow &row, const std::vector<std::string> &tags)
{
    Masked m;
    m.subject = ical::maskedSubject(row.subject, tags);
    if (row.stamp)
        m.stamp = ical::maskedStamp(*row.stamp, row.location.value_or(std::string()), row.allDay);
    if (row.source) {
        std::string reduced = ical::timeStructure(*row.source);
        if (!reduced.empty())
            m.source = std::move(reduced);
    }
    return m;
}

// What the item shows beyond its masked form, in words.
std::vector<std::string> excess(const ItemRow &row, const Masked &m)
{
    std::vector<std::string> shown;
    if (row.subject != m.subject)
        shown.emplace_back("subject");
    if (row.body != ical::PrivateText)
        shown.emplace_back("body");
    if (row.location)
        shown.emplace_back("location");
    if (row.categories)
        shown.emplace_back("categories");
    if (row.stamp != m.stamp)
        shown.emplace_back("stamp");
    if (row.source != m.source)
        shown.emplace_back("event source beyond its times");
    for (const auto &[tag, isSource] : row.fields) {
        if (isSource)
            continue;
        char text[32];
        std::snprintf(text, sizeof text, "field 0x%08llX", static_cast<unsigned long long>(tag) & 0xFFFFFFFFull);
        shown.emplace_back(text);
    }
    return shown;
}

} // namespace

template <class Db>
int maskPrivateItems(Db &db)
{
    const std::vector<std::string> tags = ownerTags(db);
    int changed = 0;
    for (const ItemRow &row : privateItems(db)) {
        const Masked m = maskedForm(row, tags);
        if (excess(row, m).empty())
            continue;
        db.query("UPDATE messages SET subject = ?, body = ?, location = NULL, categories = NULL, stamp = ? "
                 "WHERE id = ?")
            .bind(1, m.subject)
            .bind(2, ical::PrivateText)
            .bind(3, m.stamp)
            .bind(4, row.id)
            .run();
        db.query("DELETE FROM message_fields WHERE message_id = ? AND tag <> ?")
            .bind(1, row.id)
            .bind(2, std::int64_t(messaging::PropTag::ICalendarSource))
            .run();
        if (m.source) {
            db.query("UPDATE message_fields SET type = ?, value = ? WHERE message_id = ? AND tag = ?")
                .bind(1, FieldText)
                .bind(2, *m.source)
                .bind(3, row.id)
                .bind(4, std::int64_t(messaging::PropTag::ICalendarSource))
                .run();
        } else {
            db.query("DELETE FROM message_fields WHERE message_id = ?").bind(1, row.id).run();
        }
        ++changed;
    }
    return changed;
}

template <class Db>
std::vector<std::string> privateItemLeaks(Db &db)
{
    const std::vector<std::string> tags = ownerTags(db);
    std::vector<std::string> leaks;
    for (const ItemRow &row : privateItems(db)) {
        const std::vector<std::string> shown = excess(row, maskedForm(row, tags));
        if (shown.empty())
            continue;
        std::string line = "private item " + std::to_string(row.id) + " of the public store shows more than \"Private\":";
        for (std::size_t i = 0; i < shown.size(); ++i)
            line += (i ? ", " : " ") + shown[i];
        leaks.push_back(std::move(line));
    }
    return leaks;
}

// Both engines' connections read and write the same statements.
template int maskPrivateItems<Database>(Database &db);
template std::vector<std::string> privateItemLeaks<Database>(Database &db);
template int maskPrivateItems<PgDatabase>(PgDatabase &db);
template std::vector<std::string> privateItemLeaks<PgDatabase>(PgDatabase &db);

} // namespace store
