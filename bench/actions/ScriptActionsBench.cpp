// Benchmarks of the event-script work on generated stores, each against the plain-SQL
// floor of the same work measured in the same run on an identical copy of the store.
//
//   bench_script_actions [users=1000]
//
// Installs a script on the Calendar of every user, and deletes every script of every
// mailbox (three bindings per user); prints operations per second, peak memory and the
// ratio of the work's time to the floor's.
#include "BenchChild.h"
#include "BenchStores.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include "messaging/Events.h"
#include "messaging/PropTags.h"

#include <cstring>
#include <fstream>

namespace {

// --- the floors: the rows the work reads and writes, in prepared statements ----------

// The mail users but the administrator, in address-list order.
std::vector<std::string> mailUsers(bench::Sql &sql)
{
    std::vector<std::string> users;
    sqlite3_stmt *q = sql.prepare("SELECT name FROM address_entries WHERE display_type = 0 AND name <> "
                                  "'Administrator' ORDER BY name COLLATE NOCASE, id");
    while (sqlite3_step(q) == SQLITE_ROW)
        users.push_back(bench::Sql::text(q, 0));
    sqlite3_reset(q);
    return users;
}

void bindText(sqlite3_stmt *q, int i, const std::string &text)
{
    sqlite3_bind_text(q, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// A binding with its script on every user's Calendar; the script file read for each
// user, as the work does.
void installFloor(const std::filesystem::path &file, const std::filesystem::path &script)
{
    bench::Sql sql(file);
    bench::Batch batch(sql);
    for (const std::string &user : mailUsers(sql)) {
        sqlite3_stmt *f = sql.prepare("SELECT f.id FROM folders f JOIN stores s ON s.id = f.store_id JOIN folders r "
                                      "ON r.id = f.parent_id WHERE s.name = ? AND r.parent_id IS NULL AND f.name = ?");
        bindText(f, 1, "Mailbox - " + user);
        bindText(f, 2, "Calendar");
        if (sqlite3_step(f) != SQLITE_ROW)
            throw std::runtime_error("no calendar for " + user);
        const std::int64_t folder = sqlite3_column_int64(f, 0);
        sqlite3_reset(f);
        const std::string text = scripts::readScriptText(script.string());
        const std::string name = "Larkspur Calendar - Personal Calendar Folder";

        sqlite3_stmt *m = sql.prepare("INSERT INTO messages(folder_id, hidden, subject) VALUES(?, 1, ?)");
        sqlite3_bind_int64(m, 1, folder);
        bindText(m, 2, name);
        sql.done(m);
        const std::int64_t id = sql.lastId();
        sqlite3_stmt *b = sql.prepare(
            "INSERT INTO bindings(message_id, name, active, event_mask, handler_class) VALUES(?, ?, 1, 3, ?)");
        sqlite3_bind_int64(b, 1, id);
        bindText(b, 2, name);
        bindText(b, 3, std::string(messaging::ScriptHandlerClassId));
        sql.done(b);
        batch.wrote();
        sqlite3_stmt *t = sql.prepare("INSERT INTO message_fields(message_id, tag, type, value) VALUES(?, ?, 0, ?)");
        sqlite3_bind_int64(t, 1, id);
        sqlite3_bind_int64(t, 2, messaging::PropTag::ScriptText);
        bindText(t, 3, text);
        sql.done(t);
        batch.wrote();
        sqlite3_stmt *c = sql.prepare("UPDATE bindings SET custom_saved = 1 WHERE message_id = ?");
        sqlite3_bind_int64(c, 1, id);
        sql.done(c);
        sqlite3_stmt *bf = sql.prepare("INSERT INTO bound_folders(folder_id) VALUES(?) ON CONFLICT DO NOTHING");
        sqlite3_bind_int64(bf, 1, folder);
        sql.done(bf);
        batch.wrote();
    }
    batch.finish();
    sql.close();
}

// Every binding message of the folders directly below each user's root, deleted.
void deleteFloor(const std::filesystem::path &file)
{
    bench::Sql sql(file);
    bench::Batch batch(sql);
    for (const std::string &user : mailUsers(sql)) {
        std::vector<std::int64_t> folders;
        sqlite3_stmt *f = sql.prepare("SELECT f.id FROM folders f JOIN stores s ON s.id = f.store_id JOIN folders r "
                                      "ON r.id = f.parent_id WHERE s.name = ? AND r.parent_id IS NULL ORDER BY f.id");
        bindText(f, 1, "Mailbox - " + user);
        while (sqlite3_step(f) == SQLITE_ROW)
            folders.push_back(sqlite3_column_int64(f, 0));
        sqlite3_reset(f);
        for (const std::int64_t folder : folders) {
            std::vector<std::int64_t> bindings;
            sqlite3_stmt *b = sql.prepare("SELECT b.message_id FROM bindings b JOIN messages m ON m.id = b.message_id "
                                          "WHERE m.folder_id = ? ORDER BY b.message_id");
            sqlite3_bind_int64(b, 1, folder);
            while (sqlite3_step(b) == SQLITE_ROW)
                bindings.push_back(sqlite3_column_int64(b, 0));
            sqlite3_reset(b);
            for (const std::int64_t id : bindings) {
                sqlite3_stmt *d = sql.prepare("DELETE FROM messages WHERE id = ?");
                sqlite3_bind_int64(d, 1, id);
                sql.done(d);
                batch.wrote();
            }
        }
    }
    batch.finish();
    sql.close();
}

void compare(const char *what, long count, const bench::Figures &work, const bench::Figures &floor)
{
    bench::print(what, count, "bindings", work);
    bench::print("  plain-SQL floor", count, "bindings", floor);
    bench::printRatio(work, floor);
}

using bench::logon;

void generate(const std::filesystem::path &file, int users)
{
    messaging::ServerAdmin::createStore(file);
    bench::makeUsers(file, users);
}

void writeScript(const std::filesystem::path &path)
{
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 40; ++i)
        out << "Sub Folder_OnMessageCreated ' line " << i << " of a typical event script\r\n";
}

scripts::ScriptInstall install(const std::string &folder, const std::filesystem::path &script)
{
    return scripts::ScriptInstall{folder, "Larkspur Calendar - Personal Calendar Folder", 3, script.string()};
}

int child(const std::string &task, const std::filesystem::path &file, const std::filesystem::path &script)
{
    if (task == "install-all")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            scripts::installScriptForAllUsers(s, install("Calendar", script));
            s.Logoff();
        });
    if (task == "delete-all")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            scripts::deleteAllMailboxScripts(s);
            s.Logoff();
        });
    if (task == "install-floor")
        return bench::childMain([&] { installFloor(file, script); });
    if (task == "delete-floor")
        return bench::childMain([&] { deleteFloor(file); });
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], argv[3], argv[4]);

    const int users = argc > 1 ? std::atoi(argv[1]) : 1000;
    bench::TempDir dir;
    const auto file = dir.path() / "scripts.db";
    const auto script = dir.path() / "script.txt";
    writeScript(script);
    generate(file, users);
    bench::settle(file);

    // Each side runs on its own copy of the same store, three times.
    const auto work = dir.path() / "work.db";
    const auto floor = dir.path() / "floor.db";
    const bench::Figures installed =
        bench::bestOf(3, file, work, {"--child", "install-all", work.string(), script.string()});
    const bench::Figures installFloor =
        bench::bestOf(3, file, floor, {"--child", "install-floor", floor.string(), script.string()});
    char what[96];
    std::snprintf(what, sizeof what, "install a script for all users (%d)", users);
    compare(what, users, installed, installFloor);

    // Two further bindings per user, so each mailbox holds three.
    {
        messaging::Session s = logon(work);
        scripts::installScriptForAllUsers(s, install("Inbox", script));
        scripts::installScriptForAllUsers(s, install("Deleted Items", script));
        s.Logoff();
    }
    bench::settle(work);
    const auto three = dir.path() / "three.db";
    bench::copyStore(work, three);
    const bench::Figures deleted = bench::bestOf(3, three, work, {"--child", "delete-all", work.string(), script.string()});
    const bench::Figures deleteFloor =
        bench::bestOf(3, three, floor, {"--child", "delete-floor", floor.string(), script.string()});
    std::snprintf(what, sizeof what, "delete all scripts, all mailboxes (%d x 3)", users);
    compare(what, 3L * users, deleted, deleteFloor);
    std::printf("  %.0f mailboxes/s\n", deleted.seconds > 0 ? users / deleted.seconds : 0.0);
    return 0;
}
