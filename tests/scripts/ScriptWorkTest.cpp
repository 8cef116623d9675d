// The work of the five event-script pages on real store files and real script files: the
// script text (against a plain model of the line rule too) and its file errors; scripts
// installed on one folder and for all users, all or nothing under failures injected into
// every step and every store write; scripts removed from a folder, a mailbox and every
// mailbox.
#include "StoreFixture.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/AddressLists.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>

#include <unistd.h>

namespace {

using namespace std::string_literals;
using testsupport::BindingInfo;
using testsupport::errorOf;
namespace Code = messaging::ErrorCode;

const std::string handler(messaging::ScriptHandlerClassId);
const std::string twoLines = "\r\necho one\r\necho two";
const std::string calendarScript = "Larkspur Calendar - Personal Calendar Folder";

// A folder of a store: its name and path below the root.
using Place = std::pair<std::string, std::vector<std::string>>;
// The number of bindings at each place.
using Layout = std::map<Place, int>;

class ScriptWork : public ::testing::Test, public testsupport::StoreFixture {
protected:
    ScriptWork() { testsupport::writeBytes(scriptPath, "echo one\r\necho two\r\n"); }
    scripts::ScriptInstall install(const std::string &folder = "Calendar") const
    {
        return scripts::ScriptInstall{folder, calendarScript, 5, scriptPath.string()};
    }
    // Makes the bindings of `layout`, creating subfolders below top-level folders as needed.
    void make(const Layout &layout) const
    {
        messaging::Session s = logon();
        for (const auto &[where, count] : layout) {
            messaging::Folder folder = s.InfoStores().Item(where.first).RootFolder();
            for (const std::string &name : where.second) {
                const messaging::Folders below = folder.Folders();
                if (errorOf([&] { folder = below.Item(name); }) != 0)
                    folder = below.Add(name);
            }
            for (int i = 0; i < count; ++i)
                testsupport::addBinding(s, folder, where.first + " " + std::to_string(i));
        }
    }
    // The number of bindings now at each place of `layout`.
    Layout now(const Layout &layout) const
    {
        Layout out;
        for (const auto &[where, count] : layout)
            out[where] = int(bindings(where.first, where.second).size());
        return out;
    }

    const std::filesystem::path scriptPath = dir() / "script.txt";
};

// --- the script text ---------------------------------------------------------------------
// (TextFile's line rule and file errors are tested with TextFile; here what the script
// pages pass: drive paths, and an empty name, which is no file at all)

struct TextCase {
    const char *name;
    std::string path;    // what the page passes; C:\script.txt holds `bytes`
    std::string bytes;
    std::string text;    // every line preceded by CR LF
    std::int32_t number; // the error expected instead, or 0
};
void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

class ScriptText : public ScriptWork, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ScriptText, EveryLinePrecededByCrLfOrANumberedFileError)
{
    const TextCase &c = GetParam();
    testsupport::writeBytes(driveC() / "script.txt", c.bytes);
    try {
        EXPECT_EQ(scripts::readScriptText(c.path), c.text);
        EXPECT_EQ(c.number, 0);
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), c.number);
        EXPECT_NE(e.description().find(c.path), std::string::npos) << e.description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScriptText,
    ::testing::Values(TextCase{"Empty", "C:\\script.txt", "", "", 0},
                      TextCase{"TwoLinesTerminated", "c:/script.txt", "a\r\nb\r\n", "\r\na\r\nb", 0},
                      TextCase{"MissingFile", "C:\\missing.txt", "", "", Code::FileNotFound},
                      TextCase{"EmptyPath", "", "", "", Code::PathFileAccessError}),
    [](const auto &tc) { return std::string(tc.param.name); });

// --- installing ----------------------------------------------------------------------------

struct InstallCase {
    std::string name;
    std::string storeName = "Mailbox - Bob";
    std::string folder = "Calendar";
    bool fileExists = true;
    std::string failing{}; // a call of the object model that fails
    std::int32_t number = Code::NoAccess;
};
void PrintTo(const InstallCase &c, std::ostream *os) { *os << c.name; }

// What the page gives wrongly, then a failure injected into each step in turn.
std::vector<InstallCase> installCases()
{
    std::vector<InstallCase> cases{{"MissingFile", "Mailbox - Bob", "Calendar", false, "", Code::FileNotFound},
                                   {"MissingFolder", "Mailbox - Bob", "Calender", true, "", Code::NotFound},
                                   {"EmptyFolderName", "Mailbox - Bob", "", true, "", Code::NotFound},
                                   // The folder is opened before the file is read.
                                   {"FolderBeforeFile", "Mailbox - Bob", "Calender", false, "", Code::NotFound},
                                   {"MissingStore", "Mailbox - Nobody", "Calendar", true, "", Code::NotFound}};
    for (std::string step : {"InfoStores.Item", "Folders.Item", "Events.Create", "Events.SetSession",
                             "Events.BoundFolder", "BoundFolder.Bindings", "Bindings.Add", "Binding.SetName",
                             "Binding.SetActive", "Binding.SetEventMask", "Binding.SetHandlerClassID",
                             "Binding.SaveChanges", "Binding.EntryID", "Session.GetMessage", "Field.SetValue",
                             "Message.Update", "Binding.SaveCustomChanges", "BoundFolder.SaveChanges"})
        cases.push_back({std::string(step).erase(step.find('.'), 1), "Mailbox - Bob", "Calendar", true, step});
    return cases;
}

class InstallFailure : public ScriptWork, public ::testing::WithParamInterface<InstallCase> {};

TEST_P(InstallFailure, NothingHalfInstalledRemains)
{
    const InstallCase &c = GetParam();
    addUser("Bob");
    make({{{"Mailbox - Bob", {"Calendar"}}, 1}});
    const std::vector<BindingInfo> before = bindings("Mailbox - Bob", {"Calendar"});
    if (!c.fileExists)
        std::filesystem::remove(scriptPath);
    if (!c.failing.empty())
        messaging::faults::failCall(c.failing, 1, Code::NoAccess);
    messaging::Session s = logon();
    EXPECT_EQ(errorOf([&] { scripts::installScript(s, c.storeName, install(c.folder)); }), c.number);
    s.Logoff();
    messaging::faults::clear();
    EXPECT_EQ(bindings("Mailbox - Bob", {"Calendar"}), before);
    EXPECT_TRUE(bindings("Mailbox - Bob", {"Inbox"}).empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallFailure, ::testing::ValuesIn(installCases()),
                         [](const auto &tc) { return tc.param.name; });

// Every store write failing in turn: the folder holds either the complete new binding or
// only what it held before.
TEST_F(ScriptWork, FailedWriteAnywhereIsAllOrNothing)
{
    addUser("Bob");
    bool completed = false;
    for (int n = 1; n < 100 && !completed; ++n) {
        const StoreFixture copy(*this);
        {
            messaging::Session s = copy.logon();
            messaging::faults::failWrite(n);
            completed = errorOf([&] { scripts::installScript(s, "Mailbox - Bob", install()); }) == 0;
            messaging::faults::clear();
        }
        const std::vector<BindingInfo> now = copy.bindings("Mailbox - Bob", {"Calendar"});
        if (completed)
            EXPECT_EQ(now, (std::vector<BindingInfo>{{calendarScript, true, 5, handler, twoLines}}));
        else
            EXPECT_TRUE(now.empty()) << "write " << n;
    }
    EXPECT_TRUE(completed);
}

struct StopCase {
    const char *name;
    bool remove;       // the removal from all mailboxes, else the installation for all users
    bool bobShared;
    bool fileMissing;
    const char *failing; // a store call that fails the second time
    std::int32_t number;
    std::vector<std::size_t> left; // bindings of Ann and Cid, who had one each before a removal
};
void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }

class AllUsersStop : public ScriptWork, public ::testing::WithParamInterface<StopCase> {};

// A failure at one user is the run's error: earlier users are done completely, the
// failing user is left as he was, later users are untouched.
TEST_P(AllUsersStop, EarlierUsersDoneLaterUntouched)
{
    const StopCase &c = GetParam();
    addUser("Ann");
    addUser("Bob", "T", 0, c.bobShared);
    addUser("Cid");
    if (c.remove)
        make({{{"Mailbox - Ann", {"Calendar"}}, 1}, {{"Mailbox - Cid", {"Calendar"}}, 1}});
    if (c.fileMissing)
        std::filesystem::remove(scriptPath);
    if (*c.failing)
        messaging::faults::failCall(c.failing, 2);
    messaging::Session s = logon();
    EXPECT_EQ(errorOf([&] {
                  c.remove ? void(scripts::deleteAllMailboxScripts(s)) : void(scripts::installScriptForAllUsers(s, install()));
              }),
              c.number);
    s.Logoff();
    messaging::faults::clear();
    const std::vector<BindingInfo> ann = bindings("Mailbox - Ann", {"Calendar"});
    EXPECT_EQ((std::vector<std::size_t>{ann.size(), bindings("Mailbox - Cid", {"Calendar"}).size()}), c.left);
    for (const BindingInfo &b : ann)
        EXPECT_EQ(b.script, twoLines);
    EXPECT_TRUE(!c.bobShared || bindings("Mailbox - Bob", {"Calendar"}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllUsersStop,
    ::testing::Values(StopCase{"UnsharedUser", false, false, false, "", Code::NotFound, {1, 0}},
                      StopCase{"MissingFile", false, true, true, "", Code::FileNotFound, {0, 0}},
                      // Ann's binding message is updated first, Bob's second.
                      StopCase{"UpdateFails", false, true, false, "Message.Update", Code::StoreFailure, {1, 0}},
                      StopCase{"RemovalAtAnUnsharedUser", true, false, false, "", Code::NotFound, {0, 1}}),
    [](const auto &tc) { return std::string(tc.param.name); });

// --- removing ------------------------------------------------------------------------------

struct RemovalCase {
    const char *name;
    std::function<int(messaging::Session &)> remove;
    int removed;
    std::vector<Place> emptied; // every other place keeps its bindings
};
void PrintTo(const RemovalCase &c, std::ostream *os) { *os << c.name; }

class Removal : public ScriptWork, public ::testing::WithParamInterface<RemovalCase> {};

// Only the folders directly below a mailbox's root lose their bindings, and the one
// mailbox named exactly "Mailbox - Administrator" keeps its own.
TEST_P(Removal, RemovesExactlyWhatItNames)
{
    for (const char *user : {"administrator", "Administrator2", "Ann", "Bob"})
        addUser(user);
    addUser("Board", "T", messaging::DisplayType::DistList);
    const Layout layout = {{{"Mailbox - Administrator", {"Calendar"}}, 2},
                           {{"Mailbox - administrator", {"Calendar"}}, 1},
                           {{"Mailbox - Administrator2", {"Inbox"}}, 2},
                           {{"Mailbox - Ann", {"Calendar"}}, 3},
                           {{"Mailbox - Ann", {"Calendar", "Team"}}, 1},
                           {{"Mailbox - Bob", {"Calendar"}}, 2},
                           {{"Mailbox - Bob", {"Inbox"}}, 1},
                           {{"Mailbox - Bob", {"Deleted Items"}}, 3},
                           {{"Mailbox - Bob", {"Tasks"}}, 0},
                           {{"Mailbox - Bob", {"Inbox", "Old", "Older"}}, 2}};
    make(layout);
    messaging::Session s = logon();
    EXPECT_EQ(GetParam().remove(s), GetParam().removed);
    s.Logoff();
    Layout expected = layout;
    for (const Place &place : GetParam().emptied)
        expected[place] = 0;
    EXPECT_EQ(now(layout), expected);
}

const Place bobCalendar{"Mailbox - Bob", {"Calendar"}};
const Place bobInbox{"Mailbox - Bob", {"Inbox"}};
const Place bobDeleted{"Mailbox - Bob", {"Deleted Items"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, Removal,
    ::testing::Values(
        RemovalCase{"OneFolder", [](auto &s) { return scripts::deleteFolderScripts(s, "Mailbox - Bob", "Calendar"); },
                    2, {bobCalendar}},
        RemovalCase{"FolderWithoutBindings",
                    [](auto &s) { return scripts::deleteFolderScripts(s, "Mailbox - Bob", "Tasks"); }, 0, {}},
        RemovalCase{"OneMailbox", [](auto &s) { return scripts::deleteMailboxScripts(s, "Mailbox - Bob"); }, 6,
                    {bobCalendar, bobInbox, bobDeleted}},
        RemovalCase{"AllMailboxes", [](auto &s) { return scripts::deleteAllMailboxScripts(s); }, 12,
                    {{"Mailbox - administrator", {"Calendar"}}, {"Mailbox - Administrator2", {"Inbox"}},
                     {"Mailbox - Ann", {"Calendar"}}, bobCalendar, bobInbox, bobDeleted}}),
    [](const auto &tc) { return std::string(tc.param.name); });

struct RemovalFault {
    const char *operation;
    int nth;
    int left; // bindings of the folder left after the failure
};
void PrintTo(const RemovalFault &c, std::ostream *os) { *os << c.operation << " " << c.nth; }

class FolderRemovalFault : public ScriptWork, public ::testing::WithParamInterface<RemovalFault> {};

TEST_P(FolderRemovalFault, DeletedStayDeletedTheRestStay)
{
    addUser("Bob");
    make({{bobCalendar, 3}});
    messaging::faults::failCall(GetParam().operation, GetParam().nth);
    messaging::Session s = logon();
    EXPECT_EQ(errorOf([&] { scripts::deleteFolderScripts(s, "Mailbox - Bob", "Calendar"); }), Code::StoreFailure);
    messaging::faults::clear();
    EXPECT_EQ(now({{bobCalendar, 3}}), (Layout{{bobCalendar, GetParam().left}}));
}

INSTANTIATE_TEST_SUITE_P(Steps, FolderRemovalFault,
                         ::testing::Values(RemovalFault{"Events.Create", 1, 3}, RemovalFault{"Events.BoundFolder", 1, 3},
                                           RemovalFault{"Binding.EntryID", 2, 2}, RemovalFault{"Session.GetMessage", 3, 1},
                                           RemovalFault{"Message.Delete", 1, 3}, RemovalFault{"Message.Delete", 3, 1}),
                         [](const auto &tc) {
                             std::string n = tc.param.operation;
                             return n.erase(n.find('.'), 1) + std::to_string(tc.param.nth);
                         });

} // namespace
