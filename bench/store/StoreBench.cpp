// Benchmarks of the store through the object model, each against the plain-SQL floor
// of the same work on the same schema, measured in the same run.
//
//   store_bench [--items N] [--case copy|delete|filter|all] [--dir DIR]
//
// copy    the copy loop of the copy actions: enumerate a calendar of N items, set the
//         stamp, Update, CopyTo the shared calendar, set the subject, Update
// delete  reverse deletion by position of N items
// filter  filter-and-delete of N/10 out of N items by subject prefix
//
// Each case runs in a child process of its own, so that its peak memory (ru_maxrss)
// is its own. Prints items per second, peak memory and time / floor time.
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int items = 100000;
    std::string which = "all";
    fs::path dir;
};

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Processor time (user and system) used by this process so far.
double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto tv = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return tv(usage.ru_utime) + tv(usage.ru_stime);
}

// Processor time of the last timed runs, for a figure less disturbed by other load.
double g_modelCpu = 1e300;
double g_floorCpu = 1e300;

std::int64_t folderId(store::Database &db, const char *storeName, const char *folderName)
{
    auto q = db.query("SELECT f.id FROM folders f JOIN stores s ON s.id = f.store_id WHERE s.name = ? AND f.name = ?");
    q.bind(1, storeName).bind(2, folderName);
    if (!q.step())
        throw std::runtime_error(std::string("no folder ") + folderName);
    return q.int64(0);
}

// A store whose folder holds n generated calendar items, each with one imported field.
// The subjects are "Item <i>", or with ownerShare > 0 every ownerShare-th one "AL- ..."
// and the rest "BS- ...".
void generate(const fs::path &path, const char *storeName, const char *folderName, int n, int ownerShare)
{
    messaging::ServerAdmin::createStore(path);
    messaging::ServerAdmin(path).addUser("Ann Lee", std::string("AL"));
    auto db = store::Database::open(path, false);
    db->configure();
    std::int64_t folder = folderId(*db, storeName, folderName);
    db->exec("BEGIN");
    db->query("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
              "INSERT INTO messages(folder_id, subject, body, sensitivity, categories, all_day, location, start, end) "
              "SELECT ?, CASE WHEN ? = 0 THEN 'Item ' || i WHEN i % ? = 0 THEN 'AL- Item ' || i "
              "ELSE 'BS- Item ' || i END, 'Agenda for meeting ' || i, i % 4, '4:Work', i % 7 = 0, "
              "'Room ' || (i % 20), 45000 + i / 10.0, 45000 + i / 10.0 + 0.0417 FROM n")
        .bind(1, std::int64_t(n))
        .bind(2, folder)
        .bind(3, std::int64_t(ownerShare))
        .bind(4, std::int64_t(ownerShare > 0 ? ownerShare : 1))
        .run();
    db->query("INSERT INTO message_fields(message_id, tag, type, value) "
              "SELECT id, ?, 0, 'BEGIN:VEVENT' || char(13, 10) || 'SUMMARY:' || subject FROM messages "
              "WHERE folder_id = ?")
        .bind(1, std::int64_t(messaging::PropTag::ICalendarSource))
        .bind(2, folder)
        .run();
    db->exec("COMMIT");
    db->exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

void copyStore(const fs::path &from, const fs::path &to)
{
    fs::remove(to);
    fs::remove(to.string() + "-wal");
    fs::remove(to.string() + "-shm");
    fs::copy_file(from, to);
}

messaging::Folder sharedCalendar(const messaging::Session &s)
{
    return s.InfoStores().Item("Public Folders").RootFolder().Folders().Item(2).Folders().Item("Larkspur Calendar");
}

// Times the plain-SQL work in one transaction, committed and checkpointed like a logoff.
double floorRun(const fs::path &path, const std::function<void(store::Database &)> &work)
{
    auto db = store::Database::open(path, false);
    db->configure();
    auto t0 = Clock::now();
    double c0 = cpuSeconds();
    db->exec("BEGIN IMMEDIATE");
    work(*db);
    db->exec("COMMIT");
    db->syncToDisk();
    db->exec("PRAGMA wal_checkpoint(PASSIVE)");
    g_floorCpu = std::min(g_floorCpu, cpuSeconds() - c0);
    return seconds(t0, Clock::now());
}

struct Result {
    double modelSeconds = 1e300;
    double floorSeconds = 1e300;
    long items = 0;
};

// The machine is shared: each side runs several times and its fastest run counts.
constexpr int kRepeats = 3;

Result runCopy(const Options &o, const fs::path &base)
{
    fs::path pristine = base / "copy-pristine.db";
    generate(pristine, "Mailbox - Ann Lee", "Calendar", o.items, 0);
    fs::path work = base / "copy.db";
    Result r;
    r.items = o.items;

    for (int rep = 0; rep < kRepeats; ++rep) {
        copyStore(pristine, work);
        r.floorSeconds = std::min(r.floorSeconds, floorRun(work, [&](store::Database &db) {
            std::int64_t cal = folderId(db, "Mailbox - Ann Lee", "Calendar");
            std::int64_t shared = folderId(db, "Public Folders", "Larkspur Calendar");
            db.query("UPDATE messages SET stamp = CASE all_day WHEN 0 THEN 'N' ELSE 'Y' END || ':' || "
                     "coalesce(location, '') || ':' || start || ':' || subject WHERE folder_id = ?")
                .bind(1, cal)
                .run();
            // The generated items have consecutive ids, and so do their copies: a copy's id
            // is its source's id plus a fixed offset.
            std::int64_t offset = 0;
            {
                auto q = db.query("SELECT (SELECT max(id) FROM messages) + 1 - min(id) FROM messages WHERE folder_id = ?");
                q.bind(1, cal);
                q.step();
                offset = q.int64(0);
            }
            db.query("INSERT INTO messages(folder_id, subject, body, sensitivity, categories, all_day, location, start, "
                     "end, stamp) SELECT ?, 'AL- ' || CASE sensitivity WHEN 2 THEN 'Private' ELSE subject END, "
                     "CASE sensitivity WHEN 2 THEN 'Private' ELSE body END, sensitivity, categories, all_day, location, "
                     "start, end, stamp FROM messages WHERE folder_id = ? ORDER BY id")
                .bind(1, shared)
                .bind(2, cal)
                .run();
            db.query("INSERT INTO message_fields(message_id, tag, type, value) "
                     "SELECT f.message_id + ?, f.tag, f.type, f.value FROM messages s "
                     "JOIN message_fields f ON f.message_id = s.id WHERE s.folder_id = ? AND f.tag <> ?")
                .bind(1, offset)
                .bind(2, cal)
                .bind(3, std::int64_t(messaging::PropTag::ICalendarUid))
                .run();
        }));

        copyStore(pristine, work);
        auto t0 = Clock::now();
        double c0 = cpuSeconds();
        {
            messaging::Session session(work);
            session.Logon("Administrator");
            std::string target = sharedCalendar(session).ID();
            messaging::Folder calendar =
                session.InfoStores().Item("Mailbox - Ann Lee").RootFolder().Folders().Item("Calendar");
            for (messaging::Message item : calendar.Messages()) {
                auto categories = item.Categories();
                if (categories && !categories->empty() && categories->front() == "Holiday")
                    continue;
                std::string flag = item.AllDayEvent() == 0 ? "N" : "Y";
                std::string stamp = flag + ":" + item.Location().value_or("") + ":" +
                                    messaging::toText(item.StartTime().value_or(0.0)) + ":" + item.Subject();
                item.SetStamp(stamp);
                item.Update();
                messaging::Message copy = item.CopyTo(target);
                if (copy.Sensitivity() == 2) {
                    copy.SetSubject("Private");
                    copy.SetText("Private");
                }
                copy.SetSubject("AL- " + copy.Subject());
                copy.Update();
            }
            session.Logoff();
        }
        r.modelSeconds = std::min(r.modelSeconds, seconds(t0, Clock::now()));
        g_modelCpu = std::min(g_modelCpu, cpuSeconds() - c0);
    }
    return r;
}

Result runDelete(const Options &o, const fs::path &base)
{
    fs::path pristine = base / "delete-pristine.db";
    generate(pristine, "Public Folders", "Larkspur Calendar", o.items, 0);
    fs::path work = base / "delete.db";
    Result r;
    r.items = o.items;

    for (int rep = 0; rep < kRepeats; ++rep) {
        copyStore(pristine, work);
        r.floorSeconds = std::min(r.floorSeconds, floorRun(work, [&](store::Database &db) {
            db.query("DELETE FROM messages WHERE folder_id = ?")
                .bind(1, folderId(db, "Public Folders", "Larkspur Calendar"))
                .run();
        }));

        copyStore(pristine, work);
        auto t0 = Clock::now();
        double c0 = cpuSeconds();
        {
            messaging::Session session(work);
            session.Logon("Administrator");
            messaging::Messages messages = sharedCalendar(session).Messages();
            const int n = messages.Count();
            for (int i = 1; i <= n; ++i)
                messages.Item(n - i + 1).Delete();
            session.Logoff();
        }
        r.modelSeconds = std::min(r.modelSeconds, seconds(t0, Clock::now()));
        g_modelCpu = std::min(g_modelCpu, cpuSeconds() - c0);
    }
    return r;
}

Result runFilter(const Options &o, const fs::path &base)
{
    fs::path pristine = base / "filter-pristine.db";
    generate(pristine, "Public Folders", "Larkspur Calendar", o.items, 10);
    fs::path work = base / "filter.db";
    Result r;

    for (int rep = 0; rep < kRepeats; ++rep) {
        copyStore(pristine, work);
        r.floorSeconds = std::min(r.floorSeconds, floorRun(work, [&](store::Database &db) {
            db.query("DELETE FROM messages WHERE folder_id = ? AND hidden = 0 AND subject >= ? AND subject < ?")
                .bind(1, folderId(db, "Public Folders", "Larkspur Calendar"))
                .bind(2, "AL- ")
                .bind(3, "AL-!")
                .run();
        }));

        copyStore(pristine, work);
        long deleted = 0;
        auto t0 = Clock::now();
        double c0 = cpuSeconds();
        {
            messaging::Session session(work);
            session.Logon("Administrator");
            messaging::Messages messages = sharedCalendar(session).Messages();
            messages.Filter().SetSubject("AL- ");
            for (messaging::Message m : messages) {
                m.Delete();
                ++deleted;
            }
            session.Logoff();
        }
        r.modelSeconds = std::min(r.modelSeconds, seconds(t0, Clock::now()));
        g_modelCpu = std::min(g_modelCpu, cpuSeconds() - c0);
        r.items = deleted;
    }
    return r;
}

// Runs one case in a child process and prints its line.
int runCase(const char *name, Result (*fn)(const Options &, const fs::path &), const Options &o,
            const fs::path &base)
{
    std::fflush(stdout);
    pid_t pid = ::fork();
    if (pid < 0)
        return 1;
    if (pid == 0) {
        int rc = 0;
        try {
            Result r = fn(o, base);
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage);
            double ratio = r.modelSeconds / r.floorSeconds;
            std::printf("%-7s items %7ld  object model %7.3f s  %8.0f items/s  floor %7.3f s  ratio %5.2f  "
                        "(cpu ratio %5.2f)  peak %5.1f MiB%s\n",
                        name, r.items, r.modelSeconds, static_cast<double>(r.items) / r.modelSeconds, r.floorSeconds, ratio,
                        g_modelCpu / g_floorCpu,
                        static_cast<double>(usage.ru_maxrss) / 1024.0, ratio <= 2.0 && usage.ru_maxrss < 64 * 1024 ? "" : "  (over target)");
        } catch (const std::exception &e) {
            std::fprintf(stderr, "%s: %s\n", name, e.what());
            rc = 1;
        }
        std::fflush(stdout);
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--items" && i + 1 < argc)
            o.items = std::max(10, std::atoi(argv[++i]));
        else if (a == "--case" && i + 1 < argc)
            o.which = argv[++i];
        else if (a == "--dir" && i + 1 < argc)
            o.dir = argv[++i];
        else {
            std::fprintf(stderr, "usage: store_bench [--items N] [--case copy|delete|filter|all] [--dir DIR]\n");
            return 2;
        }
    }
    std::random_device rd;
    fs::path base = o.dir.empty() ? fs::temp_directory_path() / ("larkspur-bench-" + std::to_string(rd())) : o.dir;
    fs::create_directories(base);
    int failures = 0;
    if (o.which == "copy" || o.which == "all")
        failures += runCase("copy", runCopy, o, base);
    if (o.which == "delete" || o.which == "all")
        failures += runCase("delete", runDelete, o, base);
    if (o.which == "filter" || o.which == "all")
        failures += runCase("filter", runFilter, o, base);
    if (o.dir.empty()) {
        std::error_code ec;
        fs::remove_all(base, ec);
    }
    return failures == 0 ? 0 : 1;
}
