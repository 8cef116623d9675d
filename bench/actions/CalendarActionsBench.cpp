// Benchmarks of the shared-calendar work on generated stores, each against the plain-SQL
// floor of the same work measured in the same run on an identical copy of the store.
//
//   bench_calendar_actions [users=1000] [items per user=100] [shared items=100000]
//
// Prints items per second, the peak memory of the measuring process and the ratio of
// the work's time to the floor's; then what a progress callback costs the copy, and the
// refresh in one transaction against the same deletion and copy in batches.
#include "BenchChild.h"
#include "BenchStores.h"

#include "actions/calendar/CalendarActions.h"
#include "core/StoreLayout.h"
#include "messaging/AddressLists.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"
#include "messaging/SharedCalendar.h"

#include <cinttypes>
#include <cstring>
#include <memory>
#include <optional>

namespace {

using bench::generateCopyStore;
using bench::generateSharedStore;
using bench::logon;
using bench::userName;
using bench::userTag;

// --- the floors -------------------------------------------------------------------------

std::int64_t sharedCalendarId(bench::Sql &sql)
{
    sqlite3_stmt *q = sql.prepare("SELECT f.id FROM folders f JOIN stores s ON s.id = f.store_id WHERE s.name = ?1 "
                                  "AND f.name = ?2");
    sqlite3_bind_text(q, 1, core::PublicStoreName.data(), static_cast<int>(core::PublicStoreName.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(q, 2, core::SharedCalendarName.data(), static_cast<int>(core::SharedCalendarName.size()),
                      SQLITE_STATIC);
    if (sqlite3_step(q) != SQLITE_ROW)
        throw std::runtime_error("no shared calendar");
    const std::int64_t id = sqlite3_column_int64(q, 0);
    sqlite3_reset(q);
    return id;
}

void copyFloor(const std::filesystem::path &file)
{
    bench::Sql sql(file);
    const std::int64_t shared = sharedCalendarId(sql);
    struct User {
        std::string name;
        std::string tag;
    };
    std::vector<User> users;
    {
        sqlite3_stmt *q = sql.prepare(
            "SELECT e.name, f.value FROM address_entries e LEFT JOIN entry_fields f ON f.entry_id = e.id AND f.tag = ? "
            "WHERE e.display_type = 0 ORDER BY e.name COLLATE NOCASE, e.id");
        sqlite3_bind_int64(q, 1, static_cast<std::int64_t>(messaging::PropTag::OwnerTag));
        while (sqlite3_step(q) == SQLITE_ROW)
            users.push_back({bench::Sql::text(q, 0), bench::Sql::text(q, 1)});
        sqlite3_reset(q);
    }
    const std::locale locale;
    bench::Batch batch(sql);
    for (const User &user : users) {
        sqlite3_stmt *f = sql.prepare(
            "SELECT f.id FROM folders f JOIN stores s ON s.id = f.store_id JOIN folders r ON r.id = f.parent_id "
            "WHERE s.name = ? AND f.name = 'Calendar' AND r.parent_id IS NULL");
        const std::string storeName = "Mailbox - " + user.name;
        sqlite3_bind_text(f, 1, storeName.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(f) != SQLITE_ROW)
            throw std::runtime_error("no calendar for " + user.name);
        const std::int64_t folder = sqlite3_column_int64(f, 0);
        sqlite3_reset(f);

        struct Row {
            std::int64_t id;
            std::string subject;
            std::string body;
            int sensitivity;
            std::optional<std::string> categories;
            int allDay;
            std::optional<std::string> location;
            std::optional<double> start;
            std::optional<double> end;
        };
        // The ids first (from the covering index), then each row by its id. Rows are read
        // into memory before they are written: an INSERT that selects from its own table
        // would go through a temporary table for every copy.
        std::vector<std::int64_t> ids;
        sqlite3_stmt *q = sql.prepare("SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 ORDER BY id");
        sqlite3_bind_int64(q, 1, folder);
        while (sqlite3_step(q) == SQLITE_ROW)
            ids.push_back(sqlite3_column_int64(q, 0));
        sqlite3_reset(q);

        auto optText = [](sqlite3_stmt *st, int c) -> std::optional<std::string> {
            if (sqlite3_column_type(st, c) == SQLITE_NULL)
                return std::nullopt;
            return bench::Sql::text(st, c);
        };
        auto optReal = [](sqlite3_stmt *st, int c) -> std::optional<double> {
            if (sqlite3_column_type(st, c) == SQLITE_NULL)
                return std::nullopt;
            return sqlite3_column_double(st, c);
        };
        auto bindText = [](sqlite3_stmt *st, int i, const std::optional<std::string> &v) {
            if (v)
                sqlite3_bind_text(st, i, v->data(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(st, i);
        };
        auto bindReal = [](sqlite3_stmt *st, int i, const std::optional<double> &v) {
            if (v)
                sqlite3_bind_double(st, i, *v);
            else
                sqlite3_bind_null(st, i);
        };

        const std::string prefix = user.tag + "- ";
        for (const std::int64_t id : ids) {
            sqlite3_stmt *r = sql.prepare("SELECT subject, body, sensitivity, categories, all_day, location, start, end "
                                          "FROM messages WHERE id = ?");
            sqlite3_bind_int64(r, 1, id);
            if (sqlite3_step(r) != SQLITE_ROW) {
                sqlite3_reset(r);
                continue;
            }
            const Row row{id,
                          bench::Sql::text(r, 0),
                          bench::Sql::text(r, 1),
                          sqlite3_column_int(r, 2),
                          optText(r, 3),
                          sqlite3_column_int(r, 4),
                          optText(r, 5),
                          optReal(r, 6),
                          optReal(r, 7)};
            sqlite3_reset(r);
            if (row.categories && row.categories->rfind("7:Holiday", 0) == 0)
                continue;

            const std::string stamp = std::string(row.allDay == 0 ? "N" : "Y") + ":" + row.location.value_or("") + ":"
                + (row.start ? calendar::dayNumberText(*row.start, locale) : std::string()) + ":" + row.subject;
            sqlite3_stmt *u = sql.prepare("UPDATE messages SET stamp = ? WHERE id = ?");
            sqlite3_bind_text(u, 1, stamp.c_str(), static_cast<int>(stamp.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(u, 2, row.id);
            sql.done(u);
            batch.wrote();

            struct FieldRow {
                std::int64_t tag;
                std::int64_t type;
                std::unique_ptr<sqlite3_value, decltype(&sqlite3_value_free)> value;
            };
            std::vector<FieldRow> fields;
            sqlite3_stmt *fq = sql.prepare("SELECT tag, type, value FROM message_fields WHERE message_id = ? AND tag <> ?");
            sqlite3_bind_int64(fq, 1, row.id);
            sqlite3_bind_int64(fq, 2, static_cast<std::int64_t>(messaging::PropTag::ICalendarUid));
            while (sqlite3_step(fq) == SQLITE_ROW)
                fields.push_back({sqlite3_column_int64(fq, 0), sqlite3_column_int64(fq, 1),
                                  {sqlite3_value_dup(sqlite3_column_value(fq, 2)), &sqlite3_value_free}});
            sqlite3_reset(fq);

            const bool hidden = row.sensitivity == 2;
            const std::string subject = prefix + (hidden ? std::string("Private") : row.subject);
            sqlite3_stmt *c = sql.prepare(
                "INSERT INTO messages(folder_id, hidden, subject, body, sensitivity, categories, all_day, location, "
                "start, end, stamp) VALUES(?, 0, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
            sqlite3_bind_int64(c, 1, shared);
            sqlite3_bind_text(c, 2, subject.data(), static_cast<int>(subject.size()), SQLITE_TRANSIENT);
            bindText(c, 3, hidden ? std::optional<std::string>("Private") : std::optional<std::string>(row.body));
            sqlite3_bind_int(c, 4, row.sensitivity);
            bindText(c, 5, row.categories);
            sqlite3_bind_int(c, 6, row.allDay);
            bindText(c, 7, row.location);
            bindReal(c, 8, row.start);
            bindReal(c, 9, row.end);
            sqlite3_bind_text(c, 10, stamp.data(), static_cast<int>(stamp.size()), SQLITE_TRANSIENT);
            sql.done(c);
            const std::int64_t copy = sql.lastId();
            for (const FieldRow &field : fields) {
                sqlite3_stmt *fi = sql.prepare("INSERT INTO message_fields(message_id, tag, type, value) VALUES(?, ?, ?, ?)");
                sqlite3_bind_int64(fi, 1, copy);
                sqlite3_bind_int64(fi, 2, field.tag);
                sqlite3_bind_int64(fi, 3, field.type);
                sqlite3_bind_value(fi, 4, field.value.get());
                sql.done(fi);
            }
            batch.wrote();
        }
    }
    batch.finish();
    sql.close();
}

// Deletes the ids one by one, from the last to the first.
void deleteIds(bench::Sql &sql, const std::vector<std::int64_t> &ids)
{
    bench::Batch batch(sql);
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        sqlite3_stmt *d = sql.prepare("DELETE FROM messages WHERE id = ?");
        sqlite3_bind_int64(d, 1, *it);
        sql.done(d);
        batch.wrote();
    }
    batch.finish();
}

void deleteAllFloor(const std::filesystem::path &file)
{
    bench::Sql sql(file);
    const std::int64_t shared = sharedCalendarId(sql);
    std::vector<std::int64_t> ids;
    sqlite3_stmt *q = sql.prepare("SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 ORDER BY id");
    sqlite3_bind_int64(q, 1, shared);
    while (sqlite3_step(q) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(q, 0));
    sqlite3_reset(q);
    deleteIds(sql, ids);
    sql.close();
}

void deleteUserFloor(const std::filesystem::path &file, const std::string &tag)
{
    bench::Sql sql(file);
    const std::int64_t shared = sharedCalendarId(sql);
    // The owner tag from the directory, then the subject range of its whole prefix.
    sqlite3_stmt *t = sql.prepare(
        "SELECT f.value FROM address_entries e JOIN entry_fields f ON f.entry_id = e.id AND f.tag = ? WHERE e.name = ?");
    sqlite3_bind_int64(t, 1, static_cast<std::int64_t>(messaging::PropTag::OwnerTag));
    const std::string name = "User" + tag.substr(1);
    sqlite3_bind_text(t, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(t) != SQLITE_ROW)
        throw std::runtime_error("no tag");
    const std::string key = bench::Sql::text(t, 0) + "- ";
    sqlite3_reset(t);
    std::string upper = key;
    upper.back() = static_cast<char>(upper.back() + 1);
    std::vector<std::int64_t> ids;
    sqlite3_stmt *q = sql.prepare(
        "SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 AND subject >= ? AND subject < ? ORDER BY id");
    sqlite3_bind_int64(q, 1, shared);
    sqlite3_bind_text(q, 2, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(q, 3, upper.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(q) == SQLITE_ROW)
        ids.push_back(sqlite3_column_int64(q, 0));
    sqlite3_reset(q);
    deleteIds(sql, ids);
    sql.close();
}

std::int64_t countRows(const std::filesystem::path &file, const std::string &where)
{
    bench::Sql sql(file);
    const std::int64_t shared = sharedCalendarId(sql);
    sqlite3_stmt *q = sql.prepare("SELECT count(*) FROM messages WHERE folder_id = ? AND hidden = 0" + where);
    sqlite3_bind_int64(q, 1, shared);
    sqlite3_step(q);
    const std::int64_t n = sqlite3_column_int64(q, 0);
    sql.close();
    return n;
}

// --- the child tasks --------------------------------------------------------------------

int child(const std::string &task, const std::filesystem::path &file)
{
    if (task == "copy-work")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            calendar::copyAllCalendars(s);
            s.Logoff();
        });
    if (task == "copy-progress-work")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            std::int64_t reports = 0;
            calendar::copyAllCalendars(s, calendar::workstationLocale(), [&](const actions::Progress &) { ++reports; });
            s.Logoff();
        });
    if (task == "refresh-work")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            s.beginGroup();
            calendar::refreshSharedCalendar(s);
            s.commitGroup();
            s.Logoff();
        });
    if (task == "refresh-batched")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            calendar::deleteAllItems(s);
            calendar::copyAllCalendars(s);
            s.Logoff();
        });
    if (task == "copy-floor")
        return bench::childMain([&] { copyFloor(file); });
    if (task == "delete-all-work")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            calendar::deleteAllItems(s);
            s.Logoff();
        });
    if (task == "delete-all-floor")
        return bench::childMain([&] { deleteAllFloor(file); });
    if (task == "delete-user-work")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            calendar::deleteUserItems(s, "Mailbox - " + userName(5));
            s.Logoff();
        });
    if (task == "delete-user-floor")
        return bench::childMain([&] { deleteUserFloor(file, userTag(5)); });
    std::fprintf(stderr, "unknown task %s\n", task.c_str());
    return 2;
}

void compare(const char *what, long count, const bench::Figures &work, const bench::Figures &floor)
{
    bench::print(what, count, "items", work);
    bench::print("  plain-SQL floor", count, "items", floor);
    bench::printRatio(work, floor);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], argv[3]);

    const int users = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int items = argc > 2 ? std::atoi(argv[2]) : 100;
    const int sharedItems = argc > 3 ? std::atoi(argv[3]) : 100000;
    bench::TempDir dir;

    {
        const auto generated = dir.path() / "copy.db";
        generateCopyStore(generated, users, items);
        const auto work = dir.path() / "copy-work.db";
        const auto floor = dir.path() / "copy-floor.db";
        const bench::Figures w = bench::bestOf(3, generated, work, {"--child", "copy-work", work.string()});
        const bench::Figures f = bench::bestOf(3, generated, floor, {"--child", "copy-floor", floor.string()});
        std::filesystem::remove(generated);
        const std::int64_t copied = countRows(work, "");
        if (copied != countRows(floor, ""))
            std::printf("  (the floor copied %" PRId64 " items, the work %" PRId64 ")\n", countRows(floor, ""), copied);
        char what[96];
        std::snprintf(what, sizeof what, "copy all calendars (%d users x %d)", users, items);
        compare(what, static_cast<long>(copied), w, f);
        std::filesystem::remove(floor);

        // The same copy with a progress callback, on a copy of the generated store.
        const auto watched = dir.path() / "copy-progress.db";
        generateCopyStore(watched, users, items);
        bench::print("  with a progress callback", static_cast<long>(copied), "items",
                     bench::runChild({"--child", "copy-progress-work", watched.string()}));
        std::filesystem::remove(watched);

        // The refresh of a shared calendar that holds one copy of everything already: in
        // one transaction, and as the two page actions in their batches.
        const auto batched = dir.path() / "refresh-batched.db";
        bench::copyStore(work, batched);
        const bench::Figures one = bench::runChild({"--child", "refresh-work", work.string()});
        const bench::Figures many = bench::runChild({"--child", "refresh-batched", batched.string()});
        bench::print("refresh in one transaction (deleted and copied)", static_cast<long>(2 * copied), "items", one);
        bench::print("  delete all, then copy all, in batches", static_cast<long>(2 * copied), "items", many);
        std::filesystem::remove(work);
        std::filesystem::remove(batched);
    }
    {
        const auto generated = dir.path() / "shared.db";
        generateSharedStore(generated, sharedItems);
        for (const char *name : {"delete-all", "delete-user"}) {
            const auto work = dir.path() / (std::string(name) + "-work.db");
            const auto floor = dir.path() / (std::string(name) + "-floor.db");
            const std::int64_t before = countRows(generated, "");
            const bench::Figures w = bench::bestOf(3, generated, work, {"--child", std::string(name) + "-work", work.string()});
            const bench::Figures f =
                bench::bestOf(3, generated, floor, {"--child", std::string(name) + "-floor", floor.string()});
            const std::int64_t deleted = before - countRows(work, "");
            if (deleted != before - countRows(floor, ""))
                std::printf("  (the floor deleted %" PRId64 " items)\n", before - countRows(floor, ""));
            char what[96];
            if (std::strcmp(name, "delete-all") == 0)
                std::snprintf(what, sizeof what, "delete all items (%" PRId64 ")", before);
            else
                std::snprintf(what, sizeof what, "delete one user's items (of %" PRId64 ")", before);
            compare(what, static_cast<long>(deleted), w, f);
            std::filesystem::remove(work);
            std::filesystem::remove(floor);
        }
    }
    return 0;
}
