// larkspur-store as the administrator runs it: a child process on real store files.
// A store of the first version is upgraded when it is opened.
#include "ToolTestSupport.h"

#include "messaging/ServerAdmin.h"
#include "store/Schema.h"

#include "TestStores.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace tooltest;
using nlohmann::json;

using Cli = ToolStore;

TEST_F(Cli, TheStoreComesFromLarkspurStoreWhenNoOptionIsGiven)
{
    const RunResult r = runTool({"dump", kSharedCalendar, "--json"}, {"LARKSPUR_STORE=" + store().string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(json::parse(r.out), json::array());
}

TEST_F(Cli, UsersAreListedAsTheModelExpects)
{
    runOk(store(), {"user", "add", "Ann Lee", "--tag", "AL"});
    runOk(store(), {"user", "add", "Bob Stone", "--tag", "BOBST", "--unshared"});
    runOk(store(), {"user", "add", "All Staff", "--display-type", "1"});
    runOk(store(), {"user", "add", "carla Remote", "--display-type", "6", "--tag", "CR"});

    const RunResult r = runOk(store(), {"user", "list", "--json"});
    // Display-name order, letter case ignored.
    const json expected = json::parse(R"([
      {"name":"Administrator","display_type":0,"tag":"AD","mailbox":"Mailbox - Administrator","shared":true},
      {"name":"All Staff","display_type":1,"tag":null,"mailbox":null,"shared":false},
      {"name":"Ann Lee","display_type":0,"tag":"AL","mailbox":"Mailbox - Ann Lee","shared":true},
      {"name":"Bob Stone","display_type":0,"tag":"BOBST","mailbox":"Mailbox - Bob Stone","shared":false},
      {"name":"carla Remote","display_type":6,"tag":"CR","mailbox":null,"shared":false}])");
    EXPECT_EQ(json::parse(r.out), expected);
}

TEST_F(Cli, AnUnsharedMailboxIsReachedOnlyAfterSharing)
{
    runOk(store(), {"user", "add", "Bob Stone", "--unshared"});
    const RunResult hidden = runStore(store(), {"dump", "Mailbox - Bob Stone/Calendar"});
    EXPECT_NE(hidden.exitCode, 0);
    EXPECT_NE(hidden.err.find("share"), std::string::npos) << hidden.err;
    runOk(store(), {"share", "Mailbox - Bob Stone"});
    EXPECT_EQ(runStore(store(), {"dump", "Mailbox - Bob Stone/Calendar"}).exitCode, 0);
    runOk(store(), {"unshare", "Mailbox - Bob Stone"});
    EXPECT_NE(runStore(store(), {"dump", "Mailbox - Bob Stone/Calendar"}).exitCode, 0);
}

struct ItemCase {
    const char *name;
    std::vector<std::string> args;
    json expected; // fields of the dumped item that must match
};

void PrintTo(const ItemCase &c, std::ostream *os)
{
    *os << c.name;
}

class ItemAdd : public Cli, public ::testing::WithParamInterface<ItemCase> {};

TEST_P(ItemAdd, DumpShowsWhatWasAdded)
{
    std::vector<std::string> args{"item", "add", kAdminCalendar};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const RunResult r = runOk(store(), args);
    const json items = dumpFolder(store(), kAdminCalendar);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]["entry_id"], r.out.substr(0, r.out.find('\n')));
    for (const auto &[key, value] : GetParam().expected.items())
        EXPECT_EQ(items[0][key], value) << key;
}

INSTANTIATE_TEST_SUITE_P(
    Items, ItemAdd,
    ::testing::Values(
        ItemCase{"Plain", {"--subject", "Team meeting"},
                 json::parse(R"({"subject":"Team meeting","text":"","sensitivity":0,"categories":[],
                   "all_day":false,"location":null,"start":null,"end":null,"stamp":null})")},
        ItemCase{"Timed",
                 {"--subject", "Review", "--start", "2027-03-01T09:30", "--end", "2027-03-01T11:00", "--location",
                  "Room 101", "--text", "Bring figures"},
                 json::parse(R"({"start":"2027-03-01T09:30:00","end":"2027-03-01T11:00:00","location":"Room 101",
                   "text":"Bring figures"})")},
        ItemCase{"AllDayDefaultsToOneDay", {"--subject", "Holiday", "--start", "2027-12-24", "--all-day"},
                 json::parse(R"({"all_day":true,"start":"2027-12-24T00:00:00","end":"2027-12-25T00:00:00"})")},
        ItemCase{"CategoriesInOrder",
                 {"--subject", "Off", "--category", "Personal", "--category", "Holiday", "--sensitivity", "2"},
                 json::parse(R"({"categories":["Personal","Holiday"],"sensitivity":2})")},
        ItemCase{"EmptyLocation", {"--subject", "Call", "--location", ""}, json::parse(R"({"location":""})")}),
    [](const auto &pi) { return std::string(pi.param.name); });

namespace {

// larkspur-store run by the shell after `setup` (a umask, a file size limit that fails
// writes instead of ending the process).
RunResult runAfter(const std::string &setup, const std::vector<std::string> &args)
{
    std::vector<std::string> all{"-c", "trap '' XFSZ; " + setup + "; exec \"$0\" \"$@\"", LARKSPUR_STORE_EXE};
    all.insert(all.end(), args.begin(), args.end());
    return runProgram("/bin/sh", all);
}

struct BadInputCase {
    const char *name;
    std::vector<std::string> args; // after "--store <store>" unless they give --store
    const char *message;
    int exitCode;
    const char *damage = ""; // SQL run on the store first
    const char *setup = ":"; // for the shell that runs the tool
};

void PrintTo(const BadInputCase &c, std::ostream *os)
{
    *os << c.name;
}

class BadInput : public Cli, public ::testing::WithParamInterface<BadInputCase> {
protected:
    void SetUp() override
    {
        Cli::SetUp();
        messaging::ServerAdmin(store()).addUser("Administrator Calendar", std::nullopt);
    }
};

const char *const kFailsCheck = "fails its check";
const char *const kNoCalendar = "UPDATE folders SET name = 'Kalender' WHERE name = 'Calendar' AND store_id = "
                                "(SELECT id FROM stores WHERE name = 'Mailbox - Administrator Calendar')";
// What older versions let "user add" make: a mailbox whose name begins another's folder paths.
const char *const kSlashUser =
    "UPDATE address_entries SET name = 'Administrator/Calendar' WHERE name = 'Administrator Calendar';"
    "UPDATE stores SET name = 'Mailbox - Administrator/Calendar' WHERE name = 'Mailbox - Administrator Calendar'";

} // namespace

TEST_P(BadInput, FailsWithAMessageAndLeavesTheStoreAsItWas)
{
    const BadInputCase &c = GetParam();
    if (teststores::onServer() && std::string_view(c.setup).find("ulimit") != std::string_view::npos)
        GTEST_SKIP() << "a file size limit does not reach a database server";
    std::string_view damage = c.damage;
    while (!damage.empty()) {
        const auto end = damage.find(';');
        teststores::runSql(store(), std::string(damage.substr(0, end)));
        damage = end == std::string_view::npos ? std::string_view() : damage.substr(end + 1);
    }
    const std::string before = teststores::contents(store());
    std::vector<std::string> args = c.args;
    if (args.front() != "--store")
        args.insert(args.begin(), {"--store", store().string()});
    const RunResult r = runAfter(c.setup, args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(teststores::contents(store()) == before) << "the store changed";
    args.push_back("--force"); // what --force is for
    EXPECT_TRUE(c.message != kFailsCheck || runTool(args).exitCode == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInput,
    ::testing::Values(
        BadInputCase{"MalformedStart", {"item", "add", kAdminCalendar, "--subject", "x", "--start", "2027-02-30"},
                     "malformed date", 1},
        BadInputCase{"EndBeforeStart",
                     {"item", "add", kAdminCalendar, "--subject", "x", "--start", "2027-02-02", "--end", "2027-02-01"},
                     "before", 1},
        BadInputCase{"UnknownStore", {"item", "add", "Mailbox - Nobody/Calendar", "--subject", "x"},
                     "no store \"Mailbox - Nobody\"", 1},
        BadInputCase{"UnknownFolder", {"dump", "Mailbox - Administrator/Kalender"},
                     "no folder \"Kalender\" in \"Mailbox - Administrator\"", 1},
        BadInputCase{"UnknownMailboxToShare", {"share", "Mailbox - Nobody"}, "no mailbox", 1},
        BadInputCase{"DuplicateUser", {"user", "add", "Administrator"}, "Administrator", 1},
        BadInputCase{"InitOverAStore", {"init", "--demo"}, "already exists", 1},
        BadInputCase{"SensitivityOutOfRange", {"item", "add", kAdminCalendar, "--subject", "x", "--sensitivity", "7"},
                     "sensitivity", 2},
        BadInputCase{"ExportIntoAMissingDirectory", {"ics", "export", kAdminCalendar, "/nonexistent-dir/x.ics"},
                     "cannot write", 1},
        BadInputCase{"StrayByteInAName", {"user", "add", "Bad\xffName"}, "\"Bad\\xFFName\" is not valid UTF-8", 2},
        BadInputCase{"CutSequenceInASubject", {"item", "add", kAdminCalendar, "--subject", "caf\xc3"}, "UTF-8", 2},
        BadInputCase{"OverlongSlashInAPath", {"dump", "Mailbox - Administrator\xc0\xaf" "Calendar"}, "UTF-8", 2},
        BadInputCase{"SlashInAName", {"user", "add", "Ann Lee/Calendar"}, "cannot hold \"/\"", 2},
        BadInputCase{"EmptyStorePath", {"--store", "", "user", "list"}, "store path is empty", 2},
        BadInputCase{"AmbiguousPath", {"item", "add", kAdminCalendar, "--subject", "x"},
                     "of \"Mailbox - Administrator\" or of \"Mailbox - Administrator/Calendar\"", 1, kSlashUser},
        BadInputCase{"CommitFailsOnAFullDisk", {"item", "add", kAdminCalendar, "--subject", "x", "--text",
                     std::string(100000, 'x')}, "COMMIT", 1, "", "ulimit -f 64"},
        BadInputCase{"CheckFailsBeforeUserAdd", {"user", "add", "Bob"}, kFailsCheck, 1, kNoCalendar},
        BadInputCase{"CheckFailsBeforeImport",
                     {"ics", "import", kAdminCalendar, sample("icaljs-daily_recur.ics").string()}, kFailsCheck, 1,
                     kNoCalendar}),
    [](const auto &pi) { return std::string(pi.param.name); });

// The export holds private items: it is made 0600 even under umask 000, or keeps the modes of
// the file it replaces, and it is never written through a link planted at a name one can guess.
TEST_F(Cli, ExportIsPrivateAndNeverWritesThroughAPlantedLink)
{
    namespace fs = std::filesystem;
    const fs::path out = dir() / "cal.ics", victim = dir() / "victim", oldTemporary = dir() / "cal.ics.part";
    const struct {
        fs::path link;
        int existing, mode;
    } cases[] = {{{}, 0, 0600}, {{}, 0640, 0640}, {oldTemporary, 0, 0600}, {out, 0, 0600}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.link.string() + " " + std::to_string(c.existing));
        fs::remove(out);
        fs::remove(oldTemporary);
        writeFile(victim, "not yours");
        if (c.existing)
            writeFile(out, "old export"), fs::permissions(out, static_cast<fs::perms>(c.existing));
        if (!c.link.empty())
            fs::create_symlink(victim, c.link);
        const RunResult r = runAfter("umask 000", {"--store", store().string(), "ics", "export", kAdminCalendar, out});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readFile(victim), "not yours");
        EXPECT_EQ(fs::symlink_status(out).permissions(), static_cast<fs::perms>(c.mode)); // a file, not a link
        EXPECT_EQ(readFile(out).rfind("BEGIN:VCALENDAR", 0), 0u);
    }
    // The store (a file), drive C:, the victim, the export.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir()), {}), teststores::onServer() ? 3 : 4);
}

TEST_F(Cli, InitOnAFullDiskLeavesNothingBehindAndAMissingStoreIsNotMade)
{
    if (teststores::onServer())
        GTEST_SKIP() << "about store files; a file size limit does not reach a database server";
    const std::filesystem::path folder = dir() / "new";
    std::filesystem::create_directory(folder);
    const RunResult missing = runStore(folder / "none.db", {"dump", kAdminCalendar});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find("no store"), std::string::npos) << missing.err;
    const std::vector<std::string> init{"--store", (folder / "s.db").string(), "init", "--demo", "--users", "40", "--items", "100"};
    const RunResult full = runAfter("ulimit -f 512", init);
    EXPECT_EQ(full.exitCode, 1) << full.err;
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    EXPECT_EQ(runTool(init).exitCode, 0); // nothing in the way of the next init
}

TEST_F(Cli, IdMatchesTheObjectModelsFolderId)
{
    EXPECT_EQ(runOk(store(), {"id", kSharedCalendar}).out, messaging::sharedCalendar(logon()).ID() + "\n");
}

TEST_F(Cli, ChangesAreAnsweredFromTheLogAndATooOldRevisionIsSaidSo)
{
    const auto revision = [&] { return std::stoll(runStore(store(), {"revision", kSharedCalendar}).out); };
    const long long before = revision();
    const RunResult added = runOk(store(), {"item", "add", kSharedCalendar, "--subject", "Team day"});
    EXPECT_GT(revision(), before);
    const RunResult r = runOk(store(), {"changes", kSharedCalendar, "--since", std::to_string(before), "--json"});
    const json changes = json::parse(r.out);
    EXPECT_EQ(changes["revision"], revision());
    EXPECT_EQ(changes["too_old"], false);
    EXPECT_EQ(changes["changes"], json::parse(R"([{"entry_id":")" + added.out.substr(0, added.out.find('\n')) +
                                              R"(","revision":)" + std::to_string(revision()) + R"(,"kind":"added"}])"));
    const RunResult future = runStore(store(), {"changes", kSharedCalendar, "--since", "999999", "--json"});
    EXPECT_EQ(future.exitCode, 3);
    EXPECT_EQ(json::parse(future.out)["too_old"], true);
}

TEST_F(Cli, BindingsShowWhatTheEventServiceSaved)
{
    EXPECT_EQ(json::parse(runStore(store(), {"bindings", kAdminCalendar, "--json"}).out), json::array());
    messaging::Session session = logon();
    const std::string entryId = worktest::addBinding(session, worktest::calendarOf(session, "Mailbox - Administrator"), "Notify");
    session.Logoff();
    const json expected = {{{"entry_id", entryId}, {"name", "Notify"}, {"active", true}, {"event_mask", 1},
                            {"handler_class_id", messaging::ScriptHandlerClassId}, {"script", "\r\nrem Notify"}}};
    EXPECT_EQ(json::parse(runOk(store(), {"bindings", kAdminCalendar, "--json"}).out), expected);
    // The hidden binding message is not among the folder's messages.
    EXPECT_EQ(dumpFolder(store(), kAdminCalendar), json::array());
}

TEST_F(Cli, CheckReportsADamagedStore)
{
    runOk(store(), {"check"});
    if (teststores::onServer()) {
        teststores::runSql(store(), "UPDATE folders SET name = 'Kalender' WHERE name = 'Calendar'");
    } else {
        // Scribble over the page header of every page after the first.
        const auto size = std::filesystem::file_size(store());
        std::fstream f(store(), std::ios::in | std::ios::out | std::ios::binary);
        const std::string garbage(12, '\x5A');
        for (std::uintmax_t page = 4096; page < size; page += 4096) {
            f.seekp(static_cast<std::streamoff>(page));
            f.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
        }
    }
    const RunResult r = runStore(store(), {"check"});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(r.err.empty());
}

// As the earlier program left a store: Ann Lee's private item copied into the shared
// calendar with all it had (its stamp from an older location), beside a copy already
// masked and a public one.
const std::string kFirstVersionRows =
    "INSERT INTO address_lists VALUES(1, 'Global Address List');"
    "INSERT INTO address_entries VALUES(1, 1, 'Administrator', 0), (2, 1, 'Ann Lee', 0);"
    "INSERT INTO entry_fields VALUES(1, 0x802D001E, 0, 'A'), (2, 0x802D001E, 0, 'AL');"
    "INSERT INTO profiles VALUES(1, 'Administrator', 1);"
    "INSERT INTO stores VALUES(1, 'Public Folders', 0, NULL), (2, 'Mailbox - Ann Lee', 1, 2);"
    "INSERT INTO folders VALUES(1, 1, NULL, 'Public Folders'), (2, 1, 1, 'Favorites'), (3, 1, 1, 'All Public Folders'),"
    "  (4, 1, 3, 'Larkspur Calendar'), (5, 2, NULL, 'Top of Information Store'), (6, 2, 5, 'Calendar');"
    "INSERT INTO messages(id, folder_id, subject, body, sensitivity, categories, location, start, stamp) VALUES"
    "  (1, 6, 'Oncology', 'Biopsy', 2, '7:Medical', 'Clinic', 46346.375, 'N:Clinic:46346.375:Oncology'),"
    "  (2, 4, 'AL- Oncology', 'Biopsy', 2, '7:Medical', 'Clinic', 46346.375, 'N:Old: Clinic:46346.375:Oncology'),"
    "  (3, 4, 'AL- Private', 'Private', 2, NULL, NULL, 46346.375, 'N::46346.375:Private'),"
    "  (4, 4, 'AL- Lunch', 'Pizza', 0, NULL, 'Canteen', 46348.5, 'N:Canteen:46348.5:Lunch');"
    "INSERT INTO message_fields VALUES (1, 0x8102001E, 0, 'ward 4'), (2, 0x8102001E, 0, 'ward 4'), (2, 0x8100001E, 0,"
    "  'BEGIN:VEVENT\nDTSTART:20261120T090000\nATTENDEE:mailto:r@clinic\nBEGIN:VALARM\nEND:VALARM\nEND:VEVENT\n');";

std::string rowsOf(store::Database &db)
{
    auto q = db.query("SELECT (SELECT group_concat(quote(subject) || quote(body) || quote(location) || quote(stamp)) "
                      "FROM messages) || (SELECT group_concat(tag || value) FROM message_fields)");
    return q.step() ? q.text(0) : std::string();
}

std::unique_ptr<store::Database> openFile(const std::filesystem::path &path, bool create = false)
{
    auto db = store::Database::open(path, create);
    db->configure();
    return db;
}

TEST_F(Cli, AFirstVersionStoreIsMaskedWholeOrNotAtAll)
{
    if (teststores::onServer())
        GTEST_SKIP() << "stores of the first version were files";
    const std::filesystem::path v1 = dir() / "v1.db";
    store::createSchema(*openFile(v1, true), 1);
    openFile(v1)->exec(kFirstVersionRows);
    // Every write of the upgrade failing in turn leaves the file as it was.
    for (int n = 1;; ++n) {
        const std::filesystem::path copy = dir() / ("write" + std::to_string(n) + ".db");
        std::filesystem::copy_file(v1, copy);
        auto db = openFile(copy);
        const std::string before = rowsOf(*db);
        messaging::faults::clear();
        messaging::faults::failWrite(n);
        try {
            store::upgradeSchema(*db);
            EXPECT_GT(n, 1);
            break;
        } catch (const store::StoreError &) {
            EXPECT_EQ(store::schemaVersion(*db), 1);
            EXPECT_EQ(rowsOf(*db), before);
        }
    }
    messaging::faults::clear();
    // The tool upgrades the file as it opens it and finds it sound: only the leaking copy
    // changed.
    const RunResult check = runStore(v1, {"check"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(rowsOf(*openFile(v1)),
              "'Oncology''Biopsy''Clinic''N:Clinic:46346.375:Oncology','AL- Private''Private'NULL'N::46346.375:Private',"
              "'AL- Private''Private'NULL'N::46346.375:Private','AL- Lunch''Pizza''Canteen''N:Canteen:46348.5:Lunch'"
              "2164391966ward 4,2164260894BEGIN:VEVENT\r\nDTSTART:20261120T090000\r\nEND:VEVENT\r\n");

    // Without the shared calendar every calendar action fails: check says so.
    openFile(v1)->exec("UPDATE folders SET name = 'Calendar 2026' WHERE id = 4");
    EXPECT_NE(runStore(v1, {"check"}).err.find("no shared calendar"), std::string::npos);
}

TEST_F(Cli, DemoIsDeterministicForASeedAndHasEveryKindOfItem)
{
    std::vector<std::filesystem::path> stores; // seeds 42, 42, 43
    for (const char *seed : {"42", "42", "43"}) {
        stores.push_back(teststores::newLocation(dir(), "demo" + std::to_string(stores.size()) + ".db"));
        runOk(stores.back(), {"init", "--demo", "--users", "4", "--items", "20", "--seed", seed, "--from", "2027-03-01"});
    }
    const json users = json::parse(runOk(stores[0], {"user", "list", "--json"}).out);
    EXPECT_EQ(users, json::parse(runOk(stores[1], {"user", "list", "--json"}).out));
    std::multiset<int> types;
    std::set<std::string> firstFour; // of the tags: two are alike in their first four letters
    bool anyDifference = false;
    for (const json &u : users) {
        types.insert(u["display_type"].get<int>());
        if (u["display_type"] != 0 || u["name"] == "Administrator")
            continue;
        const std::string tag = u["tag"], calendar = u["mailbox"].get<std::string>() + "/Calendar";
        EXPECT_TRUE(tag.size() >= 2 && tag.size() <= 5) << tag;
        firstFour.insert(tag.substr(0, 4));
        const json items = withoutIds(dumpFolder(stores[0], calendar));
        EXPECT_EQ(items, withoutIds(dumpFolder(stores[1], calendar)));
        anyDifference = anyDifference || items != withoutIds(dumpFolder(stores[2], calendar));
        ASSERT_EQ(items.size(), 20u);
        std::set<std::string> kinds; // every kind of item occurs in every calendar
        for (const json &item : items) {
            const json &cats = item["categories"];
            kinds.insert(item["sensitivity"] == 2 ? "private" : "");
            kinds.insert(!cats.empty() && cats[0] == "Holiday" ? "holiday first" : "");
            kinds.insert(!cats.empty() && std::find(std::next(cats.begin()), cats.end(), "Holiday") != cats.end()
                             ? "holiday later" : "");
            kinds.insert(item["all_day"].get<bool>() ? "all day" : "");
            kinds.insert(item["location"].is_null() ? "no location" : "location");
            EXPECT_TRUE(item["start"] >= "2027-03-01" && item["start"] < "2027-04-12") << item["start"];
        }
        EXPECT_EQ(kinds, (std::set<std::string>{"", "private", "holiday first", "holiday later", "all day",
                                                "location", "no location"})) << calendar;
    }
    EXPECT_EQ(types, (std::multiset<int>{0, 0, 0, 0, 0, 1, 6}));
    EXPECT_LT(firstFour.size(), 4u);
    EXPECT_TRUE(anyDifference);
    runOk(stores[0], {"check"});
    for (const auto &location : stores)
        teststores::release(location);
}
