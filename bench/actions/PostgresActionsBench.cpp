// The shared-calendar work on a PostgreSQL store, against the floor of the same work as
// set-based SQL over the same connection, measured in the same run on an identical copy
// of the store (CREATE DATABASE ... TEMPLATE).
//
//   bench_postgres_actions URI [users=1000] [items per user=100] [shared items=100000]
//
// URI: a libpq location of a database on the server whose user may create databases
// (the benchmark makes and drops its own, named larkspur_bench_*). Prints items per
// second, the peak memory of the measuring process and the ratio of the work's time to
// the floor's. Work and floor run Rounds times each, in turns, on fresh copies; the
// fastest run of each counts (on a shared machine the others only add other load).
#include "BenchChild.h"
#include "BenchStores.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"
#include "messaging/SharedCalendar.h"

#include <libpq-fe.h>

#include <cinttypes>
#include <cstring>

namespace {

using bench::generateCopyStore;
using bench::generateSharedStore;
using bench::logon;
using bench::userName;
using bench::userTag;

constexpr int Rounds = 3;

bench::Figures faster(const bench::Figures &a, const bench::Figures &b)
{
    return a.seconds > 0 && a.seconds <= b.seconds ? a : b;
}

// Plain libpq for the floors and the server's own work (databases, counts).
class Pg {
public:
    explicit Pg(const std::string &uri) : m_conn(PQconnectdb(uri.c_str()))
    {
        if (PQstatus(m_conn) != CONNECTION_OK)
            throw std::runtime_error(std::string("cannot connect: ") + PQerrorMessage(m_conn));
        PQsetNoticeProcessor(m_conn, [](void *, const char *) {}, nullptr);
    }
    ~Pg() { PQfinish(m_conn); }
    std::string value(const std::string &sql)
    {
        PGresult *r = PQexec(m_conn, sql.c_str());
        const auto status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const std::string error = PQerrorMessage(m_conn);
            PQclear(r);
            throw std::runtime_error(error + " in " + sql);
        }
        std::string out = PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
        PQclear(r);
        return out;
    }

private:
    PGconn *m_conn;
};

// The location of database `db` on the server of `uri`.
std::string withDatabase(const std::string &uri, const std::string &db)
{
    const auto slash = uri.find('/', uri.find("//") + 2);
    const auto end = uri.find('?', slash);
    return uri.substr(0, slash + 1) + db + (end == std::string::npos ? std::string() : uri.substr(end));
}

const char *const SharedCalendar = "(SELECT f.id FROM folders f JOIN stores s ON s.id = f.store_id "
                                   "WHERE s.kind = 0 AND f.name = 'Larkspur Calendar')";

// The copy as set-based SQL: every user's calendar items but holidays are stamped, and
// copied with the owner prefix (private ones masked) and their fields but the import uid.
void copyFloor(const std::string &location)
{
    Pg pg(location);
    pg.value("BEGIN");
    pg.value(std::string("CREATE TEMP TABLE copied ON COMMIT DROP AS "
                         "SELECT m.id AS source, (SELECT max(id) FROM messages) + row_number() OVER (ORDER BY m.id) AS copy, "
                         "t.value || '- ' AS prefix FROM messages m "
                         "JOIN folders f ON f.id = m.folder_id AND f.name = 'Calendar' "
                         "JOIN stores s ON s.id = f.store_id AND s.kind = 1 "
                         "JOIN address_entries e ON e.id = s.owner_entry AND e.display_type = 0 "
                         "JOIN entry_fields t ON t.entry_id = e.id AND t.tag = ") +
             std::to_string(messaging::PropTag::OwnerTag) +
             " WHERE m.hidden = 0 AND (m.categories IS NULL OR m.categories NOT LIKE '7:Holiday%')");
    pg.value("UPDATE messages m SET stamp = CASE WHEN all_day = 0 THEN 'N' ELSE 'Y' END || ':' || "
             "coalesce(location, '') || ':' || coalesce(start::text, '') || ':' || subject, "
             "changed_at = extract(epoch FROM now())::bigint FROM copied c WHERE m.id = c.source");
    pg.value(std::string("INSERT INTO messages(id, folder_id, hidden, subject, body, sensitivity, categories, all_day, "
                         "location, start, \"end\", stamp, changed_at) SELECT c.copy, ") +
             SharedCalendar +
             ", 0, c.prefix || CASE WHEN m.sensitivity = 2 THEN 'Private' ELSE m.subject END, "
             "CASE WHEN m.sensitivity = 2 THEN 'Private' ELSE m.body END, m.sensitivity, m.categories, m.all_day, "
             "m.location, m.start, m.\"end\", m.stamp, m.changed_at FROM copied c JOIN messages m ON m.id = c.source");
    pg.value("INSERT INTO message_fields(message_id, tag, type, value) SELECT c.copy, f.tag, f.type, f.value "
             "FROM copied c JOIN message_fields f ON f.message_id = c.source WHERE f.tag <> " +
             std::to_string(messaging::PropTag::ICalendarUid));
    pg.value("COMMIT");
}

void deleteFloor(const std::string &location, const std::string &where)
{
    Pg(location).value(std::string("DELETE FROM messages WHERE folder_id = ") + SharedCalendar + " AND hidden = 0" + where);
}

std::int64_t countShared(const std::string &location)
{
    return std::stoll(Pg(location).value(std::string("SELECT count(*) FROM messages WHERE hidden = 0 AND folder_id = ") +
                                         SharedCalendar));
}

int child(const std::string &task, const std::string &location)
{
    if (task == "copy-work")
        return bench::childMain([&] {
            messaging::Session s = logon(location);
            calendar::copyAllCalendars(s);
            s.Logoff();
        });
    if (task == "copy-floor")
        return bench::childMain([&] { copyFloor(location); });
    if (task == "delete-all-work")
        return bench::childMain([&] {
            messaging::Session s = logon(location);
            calendar::deleteAllItems(s);
            s.Logoff();
        });
    if (task == "delete-all-floor")
        return bench::childMain([&] { deleteFloor(location, ""); });
    if (task == "delete-user-work")
        return bench::childMain([&] {
            messaging::Session s = logon(location);
            calendar::deleteUserItems(s, "Mailbox - " + userName(3));
            s.Logoff();
        });
    if (task == "delete-user-floor")
        return bench::childMain([&] {
            deleteFloor(location, " AND subject >= '" + userTag(3) + "- ' AND subject < '" + userTag(3) + "-!'");
        });
    return 2;
}

void compare(const char *what, long items, const bench::Figures &work, const bench::Figures &floor)
{
    const auto n = static_cast<double>(items);
    std::printf("%-48s %9.0f items/s  peak %6.1f MiB | floor %9.0f items/s | ratio %.2f | client cpu %.2f s of %.2f s\n",
                what, n / work.seconds, static_cast<double>(work.peakKiB) / 1024.0, n / floor.seconds,
                work.seconds / floor.seconds, work.cpuSeconds, work.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], argv[3]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URI [users] [items per user] [shared items]\n", argv[0]);
        return 2;
    }
    const std::string server = argv[1];
    const int users = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int items = argc > 3 ? std::atoi(argv[3]) : 100;
    const int sharedItems = argc > 4 ? std::atoi(argv[4]) : 100000;
    Pg admin(server);
    auto fresh = [&](const std::string &name, const std::string &from = {}) {
        admin.value("DROP DATABASE IF EXISTS larkspur_bench_" + name + " WITH (FORCE)");
        admin.value("CREATE DATABASE larkspur_bench_" + name +
                    (from.empty() ? std::string() : " TEMPLATE larkspur_bench_" + from));
        return withDatabase(server, "larkspur_bench_" + name);
    };
    auto drop = [&](const std::string &name) { admin.value("DROP DATABASE IF EXISTS larkspur_bench_" + name + " WITH (FORCE)"); };

    generateCopyStore(fresh("copy"), users, items);
    {
        bench::Figures w, f;
        const std::string work = fresh("copy_work", "copy"), floor = fresh("copy_floor", "copy");
        for (int round = 0; round < Rounds; ++round) {
            if (round > 0) {
                fresh("copy_work", "copy");
                fresh("copy_floor", "copy");
            }
            w = faster(w, bench::runChild({"--child", "copy-work", work}));
            f = faster(f, bench::runChild({"--child", "copy-floor", floor}));
        }
        const std::int64_t copied = countShared(work);
        if (copied != countShared(floor))
            std::printf("  (the floor copied %" PRId64 " items, the work %" PRId64 ")\n", countShared(floor), copied);
        char what[96];
        std::snprintf(what, sizeof what, "copy all calendars (%d users x %d)", users, items);
        compare(what, static_cast<long>(copied), w, f);
    }
    for (const char *name : {"copy", "copy_work", "copy_floor"})
        drop(name);

    generateSharedStore(fresh("shared"), sharedItems);
    for (const std::string name : {"delete-all", "delete-user"}) {
        const std::string db = name == "delete-all" ? "all" : "user";
        const std::string work = fresh(db + "_work", "shared"), floor = fresh(db + "_floor", "shared");
        const std::int64_t before = countShared(work);
        bench::Figures w, f;
        for (int round = 0; round < Rounds; ++round) {
            if (round > 0) {
                fresh(db + "_work", "shared");
                fresh(db + "_floor", "shared");
            }
            w = faster(w, bench::runChild({"--child", name + "-work", work}));
            f = faster(f, bench::runChild({"--child", name + "-floor", floor}));
        }
        const std::int64_t deleted = before - countShared(work);
        if (deleted != before - countShared(floor))
            std::printf("  (the floor deleted %" PRId64 " items)\n", before - countShared(floor));
        char what[96];
        std::snprintf(what, sizeof what, name == "delete-all" ? "delete all items (%" PRId64 ")"
                                                             : "delete one user's items (of %" PRId64 ")", before);
        compare(what, static_cast<long>(deleted), w, f);
        drop(db + "_work");
        drop(db + "_floor");
    }
    drop("shared");
    return 0;
}
