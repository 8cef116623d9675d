// Installing event scripts on real store files: one folder, all users, and failures at
// every installation step leaving nothing half installed.
#include "StoreFixture.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using testsupport::BindingInfo;

const std::string handler(messaging::ScriptHandlerClassId);

class InstallScript : public ::testing::Test, public testsupport::StoreFixture {
protected:
    InstallScript() : scriptPath(dir() / "script.txt") { testsupport::writeBytes(scriptPath, "echo one\r\necho two\r\n"); }
    scripts::ScriptInstall install(const std::string &folder = "Calendar", const std::string &name = "Larkspur Calendar - Personal Calendar Folder",
                                   std::int16_t mask = 5)
    {
        return scripts::ScriptInstall{folder, name, mask, scriptPath.string()};
    }

    std::filesystem::path scriptPath;
};

const std::string twoLines = "\r\necho one\r\necho two";

TEST_F(InstallScript, OneBindingWithEverythingSetAnEmptyNameAndInstallingTwice)
{
    addUser("Bob");
    messaging::Session s = logon();
    scripts::installScript(s, "Mailbox - Bob", install("Calendar", "Larkspur Calendar - Personal Calendar Folder", 9));
    scripts::installScript(s, "Mailbox - Bob", install("Deleted Items", "", 1));
    scripts::installScript(s, "Mailbox - Bob", install("Deleted Items", "", 1));
    s.Logoff();
    EXPECT_EQ(bindings("Mailbox - Bob", {"Calendar"}),
              (std::vector<BindingInfo>{{"Larkspur Calendar - Personal Calendar Folder", true, 9, handler, twoLines}}));
    EXPECT_TRUE(bindings("Mailbox - Bob", {"Inbox"}).empty());
    const BindingInfo expected{"", true, 1, handler, twoLines};
    EXPECT_EQ(bindings("Mailbox - Bob", {"Deleted Items"}), (std::vector<BindingInfo>{expected, expected}));
}

struct InputCase {
    const char *name;
    std::string storeName;
    std::string folder;
    bool fileExists;
    std::int32_t number;
};
// What a failing case prints instead of its bytes.
void PrintTo(const InputCase &c, std::ostream *os) { *os << c.name; }

class InstallInput : public InstallScript, public ::testing::WithParamInterface<InputCase> {};

// The folder is opened before the file is read; either failing installs nothing.
TEST_P(InstallInput, FailsBeforeAnythingIsInstalled)
{
    addUser("Bob");
    if (!GetParam().fileExists)
        std::filesystem::remove(scriptPath);
    messaging::Session s = logon();
    try {
        scripts::installScript(s, GetParam().storeName, install(GetParam().folder));
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), GetParam().number);
    }
    s.Logoff();
    for (const char *folder : {"Calendar", "Inbox"})
        EXPECT_TRUE(bindings("Mailbox - Bob", {folder}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallInput,
    ::testing::Values(InputCase{"MissingFile", "Mailbox - Bob", "Calendar", false, messaging::ErrorCode::FileNotFound},
                      InputCase{"MissingFolder", "Mailbox - Bob", "Calender", true, messaging::ErrorCode::NotFound},
                      InputCase{"EmptyFolderName", "Mailbox - Bob", "", true, messaging::ErrorCode::NotFound},
                      InputCase{"FolderBeforeFile", "Mailbox - Bob", "Calender", false, messaging::ErrorCode::NotFound},
                      InputCase{"MissingStore", "Mailbox - Nobody", "Calendar", true, messaging::ErrorCode::NotFound}),
    [](const auto &tc) { return std::string(tc.param.name); });

class InstallStepFault : public InstallScript, public ::testing::WithParamInterface<const char *> {};

TEST_P(InstallStepFault, NothingHalfInstalledRemains)
{
    addUser("Bob");
    {
        messaging::Session s = logon();
        testsupport::addBinding(s, testsupport::calendarOf(s, "Mailbox - Bob"), "earlier");
        s.Logoff();
    }
    const std::vector<BindingInfo> before = bindings("Mailbox - Bob", {"Calendar"});
    messaging::faults::failCall(GetParam(), 1, messaging::ErrorCode::NoAccess);
    messaging::Session s = logon();
    try {
        scripts::installScript(s, "Mailbox - Bob", install());
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), messaging::ErrorCode::NoAccess);
        EXPECT_NE(e.description().find(GetParam()), std::string::npos) << e.description();
    }
    s.Logoff();
    messaging::faults::clear();
    EXPECT_EQ(bindings("Mailbox - Bob", {"Calendar"}), before);
}

INSTANTIATE_TEST_SUITE_P(Steps, InstallStepFault,
                         ::testing::Values("InfoStores.Item", "Folders.Item", "Events.Create", "Events.SetSession",
                                           "Events.BoundFolder", "BoundFolder.Bindings", "Bindings.Add",
                                           "Binding.SetName", "Binding.SetActive", "Binding.SetEventMask",
                                           "Binding.SetHandlerClassID", "Binding.SaveChanges", "Binding.EntryID",
                                           "Session.GetMessage", "Field.SetValue", "Message.Update",
                                           "Binding.SaveCustomChanges", "BoundFolder.SaveChanges"),
                         [](const auto &tc) {
                             std::string n = tc.param;
                             n.erase(n.find('.'), 1);
                             return n;
                         });

// Every store write failing in turn: the folder holds either the complete new binding or
// only what it held before.
TEST_F(InstallScript, FailedWriteAnywhereIsAllOrNothing)
{
    addUser("Bob");
    bool completed = false;
    for (int n = 1; n < 100 && !completed; ++n) {
        const testsupport::StoreFixture copy(*this);
        messaging::Session s = copy.logon();
        messaging::faults::failWrite(n);
        try {
            scripts::installScript(s, "Mailbox - Bob", install());
            completed = true;
        } catch (const messaging::Error &) {
        }
        messaging::faults::clear();
        s = copy.logon();
        const std::vector<BindingInfo> now = testsupport::bindingsOf(s, testsupport::calendarOf(s, "Mailbox - Bob"));
        if (completed) {
            EXPECT_EQ(now, (std::vector<BindingInfo>{{"Larkspur Calendar - Personal Calendar Folder", true, 5, handler, twoLines}}));
        } else {
            EXPECT_TRUE(now.empty()) << "write " << n;
        }
        s.Logoff();
    }
    EXPECT_TRUE(completed);
}

// --- all users --------------------------------------------------------------------------

TEST_F(InstallScript, AllUsersButExactlyTheAdministrator)
{
    addUser("administrator");
    addUser("Administrator2");
    addUser("Ann");
    addUser("Board", "T", messaging::DisplayType::DistList);
    addUser("Remote", "T", messaging::DisplayType::RemoteUser);
    messaging::Session s = logon();
    EXPECT_EQ(scripts::installScriptForAllUsers(s, install("Calendar", "all", 8)), 3);
    s.Logoff();
    const BindingInfo expected{"all", true, 8, handler, twoLines};
    EXPECT_TRUE(bindings("Mailbox - Administrator", {"Calendar"}).empty());
    for (const char *user : {"Mailbox - administrator", "Mailbox - Administrator2", "Mailbox - Ann"})
        EXPECT_EQ(bindings(user, {"Calendar"}), std::vector<BindingInfo>{expected}) << user;
}

struct StopCase {
    const char *name;
    bool bobShared;
    bool fileMissing;
    const char *failing; // a store call that fails the second time
    std::int32_t number;
    std::vector<std::size_t> installed; // bindings of Ann and Cid left
};
void PrintTo(const StopCase &c, std::ostream *os) { *os << c.name; }

class AllUsersStop : public InstallScript, public ::testing::WithParamInterface<StopCase> {};

// A failure at one user is the run's error: earlier users keep their complete binding,
// the failing user has none, later users are untouched.
TEST_P(AllUsersStop, EarlierUsersCompleteLaterUntouched)
{
    addUser("Ann");
    addUser("Bob", "T", 0, GetParam().bobShared);
    addUser("Cid");
    if (GetParam().fileMissing)
        std::filesystem::remove(scriptPath);
    if (*GetParam().failing)
        messaging::faults::failCall(GetParam().failing, 2);
    messaging::Session s = logon();
    try {
        scripts::installScriptForAllUsers(s, install());
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), GetParam().number);
        if (!GetParam().bobShared) {
            EXPECT_NE(e.description().find("Mailbox - Bob"), std::string::npos) << e.description();
        }
    }
    s.Logoff();
    messaging::faults::clear();
    const std::vector<BindingInfo> ann = bindings("Mailbox - Ann", {"Calendar"});
    EXPECT_EQ((std::vector<std::size_t>{ann.size(), bindings("Mailbox - Cid", {"Calendar"}).size()}),
              GetParam().installed);
    for (const BindingInfo &b : ann)
        EXPECT_EQ(b.script, twoLines);
    if (GetParam().bobShared) {
        EXPECT_TRUE(bindings("Mailbox - Bob", {"Calendar"}).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllUsersStop,
    ::testing::Values(StopCase{"UnsharedUser", false, false, "", messaging::ErrorCode::NotFound, {1, 0}},
                      StopCase{"MissingFile", true, true, "", messaging::ErrorCode::FileNotFound, {0, 0}},
                      // Ann's binding message is updated first, Bob's second.
                      StopCase{"UpdateFails", true, false, "Message.Update", messaging::ErrorCode::StoreFailure, {1, 0}}),
    [](const auto &tc) { return std::string(tc.param.name); });

} // namespace
