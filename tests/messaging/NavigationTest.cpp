// Logging on, the stores a profile sees, and finding stores and folders by name and
// position.
#include "TestStore.h"

#include <fstream>

using namespace larkspur::test;

namespace {

using larkspur::test::PrintTo;

class NavigationTest : public StoreFixture {
protected:
    void SetUp() override
    {
        ServerAdmin admin(file());
        admin.addUser("Bob Stone", std::string("BS"), DisplayType::MailUser, false);
        admin.addUser("Carla Diaz", std::string("CD"));
        admin.addUser("Sales", std::nullopt, DisplayType::DistList);
    }
};

std::vector<std::string> storeNames(const Session &s)
{
    std::vector<std::string> names;
    InfoStores stores = s.InfoStores();
    for (int i = 1; i <= stores.Count(); ++i)
        names.push_back(stores.Item(i).Name());
    return names;
}

TEST_F(NavigationTest, ProfileSeesPublicStoreOwnMailboxThenSharedMailboxesInSharingOrder)
{
    Session s = logon();
    InfoStores before = s.InfoStores();
    EXPECT_EQ(before.Count(), 4);
    std::string description; // Bob's mailbox is not shared
    EXPECT_EQ(errorOf([&] { s.InfoStores().Item("Mailbox - Bob Stone"); }, &description), ErrorCode::NotFound);
    EXPECT_NE(description.find("\"Mailbox - Bob Stone\" not found: it is not among the profile's stores"), std::string::npos)
        << description;
    {
        ServerAdmin admin(file());
        admin.share("Mailbox - Bob Stone"); // shared last, listed last
        admin.unshare("Mailbox - Ann Lee");
        admin.share("Mailbox - Ann Lee"); // sharing again moves it behind Bob
        admin.share("Mailbox - Administrator"); // its own: seen anyway, never twice
        EXPECT_EQ(errorOf([&] { admin.share("Mailbox - Nobody"); }), ErrorCode::NotFound);
    }
    // A collection keeps the stores it was made with; a new one sees the change.
    EXPECT_EQ(before.Count(), 4);
    EXPECT_EQ(errorOf([&] { before.Item(5); }), ErrorCode::InvalidArgument);
    EXPECT_EQ(storeNames(s), (std::vector<std::string>{"Public Folders", "Mailbox - Administrator",
                                                       "Mailbox - Carla Diaz", "Mailbox - Bob Stone",
                                                       "Mailbox - Ann Lee"}));
}

TEST_F(NavigationTest, SharedCalendarIsFoundBesideOtherPublicFolders)
{
    ServerAdmin(file()).addPublicFolder("Team Rota");
    EXPECT_EQ(errorOf([&] { ServerAdmin(file()).addPublicFolder("Team Rota"); }), ErrorCode::InvalidArgument);
    Session s = logon();
    Folders all = s.InfoStores().Item("Public Folders").RootFolder().Folders().Item(2).Folders();
    EXPECT_EQ(all.Item(2).Name(), "Team Rota");
    EXPECT_EQ(all.Item("Larkspur Calendar").ID(), sharedCalendar(s).ID());
}

struct Lookup {
    const char *name;
    void (*call)(const Session &);
    std::int32_t error;
    const char *mentioned; // a text the description must hold
};

class LookupFailures : public NavigationTest, public ::testing::WithParamInterface<Lookup> {};

TEST_P(LookupFailures, FailWithTheirNumberAndSayWhat)
{
    Session s = logon();
    std::string description;
    EXPECT_EQ(errorOf([&] { GetParam().call(s); }, &description), GetParam().error);
    EXPECT_NE(description.find(GetParam().mentioned), std::string::npos) << description;
}

INSTANTIATE_TEST_SUITE_P(
    Navigation, LookupFailures,
    ::testing::Values(
        Lookup{"StoreByUnknownName", [](const Session &s) { s.InfoStores().Item("Mailbox - Nobody"); },
               ErrorCode::NotFound, "Mailbox - Nobody"},
        Lookup{"StoreNameIsCaseSensitive", [](const Session &s) { s.InfoStores().Item("public folders"); },
               ErrorCode::NotFound, "public folders"},
        Lookup{"StorePositionZero", [](const Session &s) { s.InfoStores().Item(0); }, ErrorCode::InvalidArgument, "0"},
        Lookup{"StorePositionPastCount", [](const Session &s) { s.InfoStores().Item(5); }, ErrorCode::InvalidArgument,
               "5"},
        Lookup{"FolderByUnknownName", [](const Session &s) { mailboxFolder(s, "Ann Lee", "Contact"); },
               ErrorCode::NotFound, "\"Contact\" not found in \"Mailbox - Ann Lee\""},
        Lookup{"SubfolderNamesItsPath",
               [](const Session &s) {
                   s.InfoStores().Item("Public Folders").RootFolder().Folders().Item(2).Folders().Item("Larkspur");
               },
               ErrorCode::NotFound, "Public Folders/All Public Folders"},
        Lookup{"FolderPositionPastCount",
               [](const Session &s) { s.InfoStores().Item("Public Folders").RootFolder().Folders().Item(3); },
               ErrorCode::InvalidArgument, "3"},
        Lookup{"AddressListByUnknownName", [](const Session &s) { s.AddressLists().Item("Global address list"); },
               ErrorCode::NotFound, "Global address list"},
        Lookup{"MessageByMalformedId", [](const Session &s) { s.GetMessage("not-an-id"); }, ErrorCode::NotFound,
               "not-an-id"},
        Lookup{"MessageByFolderId", [](const Session &s) { s.GetMessage(sharedCalendar(s).ID()); },
               ErrorCode::NotFound, "not found"},
        Lookup{"CopyToUnknownFolder", [](const Session &s) { addItem(mailboxFolder(s), "x").CopyTo("0123"); },
               ErrorCode::NotFound, "0123"},
        Lookup{"CopyToAMessageId",
               [](const Session &s) {
                   Message m = addItem(mailboxFolder(s), "x");
                   m.CopyTo(m.ID());
               },
               ErrorCode::NotFound, "not found"}),
    ParamName());

TEST_F(NavigationTest, IdentifiersOfAnotherStoreAreNotFound)
{
    const auto otherStore = dir() / "other.db";
    ServerAdmin::createStore(otherStore);
    std::string foreignMessage, foreignFolder;
    {
        Session o(otherStore);
        o.Logon("Administrator");
        foreignFolder = sharedCalendar(o).ID();
        foreignMessage = addItem(sharedCalendar(o), "elsewhere").ID();
    }
    Session s = logon();
    Message local = addItem(sharedCalendar(s), "here");
    EXPECT_EQ(errorOf([&] { s.GetMessage(foreignMessage); }), ErrorCode::NotFound);
    EXPECT_EQ(errorOf([&] { local.CopyTo(foreignFolder); }), ErrorCode::NotFound);
}

TEST_F(NavigationTest, LogonFailuresCreateNothing)
{
    const auto folder = dir() / "logon";
    std::filesystem::create_directory(folder);
    std::ofstream(folder / "notes.txt") << "just text\n";
    const std::string before = teststores::contents(file());
    for (auto [store, profile] : {std::pair{folder / "missing.db", "Administrator"}, std::pair{file(), "Guest"},
                                  std::pair{folder / "notes.txt", "Administrator"}}) {
        Session s(store);
        std::string description;
        EXPECT_EQ(errorOf([&] { s.Logon(profile); }, &description), ErrorCode::LogonFailed) << store;
        EXPECT_FALSE(s.LoggedOn());
        EXPECT_NE(description.find(profile == std::string("Guest") ? "Guest" : ""), std::string::npos);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1); // notes.txt
    EXPECT_TRUE(teststores::contents(file()) == before);
}

TEST_F(NavigationTest, SessionStates)
{
    Session s = logon();
    EXPECT_EQ(errorOf([&] { s.Logon("Administrator"); }), ErrorCode::LogonFailed);
    Folder calendar = sharedCalendar(s);
    s.Logoff();
    EXPECT_EQ(errorOf([&] { calendar.Messages().Count(); }), ErrorCode::InvalidArgument);
    EXPECT_EQ(errorOf([&] { s.InfoStores(); }), ErrorCode::InvalidArgument);
    s.Logon("Administrator"); // a session can log on again after its logoff
    EXPECT_EQ(s.InfoStores().Count(), 4);
}

TEST_F(StoreFixture, DefaultStorePathIsTheEnvironmentsThenTheDataDirectoryThenHome)
{
    std::vector<std::pair<const char *, std::optional<std::string>>> saved; // the fixture restores LARKSPUR_STORE
    for (const char *name : {"XDG_DATA_HOME", "HOME"})
        saved.emplace_back(name, std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
    ::setenv("HOME", "/home/ann", 1);
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(Session::defaultStorePath(), file());
    ::unsetenv("LARKSPUR_STORE");
    EXPECT_EQ(Session::defaultStorePath(), "/data/larkspur/store.db");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Session::defaultStorePath(), "/home/ann/.local/share/larkspur/store.db");
    for (const auto &[name, value] : saved)
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
}

} // namespace
