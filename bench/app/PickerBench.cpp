// Opening a page with a mailbox picker over a store of many mailboxes, against the
// plain-SQL floor of what the picker's fill reads, measured in the same run.
//
//   bench_picker [mailboxes=10000] [rounds=5]
//   bench_picker --make <file> [mailboxes=10000]      (only the store, for a profiler)
//   bench_picker --child calendar-page <file>          (one round, LARKSPUR_STORE=<file>)
//
// Each round is a fresh process, as a page opened by "Next" is: the application is up
// and the switchboard shown, then the page is made, opened (its picker filled) and shown,
// and that is timed. The fastest round counts. Runs offscreen unless QT_QPA_PLATFORM
// says otherwise.
#include "BenchChild.h"

#include "actions/calendar/frmAUserPersonalCalendarToLarkspurCalendar.h"
#include "actions/scripts/frmDeleteAllScriptsFromOneMailbox.h"
#include "messaging/ServerAdmin.h"
#include "shell/AdminApplication.h"
#include "shell/frmSwitchboard.h"

#include <QComboBox>

#include <cstring>
#include <memory>
#include <unordered_set>

namespace {

// --- the floor: the picker fill's reads, in prepared statements --------------------------

// What the fill must read, as plain SQL would read it: the profile (logon), then every
// store the profile sees with its name, in position order (the public stores, the
// owner's mailbox, the mailboxes shared to it in the order of sharing, each once), and
// the names that begin with "Mailbox" kept. No widgets.
long floorReads(const std::filesystem::path &file)
{
    bench::Sql sql(file);
    sqlite3_stmt *p = sql.prepare("SELECT id, owner_entry FROM profiles WHERE name = 'Administrator'");
    if (sqlite3_step(p) != SQLITE_ROW)
        throw std::runtime_error("no profile");
    const std::int64_t profile = sqlite3_column_int64(p, 0);
    const std::int64_t owner = sqlite3_column_int64(p, 1);
    sqlite3_reset(p);

    std::unordered_set<std::int64_t> seen;
    std::vector<std::string> listed;
    auto take = [&](sqlite3_stmt *q) {
        while (sqlite3_step(q) == SQLITE_ROW) {
            std::string name = bench::Sql::text(q, 1);
            if (seen.insert(sqlite3_column_int64(q, 0)).second && name.compare(0, 7, "Mailbox") == 0)
                listed.push_back(std::move(name));
        }
        sqlite3_reset(q);
    };
    take(sql.prepare("SELECT id, name FROM stores WHERE kind = 1 ORDER BY id"));
    sqlite3_stmt *own = sql.prepare("SELECT id, name FROM stores WHERE kind = 2 AND owner_entry = ? ORDER BY id");
    sqlite3_bind_int64(own, 1, owner);
    take(own);
    sqlite3_stmt *shared = sql.prepare("SELECT s.id, s.name FROM shares sh JOIN stores s ON s.id = sh.store_id "
                                       "WHERE +sh.profile_id = ? ORDER BY sh.seq");
    sqlite3_bind_int64(shared, 1, profile);
    take(shared);
    sql.close();
    return static_cast<long>(listed.size());
}

// --- the page -----------------------------------------------------------------------------

template <class Page> int openPage(int argc, char **argv)
{
    shell::AdminApplication application(argc, argv);
    shell::setUpApplicationLook();
    // The program as the user has it before "Next": the switchboard up and drawn.
    auto switchboard = std::make_unique<shell::frmSwitchboard>();
    switchboard->show();
    QCoreApplication::processEvents();

    std::unique_ptr<Page> page;
    int listed = 0;
    const int status = bench::childMain([&] {
        page = std::make_unique<Page>();
        page->openPage();
        page->show();
        QCoreApplication::processEvents();
        listed = page->cboMailbox()->count();
    });
    return listed > 0 ? status : 1;
}

int child(const std::string &task, int argc, char **argv)
{
    if (task == "calendar-page")
        return openPage<calendar::frmAUserPersonalCalendarToLarkspurCalendar>(argc, argv);
    if (task == "script-page")
        return openPage<scripts::frmDeleteAllScriptsFromOneMailbox>(argc, argv);
    if (task == "floor")
        return bench::childMain([&] { floorReads(argv[3]); });
    return 2;
}

void generate(const std::filesystem::path &file, int mailboxes)
{
    messaging::ServerAdmin::createStore(file);
    messaging::ServerAdmin admin(file);
    admin.beginBatch();
    // The administrator's own mailbox is one of them.
    for (int u = 1; u < mailboxes; ++u) {
        char name[32];
        std::snprintf(name, sizeof name, "User%05d", u);
        admin.addUser(name, "T");
    }
    admin.commitBatch();
}

void compare(const char *what, long count, const bench::Figures &work, const bench::Figures &floor)
{
    bench::print(what, count, "mailboxes", work);
    bench::print("  plain-SQL floor", count, "mailboxes", floor);
    // The floor has no widgets, so the action benchmarks' target for the ratio does not
    // apply here; the page's own target is its time.
    std::printf("  ratio to the floor %.2f  (cpu ratio %.2f)  processor time %.1f ms (floor %.1f ms)%s\n",
                work.seconds / floor.seconds, work.cpuSeconds / floor.cpuSeconds, work.cpuSeconds * 1e3,
                floor.cpuSeconds * 1e3, work.seconds < 0.1 ? "" : "  (over 100 ms)");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], argc, argv);
    if (argc >= 3 && std::strcmp(argv[1], "--make") == 0) {
        generate(argv[2], argc > 3 ? std::atoi(argv[3]) : 10000);
        bench::settle(argv[2]);
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const int mailboxes = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    bench::TempDir dir;
    const auto file = dir.path() / "picker.db";
    generate(file, mailboxes);
    bench::settle(file);

    // The pages find the store where the program does.
    const auto work = dir.path() / "work.db";
    qputenv("LARKSPUR_STORE", QByteArray::fromStdString(work.string()));
    const bench::Figures floor = bench::bestOf(rounds, file, work, {"--child", "floor", work.string()});
    char what[96];
    std::snprintf(what, sizeof what, "open a calendar page, picker typed into (%d)", mailboxes);
    compare(what, mailboxes, bench::bestOf(rounds, file, work, {"--child", "calendar-page", work.string()}), floor);
    std::snprintf(what, sizeof what, "open a script page, picker list only (%d)", mailboxes);
    compare(what, mailboxes, bench::bestOf(rounds, file, work, {"--child", "script-page", work.string()}), floor);
    return 0;
}
