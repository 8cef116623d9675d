// The switchboard's actions run unattended: each subcommand against the pages' own work
// on a twin of the same store, --dry-run leaving the store file as it was, the refresh
// of 100,000 items as a second process sees it and as a kill leaves it, and two
// refreshes at once.
#include "ToolTestSupport.h"

#include "ScriptStore.h"
#include "actions/calendar/CalendarActions.h"
#include "actions/scripts/ScriptActions.h"
#include "core/Error.h"
#include "messaging/AddressLists.h"

#include <gtest/gtest.h>

#include "TestStores.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <map>
#include <sstream>

using namespace tooltest;
using nlohmann::json;

namespace {

const std::string IdFile = "C:\\Larkspur Calendar ID.Txt";
const std::locale C = std::locale::classic();
using S = messaging::Session;

// A whole store as the pages see it: every item of every folder, the bindings of every
// mailbox's top-level folders, and the identifier file.
std::string state(const worktest::TempStore &store)
{
    std::ostringstream out;
    S s = store.logon();
    for (const auto &[path, item] : worktest::dumpAll(s))
        out << path << " | " << item.subject << " | " << item.text << " | " << item.sensitivity << " | "
            << item.stamp.value_or("-") << "\n";
    const messaging::InfoStores stores = s.InfoStores();
    for (std::int32_t i = 2; i <= stores.Count(); ++i)
        for (const messaging::Folder folder : stores.Item(i).RootFolder().Folders())
            for (const worktest::BindingInfo &b : worktest::bindingsOf(s, folder))
                out << stores.Item(i).Name() << "/" << folder.Name() << " binding " << b.name << " " << b.mask << " "
                    << b.active << " " << b.script << "\n";
    out << "id file: " << readFile(store.dir() / "drive_c" / "Larkspur Calendar ID.Txt");
    return out.str();
}

// Ann and Bob with calendars (a holiday, a private item), one item of each already in
// the shared calendar beside one entered there, bindings on two folders of every mailbox,
// a distribution list, and optionally "Zed", whose mailbox is not shared and who comes last.
void fill(worktest::TempStore &store, bool unsharedUser)
{
    messaging::ServerAdmin admin(store.file());
    admin.addUser("Ann", "AN", 0, true);
    admin.addUser("Bob", "BB", 0, true);
    admin.addUser("Board", std::nullopt, messaging::DisplayType::DistList, false);
    if (unsharedUser)
        admin.addUser("Zed", "ZZ", 0, false);
    S s = store.logon();
    worktest::addItems(worktest::calendarOf(s, "Mailbox - Ann"),
                       {{"Plan", "about the plan", 0, std::nullopt, 0, "Hall", 45000.375},
                        {"Off", "", 0, std::vector<std::string>{"Holiday"}, 1},
                        {"Doctor", "private", 2, std::vector<std::string>{"Personal"}}});
    worktest::addItems(worktest::calendarOf(s, "Mailbox - Bob"), {{"Review"}, {"Lunch", "", 1}});
    worktest::addItems(worktest::calendarOf(s, "Mailbox - Administrator"), {{"Budget"}});
    worktest::addItems(messaging::sharedCalendar(s), {{"AN- earlier"}, {"BB- earlier"}, {"Picnic"}});
    for (const char *mailbox : {"Mailbox - Ann", "Mailbox - Bob", "Mailbox - Administrator"}) {
        worktest::addBinding(s, worktest::folderAt(s, mailbox, {"Calendar"}), "cal");
        worktest::addBinding(s, worktest::folderAt(s, mailbox, {"Inbox"}), "in");
    }
}

using Work = std::function<std::int64_t(S &, const std::string &script)>;

struct ActionCase {
    const char *name;
    std::vector<std::string> args; // "{script}" stands for the script file
    bool unsharedUser;
    int exitCode;
    const char *count; // the command's JSON count that must be the work's result
    Work work;         // the pages' work on the twin; none: nothing changes
};
void PrintTo(const ActionCase &c, std::ostream *os) { *os << c.name; }

class Actions : public ::testing::TestWithParam<ActionCase> {};

TEST_P(Actions, DoWhatThePagesDoAndNothingOnADryRun)
{
    const ActionCase &c = GetParam();
    worktest::TempStore store;
    fill(store, c.unsharedUser);
    const std::string script = (store.dir() / "script.txt").string();
    writeFile(script, "Sub Folder_OnMessageCreated\r\nEnd Sub\r\n");
    const worktest::TempStore twin(store);
    std::vector<std::string> args;
    for (const std::string &a : c.args)
        args.push_back(a == "{script}" ? script : a);
    args.push_back("--json");
    const std::vector<std::string> env{"LC_ALL=C", "LARKSPUR_DRIVE_C=" + (store.dir() / "drive_c").string()};

    const std::string before = readFile(store.file());
    std::vector<std::string> dry = args;
    dry.push_back("--dry-run");
    EXPECT_EQ(runStore(store.file(), dry, env).exitCode, c.exitCode);
    EXPECT_TRUE(readFile(store.file()) == before) << "a dry run changed the store file";

    const RunResult r = runStore(store.file(), args, env);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (c.work) {
        ::setenv("LARKSPUR_DRIVE_C", (twin.dir() / "drive_c").c_str(), 1);
        S s = twin.logon();
        try {
            const std::int64_t n = c.work(s, script);
            EXPECT_TRUE(!c.count || json::parse(r.out)[c.count] == n) << c.count << " " << n << " in " << r.out;
        } catch (const messaging::Error &e) {
            EXPECT_NE(r.err.find(e.description()), std::string::npos) << r.err;
        }
        s.Logoff();
        ::unsetenv("LARKSPUR_DRIVE_C");
    }
    EXPECT_EQ(state(store), state(twin));
}

const Work copyAll = [](S &s, auto &) { return calendar::copyAllCalendars(s, C).itemsCopied; };
const Work refreshAll = [](S &s, auto &) {
    s.beginGroup();
    const std::int64_t copied = calendar::refreshSharedCalendar(s, C).copied.itemsCopied;
    s.commitGroup();
    return copied;
};
// The pages' script names and masks: "add" counts Schedule 1, New 2, Changed 4, Delete 8;
// "add-all" New 1, Changed 2, Delete 4, Schedule 8.
Work installed(const std::string &mailbox, const std::string &folder, const std::string &name, std::int16_t mask)
{
    return [=](S &s, const std::string &script) -> std::int64_t {
        const scripts::ScriptInstall what{folder, name, mask, script};
        if (mailbox.empty())
            return scripts::installScriptForAllUsers(s, what);
        scripts::installScript(s, mailbox, what);
        return 1;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Subcommands, Actions,
    ::testing::Values(
        ActionCase{"CopyUser", {"calendar", "copy-user", "Mailbox - Ann"}, false, 0, "copied",
                   [](S &s, auto &) { return calendar::copyUserCalendar(s, "Mailbox - Ann", C); }},
        ActionCase{"CopyUserEmpty", {"calendar", "copy-user", ""}, false, 2, nullptr, nullptr},
        ActionCase{"CopyAll", {"calendar", "copy-all"}, false, 0, "copied", copyAll},
        ActionCase{"CopyAllSkipsZed", {"calendar", "copy-all"}, true, 3, "copied", copyAll},
        ActionCase{"DeleteAll", {"calendar", "delete-all"}, false, 0, "deleted",
                   [](S &s, auto &) { return calendar::deleteAllItems(s); }},
        ActionCase{"DeleteUser", {"calendar", "delete-user", "Mailbox - Bob"}, false, 0, "deleted",
                   [](S &s, auto &) { return calendar::deleteUserItems(s, "Mailbox - Bob"); }},
        ActionCase{"Refresh", {"calendar", "refresh"}, false, 0, "copied", refreshAll},
        ActionCase{"RefreshSkipsZed", {"calendar", "refresh"}, true, 3, "copied", refreshAll},
        ActionCase{"Id", {"calendar", "id"}, false, 0, nullptr,
                   [](S &s, auto &) { return calendar::writeFolderIdentifier(s, IdFile).ID().empty() ? 0 : 1; }},
        ActionCase{"AddScript",
                   {"scripts", "add", "Mailbox - Ann", "Deleted Items", "--file", "{script}", "--events", "new,schedule"},
                   false, 0, "installed",
                   installed("Mailbox - Ann", "Deleted Items", "Larkspur Calendar - Deleted Items Folder", 3)},
        ActionCase{"AddScriptNoEvents", {"scripts", "add", "Mailbox - Ann", "Calendar", "--file", "{script}"}, false,
                   2, nullptr, nullptr},
        ActionCase{"AddScriptForAll",
                   {"scripts", "add-all", "Inbox", "--name", "", "--file", "{script}", "--events", "changed,delete"},
                   false, 0, "installed", installed("", "Inbox", "", 6)},
        ActionCase{"AddScriptForAllStopsAtZed",
                   {"scripts", "add-all", "Calendar", "--file", "{script}", "--events", "new"}, true, 1, "installed",
                   installed("", "Calendar", "Larkspur Calendar - Personal Calendar Folder", 1)},
        ActionCase{"RemoveFolder", {"scripts", "remove", "Mailbox - Ann", "Calendar"}, false, 0, "removed",
                   [](S &s, auto &) { return scripts::deleteFolderScripts(s, "Mailbox - Ann", "Calendar"); }},
        ActionCase{"RemoveMailbox", {"scripts", "remove-mailbox", "Mailbox - Ann"}, false, 0, "removed",
                   [](S &s, auto &) { return scripts::deleteMailboxScripts(s, "Mailbox - Ann"); }},
        ActionCase{"RemoveAll", {"scripts", "remove-all"}, false, 0, "removed",
                   [](S &s, auto &) { return scripts::deleteAllMailboxScripts(s); }}),
    [](const auto &param) { return std::string(param.param.name); });

// --- the refresh seen from outside ----------------------------------------------------

// A larkspur-store-test child, not waited for; its output is thrown away.
pid_t start(const std::filesystem::path &store, std::vector<std::string> args, const std::string &signalAt = "")
{
    static const int null = ::open("/dev/null", O_WRONLY);
    args.insert(args.begin(), {"--store", store.string()});
    std::vector<std::string> env;
    if (!signalAt.empty())
        env.push_back("LARKSPUR_SIGNAL_AT=" + signalAt);
    return spawn(LARKSPUR_STORE_TEST_EXE, args, env, null, null);
}

// Waits for a child to end (exit status, or 128 + signal) or, with `orStop`, to stop.
int await(pid_t pid, bool orStop = false)
{
    int status = 0;
    ::waitpid(pid, &status, orStop ? WUNTRACED : 0);
    if (WIFSTOPPED(status))
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The shared calendar in one statement, so in one snapshot: how many items, and how many
// of them are the old content's.
std::pair<int, int> sharedContent(sqlite3 *db)
{
    sqlite3_stmt *q = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT count(*), total(subject GLOB 'old *') FROM messages WHERE folder_id = "
                       "(SELECT id FROM folders WHERE name = 'Larkspur Calendar')",
                       -1, &q, nullptr);
    const bool row = sqlite3_step(q) == SQLITE_ROW;
    const std::pair<int, int> out{row ? sqlite3_column_int(q, 0) : -1, row ? sqlite3_column_int(q, 1) : -1};
    sqlite3_finalize(q);
    return out;
}

// `users` users with `perUser` calendar items each, and `old` items already shared.
void fillMany(worktest::TempStore &store, int users, int perUser, int old)
{
    messaging::ServerAdmin admin(store.file());
    for (int u = 0; u < users; ++u)
        admin.addUser("User " + std::to_string(u), "U" + std::to_string(u), 0, true);
    S s = store.logon();
    s.beginGroup();
    for (int u = 0; u <= users; ++u) {
        const bool shared = u == users;
        const messaging::Messages messages =
            (shared ? messaging::sharedCalendar(s) : worktest::calendarOf(s, "Mailbox - User " + std::to_string(u)))
                .Messages();
        for (int i = 0; i < (shared ? old : perUser); ++i) {
            messaging::Message m = messages.Add();
            m.SetSubject((shared ? "old " : "item ") + std::to_string(i));
            m.Update();
        }
    }
    s.commitGroup();
}

TEST(Refresh, ManyItemsAreReplacedWholeEvenWhenKilledHalfWay)
{
    if (teststores::onServer())
        GTEST_SKIP() << "reads the store file beside the run";
    constexpr int Users = 4, PerUser = 25000, Old = 3000;
    worktest::TempStore store;
    fillMany(store, Users, PerUser, Old);
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(store.file().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    const std::pair<int, int> oldContent{Old, Old}, newContent{Users * PerUser, 0};

    // Killed after half of the copies: the deletions and copies so far are undone.
    EXPECT_EQ(await(start(store.file(), {"calendar", "refresh"}, "copy:50000:KILL")), 128 + SIGKILL);
    EXPECT_EQ(sharedContent(db), oldContent);
    EXPECT_EQ(runStore(store.file(), {"check"}).exitCode, 0);

    // Read throughout a whole refresh: the old content or the new, never anything between.
    const pid_t child = start(store.file(), {"calendar", "refresh", "--quiet"});
    int status = 0;
    std::map<std::pair<int, int>, int> seen;
    for (int reads = 0; ::waitpid(child, &status, reads < 1000000 ? WNOHANG : 0) == 0; ++reads)
        ++seen[sharedContent(db)];
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ++seen[sharedContent(db)];
    sqlite3_close(db);
    for (const auto &[content, times] : seen)
        EXPECT_TRUE(content == oldContent || content == newContent)
            << content.first << " items, " << content.second << " old, seen " << times << " times";
    EXPECT_EQ(seen.count(newContent), 1u);
}

TEST(Refresh, TwoAtOnceOneRunsTheOtherExitsFourAWaitingOneRunsAfter)
{
    worktest::TempStore store;
    fillMany(store, 2, 3, 2);
    // Both may take the lock first; the one that does stops itself at its first copy, with
    // the lock held and its transaction open.
    const pid_t a = start(store.file(), {"calendar", "refresh"}, "copy:1:STOP");
    const pid_t b = start(store.file(), {"calendar", "refresh"}, "copy:1:STOP");
    int status = 0;
    const pid_t first = ::waitpid(-1, &status, WUNTRACED);
    const pid_t running = WIFSTOPPED(status) ? first : (first == a ? b : a);
    EXPECT_EQ(WIFSTOPPED(status) ? await(first == a ? b : a) : WEXITSTATUS(status), 4);
    if (!WIFSTOPPED(status)) {
        ASSERT_EQ(await(running, true), -1);
    }
    const pid_t waiting = start(store.file(), {"calendar", "copy-all", "--wait", "600"});
    ::kill(running, SIGCONT);
    EXPECT_EQ(await(running), 0);
    EXPECT_EQ(await(waiting), 0);
    // The refresh, then the waiting copy: every item twice.
    S s = store.logon();
    EXPECT_EQ(worktest::contents(messaging::sharedCalendar(s)).size(), 12u);
}

// Copy all and delete one user's items started together: while the copy holds the shared
// calendar, the deletion is told it is busy; afterwards it runs, and the store stays sound.
TEST(Refresh, CopyAllAndADeletionAtOnceTheSecondIsToldBusy)
{
    worktest::TempStore store;
    fillMany(store, 2, 3, 0);
    const pid_t copy = start(store.file(), {"calendar", "copy-all"}, "copy:1:STOP");
    ASSERT_EQ(await(copy, true), -1);
    EXPECT_EQ(await(start(store.file(), {"calendar", "delete-user", "Mailbox - User 0"})), 4);
    ::kill(copy, SIGCONT);
    EXPECT_EQ(await(copy), 0);
    EXPECT_EQ(await(start(store.file(), {"calendar", "delete-user", "Mailbox - User 0"})), 0);
    EXPECT_EQ(messaging::ServerAdmin(store.file()).check(), std::vector<std::string>());
    S s = store.logon();
    EXPECT_EQ(worktest::contents(messaging::sharedCalendar(s)).size(), 3u); // User 1's copies
}

} // namespace
