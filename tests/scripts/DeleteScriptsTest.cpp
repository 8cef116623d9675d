// Removing event scripts on real store files: one folder, one mailbox, all mailboxes.
#include "ScriptStore.h"

#include "actions/scripts/ScriptActions.h"
#include "core/Error.h"
#include "messaging/AddressLists.h"

#include <gtest/gtest.h>

#include <ostream>

#include <map>

namespace {

// Where the bindings of a test sit: store name and folder path -> number of bindings.
using Layout = std::map<std::pair<std::string, std::vector<std::string>>, int>;

class DeleteScripts : public ::testing::Test, public worktest::StoreWork {
protected:
    // Makes the bindings of `layout`, creating subfolders below top-level folders as needed.
    void make(const Layout &layout)
    {
        messaging::Session s = store.logon();
        for (const auto &[where, count] : layout) {
            const auto &[storeName, path] = where;
            messaging::Folder folder = s.InfoStores().Item(storeName).RootFolder();
            for (const std::string &name : path) {
                const messaging::Folders below = folder.Folders();
                try {
                    folder = below.Item(name);
                } catch (const messaging::Error &) {
                    folder = below.Add(name);
                }
            }
            for (int i = 0; i < count; ++i)
                worktest::addBinding(s, folder, storeName + " " + std::to_string(i));
        }
        s.Logoff();
    }
    // The number of bindings now at each place of `layout`.
    Layout now(const Layout &layout)
    {
        messaging::Session s = store.logon();
        Layout out;
        for (const auto &[where, count] : layout)
            out[where] = static_cast<int>(
                worktest::bindingsOf(s, worktest::folderAt(s, where.first, where.second)).size());
        return out;
    }
};

TEST_F(DeleteScripts, OneFolderWithZeroAndThreeBindings)
{
    addUser("Bob");
    addUser("Eve");
    const Layout layout = {{{"Mailbox - Bob", {"Calendar"}}, 3},
                           {{"Mailbox - Bob", {"Inbox"}}, 1},
                           {{"Mailbox - Bob", {"Tasks"}}, 0},
                           {{"Mailbox - Eve", {"Calendar"}}, 2}};
    make(layout);
    messaging::Session s = store.logon();
    EXPECT_EQ(scripts::deleteFolderScripts(s, "Mailbox - Bob", "Calendar"), 3);
    EXPECT_EQ(scripts::deleteFolderScripts(s, "Mailbox - Bob", "Calendar"), 0);
    EXPECT_EQ(scripts::deleteFolderScripts(s, "Mailbox - Bob", "Tasks"), 0);
    s.Logoff();
    Layout expected = layout;
    expected[{"Mailbox - Bob", {"Calendar"}}] = 0;
    EXPECT_EQ(now(layout), expected);
}

TEST_F(DeleteScripts, OneMailboxLeavesDeeperFoldersAndOtherMailboxes)
{
    addUser("Bob");
    addUser("Eve");
    const Layout layout = {{{"Mailbox - Bob", {"Calendar"}}, 2},
                           {{"Mailbox - Bob", {"Inbox"}}, 1},
                           {{"Mailbox - Bob", {"Deleted Items"}}, 3},
                           {{"Mailbox - Bob", {"Calendar", "Team"}}, 1},
                           {{"Mailbox - Bob", {"Inbox", "Old", "Older"}}, 2},
                           {{"Mailbox - Eve", {"Calendar"}}, 1}};
    make(layout);
    messaging::Session s = store.logon();
    messaging::faults::clear();
    EXPECT_EQ(scripts::deleteMailboxScripts(s, "Mailbox - Bob"), 6);
    EXPECT_EQ(messaging::faults::callCount("Events.Create"), 1);
    s.Logoff();
    Layout expected = layout;
    expected[{"Mailbox - Bob", {"Calendar"}}] = 0;
    expected[{"Mailbox - Bob", {"Inbox"}}] = 0;
    expected[{"Mailbox - Bob", {"Deleted Items"}}] = 0;
    EXPECT_EQ(now(layout), expected);
}

TEST_F(DeleteScripts, AllMailboxesButExactlyTheAdministrator)
{
    addUser("administrator");
    addUser("Administrator2");
    addUser("Ann");
    addUser("Board", "T", messaging::DisplayType::DistList);
    const Layout layout = {{{"Mailbox - Administrator", {"Calendar"}}, 2},
                           {{"Mailbox - administrator", {"Calendar"}}, 1},
                           {{"Mailbox - Administrator2", {"Inbox"}}, 2},
                           {{"Mailbox - Ann", {"Calendar"}}, 3},
                           {{"Mailbox - Ann", {"Calendar", "Team"}}, 1}};
    make(layout);
    messaging::Session s = store.logon();
    messaging::faults::clear();
    EXPECT_EQ(scripts::deleteAllMailboxScripts(s), 6);
    // A fresh events object for every mailbox walked.
    EXPECT_EQ(messaging::faults::callCount("Events.Create"), 3);
    s.Logoff();
    const Layout expected = {{{"Mailbox - Administrator", {"Calendar"}}, 2},
                             {{"Mailbox - administrator", {"Calendar"}}, 0},
                             {{"Mailbox - Administrator2", {"Inbox"}}, 0},
                             {{"Mailbox - Ann", {"Calendar"}}, 0},
                             {{"Mailbox - Ann", {"Calendar", "Team"}}, 1}};
    EXPECT_EQ(now(layout), expected);
}

TEST_F(DeleteScripts, UnsharedMailboxStopsTheRunThere)
{
    addUser("Ann");
    addUser("Bob", "T", 0, /*shared=*/false);
    addUser("Cid");
    const Layout layout = {{{"Mailbox - Ann", {"Calendar"}}, 1}, {{"Mailbox - Cid", {"Calendar"}}, 1}};
    make(layout);
    messaging::Session s = store.logon();
    try {
        scripts::deleteAllMailboxScripts(s);
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), messaging::ErrorCode::NotFound);
    }
    s.Logoff();
    const Layout expected = {{{"Mailbox - Ann", {"Calendar"}}, 0}, {{"Mailbox - Cid", {"Calendar"}}, 1}};
    EXPECT_EQ(now(layout), expected);
}

struct RemovalFault {
    const char *operation;
    int nth;
    int left; // bindings of the folder left after the failure
};
// What a failing case prints instead of its bytes.
void PrintTo(const RemovalFault &c, std::ostream *os) { *os << c.operation << " " << c.nth; }

class FolderRemovalFault : public DeleteScripts, public ::testing::WithParamInterface<RemovalFault> {};

TEST_P(FolderRemovalFault, DeletedStayDeletedTheRestStay)
{
    addUser("Bob");
    const Layout layout = {{{"Mailbox - Bob", {"Calendar"}}, 3}};
    make(layout);
    messaging::faults::failCall(GetParam().operation, GetParam().nth);
    messaging::Session s = store.logon();
    EXPECT_THROW(scripts::deleteFolderScripts(s, "Mailbox - Bob", "Calendar"), messaging::Error);
    messaging::faults::clear();
    EXPECT_EQ(now(layout), (Layout{{{"Mailbox - Bob", {"Calendar"}}, GetParam().left}}));
}

INSTANTIATE_TEST_SUITE_P(Steps, FolderRemovalFault,
                         ::testing::Values(RemovalFault{"Events.Create", 1, 3}, RemovalFault{"Events.BoundFolder", 1, 3},
                                           RemovalFault{"Binding.EntryID", 2, 2}, RemovalFault{"Session.GetMessage", 3, 1},
                                           RemovalFault{"Message.Delete", 1, 3}, RemovalFault{"Message.Delete", 3, 1}),
                         [](const auto &tc) {
                             std::string n = tc.param.operation;
                             n.erase(n.find('.'), 1);
                             return n + std::to_string(tc.param.nth);
                         });

} // namespace
