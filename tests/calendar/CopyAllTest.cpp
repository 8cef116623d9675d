// The all-users copy on real store files: the walk over the address list, the stopping
// and the skipping mode, the account of skipped failures, and a comparison of a whole
// run with a plain model of what it should leave.
#include "WorkStore.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"
#include "messaging/FaultInjection.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <random>

using worktest::Item;
using worktest::Stored;

namespace {

class CopyAll : public ::testing::Test {
protected:
    void SetUp() override { messaging::faults::clear(); }
    void TearDown() override { messaging::faults::clear(); }

    void addEntry(const std::string &name, std::optional<std::string> tag,
                  std::int32_t type = messaging::DisplayType::MailUser, bool shared = true)
    {
        messaging::ServerAdmin admin(store.file());
        admin.addUser(name, std::move(tag), type, shared);
    }
    void fill(const std::string &storeName, const std::vector<Item> &items)
    {
        messaging::Session s = store.logon();
        worktest::addItems(worktest::calendarOf(s, storeName), items);
        s.Logoff();
    }
    std::vector<std::string> sharedSubjects()
    {
        messaging::Session s = store.logon();
        std::vector<std::string> out;
        for (const Stored &c : worktest::contents(worktest::sharedFolder(s)))
            out.push_back(c.subject);
        std::sort(out.begin(), out.end());
        return out;
    }
    calendar::CopyAllReport run()
    {
        messaging::Session s = store.logon();
        calendar::CopyAllReport report = calendar::copyAllCalendars(s, std::locale::classic());
        s.Logoff();
        return report;
    }

    static Item item(const std::string &subject) { return Item{subject, "", 0, std::nullopt, 0, std::nullopt, 45000.0}; }

    worktest::TempStore store;
};

TEST_F(CopyAll, WalksMailUsersOnlyAndLooksEachUpByName)
{
    addEntry("Ann", "AN");
    addEntry("Board", std::nullopt, messaging::DisplayType::DistList);
    addEntry("Notices", std::nullopt, messaging::DisplayType::PublicFolder);
    addEntry("Remote Rita", "RR", messaging::DisplayType::RemoteUser);
    fill("Mailbox - Ann", {item("Plan")});
    fill("Mailbox - Administrator", {item("Budget")});

    messaging::Session s = store.logon();
    messaging::faults::clear();
    const calendar::CopyAllReport report = calendar::copyAllCalendars(s, std::locale::classic());
    // One look-up per mail user (the administrator's entry included), none for the rest.
    EXPECT_EQ(messaging::faults::callCount("AddressEntries.Item"), 2);
    s.Logoff();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AD- Budget", "AN- Plan"}));
}

TEST_F(CopyAll, OwnerTagComesFromTheEntryTheLookUpReturns)
{
    // "Bo" is looked up by its name; the directory resolves an exact name first, so the
    // tag read is Bo's own even though "Bob" begins with the same letters.
    addEntry("Bo", "B1");
    addEntry("Bob", "B2");
    fill("Mailbox - Bo", {item("x")});
    fill("Mailbox - Bob", {item("y")});
    run();
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"B1- x", "B2- y"}));
}

TEST_F(CopyAll, DuplicateDisplayNamesCopyTheSameCalendarTwice)
{
    addEntry("Bob", "B1");
    addEntry("Bobby", "B2");
    fill("Mailbox - Bob", {item("x")});
    fill("Mailbox - Bobby", {item("y")});
    // The directory gets a second "Bob" the way a server administrator could make one;
    // the administration interface itself refuses a second mailbox of one name.
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(store.file().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "UPDATE address_entries SET name = 'Bob' WHERE name = 'Bobby'", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    const calendar::CopyAllReport report = run();
    EXPECT_TRUE(report.failures.empty());
    // Both visits look up "Bob", read the tag of the entry the look-up returns and open
    // "Mailbox - Bob".
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"B1- x", "B1- x"}));
}

TEST_F(CopyAll, StoppingModeThrowsAndLeavesTheStoreUnchanged)
{
    // The administrator sorts first and has only a holiday, which does not end the
    // stopping mode; Ann's mailbox is not shared, so the run ends there.
    fill("Mailbox - Administrator", {Item{"Off", "", 0, std::vector<std::string>{"Holiday"}, 1, std::nullopt, 45000.0}});
    addEntry("Ann", "AN", messaging::DisplayType::MailUser, /*shared=*/false);
    addEntry("Bob", "BB");
    fill("Mailbox - Bob", {item("Plan")});

    messaging::Session s = store.logon();
    const auto before = worktest::dumpAll(s);
    try {
        calendar::copyAllCalendars(s, std::locale::classic());
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), messaging::ErrorCode::NotFound);
        EXPECT_NE(std::string(e.what()).find("Mailbox - Ann"), std::string::npos) << e.what();
    }
    s.Logoff();
    messaging::Session again = store.logon();
    EXPECT_EQ(worktest::dumpAll(again), before);
}

struct SkipCase {
    const char *name;
    std::optional<std::string> tag; // of the failing user
    bool shared;
    std::int32_t number;
};
// What a failing case prints instead of its bytes.
void PrintTo(const SkipCase &c, std::ostream *os) { *os << c.name; }

class SkippingMode : public CopyAll, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(SkippingMode, LaterFailingUserIsReportedOthersCopied)
{
    addEntry("Ann", "AN");
    addEntry("Bob", GetParam().tag, messaging::DisplayType::MailUser, GetParam().shared);
    addEntry("Cid", "CI");
    fill("Mailbox - Ann", {item("a1"), item("a2")});
    fill("Mailbox - Cid", {item("c1")});
    if (GetParam().shared)
        fill("Mailbox - Bob", {item("b1")});

    const calendar::CopyAllReport report = run();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.usersFailed, 1);
    EXPECT_EQ(report.itemsFailed, 0);
    EXPECT_EQ(report.failures[0].mailbox, "Mailbox - Bob");
    EXPECT_EQ(report.failures[0].subject, "");
    EXPECT_EQ(report.failures[0].number, GetParam().number);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AN- a1", "AN- a2", "CI- c1"}));

    const std::string text = calendar::copyAllResultText(report);
    EXPECT_EQ(text.rfind("Larkspur Calendar has been updated\n", 0), 0u) << text;
    EXPECT_NE(text.find("1 user, 0 items"), std::string::npos) << text;
    EXPECT_NE(text.find("Mailbox - Bob: " + report.failures[0].description + " ("
                        + std::to_string(GetParam().number) + ")"),
              std::string::npos)
        << text;
}

INSTANTIATE_TEST_SUITE_P(Cases, SkippingMode,
                         ::testing::Values(SkipCase{"NotShared", "BB", false, messaging::ErrorCode::NotFound},
                                           SkipCase{"NoOwnerTag", std::nullopt, true, messaging::ErrorCode::NotFound}),
                         [](const auto &tc) { return std::string(tc.param.name); });

TEST_F(CopyAll, SkippedFailureOfTheEntryWalkIsReported)
{
    addEntry("Ann", "AN");
    addEntry("Bob", "BB");
    addEntry("Cid", "CI");
    fill("Mailbox - Ann", {item("a1")});
    fill("Mailbox - Bob", {item("b1")});
    // The store look-ups: public folders, then Administrator, Ann, Bob: Bob's fails.
    messaging::faults::failCall("InfoStores.Item", 4);
    const calendar::CopyAllReport report = run();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].mailbox, "Mailbox - Bob");
    EXPECT_EQ(report.failures[0].number, messaging::ErrorCode::StoreFailure);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AN- a1"}));
}

struct WalkFault {
    const char *name;
    const char *operation;
    int fromEnd; // the failing call, counted back from the run's last call of it (0)
    std::vector<std::string> copied;
    std::string mailbox;
};
void PrintTo(const WalkFault &c, std::ostream *os) { *os << c.name; }

class WalkFaults : public CopyAll, public ::testing::WithParamInterface<WalkFault> {};

// A failure while moving on ends the user's items (next item) or the walk (next entry).
TEST_P(WalkFaults, MovingOnFailsInTheSkippingMode)
{
    addEntry("Ann", "AN");
    addEntry("Bob", "BB");
    addEntry("Cid", "CI");
    fill("Mailbox - Ann", {item("a1"), item("a2")});
    fill("Mailbox - Bob", {item("b1"), item("b2")});
    fill("Mailbox - Cid", {item("c1")});
    // A run on a copy of the store counts the calls.
    int total = 0;
    {
        worktest::TempStore twin;
        std::filesystem::copy_file(store.file(), twin.file(), std::filesystem::copy_options::overwrite_existing);
        messaging::Session s = twin.logon();
        messaging::faults::clear();
        calendar::copyAllCalendars(s, std::locale::classic());
        total = messaging::faults::callCount(GetParam().operation);
        s.Logoff();
    }
    messaging::faults::clear();
    messaging::faults::failCall(GetParam().operation, total - GetParam().fromEnd);
    const calendar::CopyAllReport report = run();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].mailbox, GetParam().mailbox);
    EXPECT_EQ(report.failures[0].subject, "");
    EXPECT_EQ(report.usersFailed, 1);
    EXPECT_EQ(report.itemsFailed, 0);
    EXPECT_EQ(sharedSubjects(), GetParam().copied);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkFaults,
    ::testing::Values(
        // Advances, last first: after Cid's c1, after Bob's b2, after Bob's b1.
        WalkFault{"NextItem", "Messages.iterator.next", 2, {"AN- a1", "AN- a2", "BB- b1", "CI- c1"}, "Mailbox - Bob"},
        // Entries: Administrator, Ann, Bob, Cid; last first: leaving Cid, leaving Bob.
        WalkFault{"NextEntry", "AddressEntries.iterator.next", 1, {"AN- a1", "AN- a2", "BB- b1", "BB- b2"},
                  "Global Address List"}),
    [](const auto &tc) { return std::string(tc.param.name); });

TEST_F(CopyAll, ManyFailuresShowTheFirstTenAndHowManyMore)
{
    addEntry("Ann", "AN");
    fill("Mailbox - Ann", {item("a1")});
    for (int i = 0; i < 12; ++i)
        addEntry("User" + std::string(1, static_cast<char>('A' + i)), "U", messaging::DisplayType::MailUser, false);
    const calendar::CopyAllReport report = run();
    EXPECT_EQ(report.failures.size(), 12u);
    EXPECT_EQ(report.usersFailed, 12);
    const std::string text = calendar::copyAllResultText(report);
    EXPECT_NE(text.find("Mailbox - UserJ:"), std::string::npos) << text;
    EXPECT_EQ(text.find("Mailbox - UserK:"), std::string::npos) << text;
    EXPECT_NE(text.find("12 users, 0 items"), std::string::npos) << text;
    EXPECT_NE(text.find("2 more"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12);
}

// --- the final text ---------------------------------------------------------------------

struct TextCase {
    const char *name;
    calendar::CopyAllReport report;
    std::string text;
};
void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

class ResultText : public ::testing::TestWithParam<TextCase> {};

TEST_P(ResultText, PlainWhenNothingWasSkipped)
{
    EXPECT_EQ(calendar::copyAllResultText(GetParam().report), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultText,
    ::testing::Values(
        TextCase{"Clean", {}, "Larkspur Calendar has been updated"},
        TextCase{"OneItem",
                 {0, 1, {{"Mailbox - Bob", "Lunch", -2147467259, "Message.CopyTo failed"}}},
                 "Larkspur Calendar has been updated\nNot copied because of errors: 0 users, 1 item.\n"
                 "Mailbox - Bob, \"Lunch\": Message.CopyTo failed (-2147467259)"},
        TextCase{"UserAndItems",
                 {1, 2,
                  {{"Mailbox - Ann", "", -2147221233, "Store not found"},
                   {"Mailbox - Bob", "", 5, "Item unreadable"},
                   {"Mailbox - Bob", "Tea", 5, "Item unreadable"}}},
                 "Larkspur Calendar has been updated\nNot copied because of errors: 1 user, 2 items.\n"
                 "Mailbox - Ann: Store not found (-2147221233)\nMailbox - Bob: Item unreadable (5)\n"
                 "Mailbox - Bob, \"Tea\": Item unreadable (5)"}),
    [](const auto &tc) { return std::string(tc.param.name); });

// --- a whole run against a plain model ---------------------------------------------------

TEST_F(CopyAll, WholeRunMatchesThePlainModel)
{
    std::mt19937 random(20261206);
    const std::vector<std::string> eighths = {"", ".125", ".25", ".375", ".5", ".625", ".75", ".875"};
    const std::vector<std::string> locations = {"Hall", "Room 4", "K\xC3\xB6ln"};
    const std::vector<std::vector<std::string>> categorySets = {{"Holiday"}, {"holiday"}, {"Work", "Holiday"}, {}, {"Work"}};

    std::map<std::string, std::string> tags = {{"Administrator", "AD"}};
    const std::vector<std::string> users = {"Ann", "bert", "Cleo Long Name", "D\xC3\xB6rte", "Ed"};
    const std::vector<std::string> userTags = {"AN", "", "CLEO", "DOE", "E"};
    for (std::size_t u = 0; u < users.size(); ++u) {
        addEntry(users[u], userTags[u]);
        tags[users[u]] = userTags[u];
    }
    addEntry("Everyone", std::nullopt, messaging::DisplayType::DistList);

    std::vector<Stored> expectedCopies;
    std::map<std::string, std::vector<std::optional<std::string>>> expectedStamps;
    for (const auto &[user, tag] : tags) {
        std::vector<Item> items;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            Item it;
            it.subject = user + " item " + std::to_string(i);
            it.text = "about " + it.subject;
            it.sensitivity = static_cast<std::int32_t>(random() % 4);
            const auto cat = random() % 7;
            if (cat < categorySets.size())
                it.categories = categorySets[cat];
            it.allDay = static_cast<std::int32_t>(random() % 3);
            const auto loc = random() % 4;
            if (loc < locations.size())
                it.location = locations[loc];
            const int day = 44000 + static_cast<int>(random() % 2000);
            const auto e = random() % 8;
            it.start = day + static_cast<double>(e) / 8.0;
            items.push_back(it);

            const bool holiday = it.categories && !it.categories->empty() && it.categories->front() == "Holiday";
            if (holiday) {
                expectedStamps[user].push_back(std::nullopt);
                continue;
            }
            const std::string stamp = std::string(it.allDay == 0 ? "N" : "Y") + ":" + it.location.value_or("") + ":"
                + std::to_string(day) + eighths[e] + ":" + it.subject;
            expectedStamps[user].push_back(stamp);
            const bool hidden = it.sensitivity == 2;
            expectedCopies.push_back(
                {tag + "- " + (hidden ? "Private" : it.subject), hidden ? "Private" : it.text, it.sensitivity, stamp});
        }
        fill("Mailbox - " + user, items);
    }

    const calendar::CopyAllReport report = run();
    EXPECT_TRUE(report.failures.empty());

    messaging::Session s = store.logon();
    std::vector<Stored> copies = worktest::contents(worktest::sharedFolder(s));
    std::sort(copies.begin(), copies.end());
    std::sort(expectedCopies.begin(), expectedCopies.end());
    EXPECT_EQ(copies, expectedCopies);
    for (const auto &[user, stamps] : expectedStamps) {
        std::vector<std::optional<std::string>> actual;
        for (const Stored &own : worktest::contents(worktest::calendarOf(s, "Mailbox - " + user)))
            actual.push_back(own.stamp);
        EXPECT_EQ(actual, stamps) << user;
    }
}

} // namespace
