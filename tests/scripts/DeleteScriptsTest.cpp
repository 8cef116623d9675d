// Removing event scripts on real store files: one folder, one mailbox, all mailboxes, a
// mailbox the profile cannot open, and failures injected into the removal.
#include "StoreFixture.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <ostream>

namespace {

// A folder of a store: its name and path below the root.
using Place = std::pair<std::string, std::vector<std::string>>;
// The number of bindings at each place.
using Layout = std::map<Place, int>;

class DeleteScripts : public ::testing::Test, public testsupport::StoreFixture {
protected:
    // Makes the bindings of `layout`, creating subfolders below top-level folders as needed.
    void make(const Layout &layout)
    {
        messaging::Session s = logon();
        for (const auto &[where, count] : layout) {
            messaging::Folder folder = s.InfoStores().Item(where.first).RootFolder();
            for (const std::string &name : where.second) {
                const messaging::Folders below = folder.Folders();
                try {
                    folder = below.Item(name);
                } catch (const messaging::Error &) {
                    folder = below.Add(name);
                }
            }
            for (int i = 0; i < count; ++i)
                testsupport::addBinding(s, folder, where.first + " " + std::to_string(i));
        }
    }
    // The number of bindings now at each place of `layout`.
    Layout now(const Layout &layout)
    {
        messaging::Session s = logon();
        Layout out;
        for (const auto &[where, count] : layout)
            out[where] = int(testsupport::bindingsOf(s, testsupport::folderAt(s, where.first, where.second)).size());
        return out;
    }
};

struct RemovalCase {
    const char *name;
    std::function<int(messaging::Session &)> remove;
    int removed;
    std::vector<Place> emptied; // every other place keeps its bindings
};
void PrintTo(const RemovalCase &c, std::ostream *os) { *os << c.name; }

class Removal : public DeleteScripts, public ::testing::WithParamInterface<RemovalCase> {};

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

TEST_F(DeleteScripts, UnsharedMailboxStopsTheRunThere)
{
    addUser("Ann");
    addUser("Bob", "T", 0, /*shared=*/false);
    addUser("Cid");
    const Layout layout = {{{"Mailbox - Ann", {"Calendar"}}, 1}, {{"Mailbox - Cid", {"Calendar"}}, 1}};
    make(layout);
    messaging::Session s = logon();
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
void PrintTo(const RemovalFault &c, std::ostream *os) { *os << c.operation << " " << c.nth; }

class FolderRemovalFault : public DeleteScripts, public ::testing::WithParamInterface<RemovalFault> {};

TEST_P(FolderRemovalFault, DeletedStayDeletedTheRestStay)
{
    addUser("Bob");
    const Layout layout = {{bobCalendar, 3}};
    make(layout);
    messaging::faults::failCall(GetParam().operation, GetParam().nth);
    messaging::Session s = logon();
    EXPECT_THROW(scripts::deleteFolderScripts(s, "Mailbox - Bob", "Calendar"), messaging::Error);
    messaging::faults::clear();
    EXPECT_EQ(now(layout), (Layout{{bobCalendar, GetParam().left}}));
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
