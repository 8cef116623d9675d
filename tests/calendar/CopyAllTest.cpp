// The all-users copy on real store files: the walk over the address list, the stopping
// and the skipping mode, the account of skipped failures, and a comparison of a whole
// run with a plain model of what it should leave.
#include "WorkStore.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"

#include <gtest/gtest.h>


#include <map>
#include <ostream>
#include <random>

using worktest::Item;
using worktest::Stored;

namespace {

class CopyAll : public ::testing::Test, public worktest::StoreWork {
protected:
    calendar::CopyAllReport run()
    {
        messaging::Session s = store.logon();
        return calendar::copyAllCalendars(s, std::locale::classic());
    }
    static Item item(const std::string &subject) { return Item{subject, "", 0, std::nullopt, 0, std::nullopt}; }
    // Ann, Bob and Cid with items a1 a2, b1 b2 and c1.
    void threeUsers()
    {
        addUser("Ann", "AN");
        addUser("Bob", "BB");
        addUser("Cid", "CI");
        fill("Mailbox - Ann", {item("a1"), item("a2")});
        fill("Mailbox - Bob", {item("b1"), item("b2")});
        fill("Mailbox - Cid", {item("c1")});
    }
};

TEST_F(CopyAll, WalksMailUsersOnlyAndLooksEachUpByName)
{
    addUser("Ann", "AN");
    addUser("Board", std::nullopt, messaging::DisplayType::DistList);
    addUser("Notices", std::nullopt, messaging::DisplayType::PublicFolder);
    addUser("Remote Rita", "RR", messaging::DisplayType::RemoteUser);
    fill("Mailbox - Ann", {item("Plan")});
    fill("Mailbox - Administrator", {item("Budget")});
    messaging::faults::clear();
    EXPECT_TRUE(run().failures.empty());
    // One look-up per mail user (the administrator's entry included), none for the rest.
    EXPECT_EQ(messaging::faults::callCount("AddressEntries.Item"), 2);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AD- Budget", "AN- Plan"}));
}

TEST_F(CopyAll, DuplicateDisplayNamesCopyTheSameCalendarTwice)
{
    addUser("Bob", "B1");
    addUser("Bobby", "B2");
    fill("Mailbox - Bob", {item("x")});
    fill("Mailbox - Bobby", {item("y")});
    // The directory gets a second "Bob" the way a server administrator could make one;
    // the administration interface itself refuses a second mailbox of one name.
    ASSERT_EQ(teststores::runSql(store.file(), "UPDATE address_entries SET name = 'Bob' WHERE name = 'Bobby'"), 1);
    EXPECT_TRUE(run().failures.empty());
    // Both visits look up "Bob", read the tag of the entry found and open "Mailbox - Bob".
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"B1- x", "B1- x"}));
}

TEST_F(CopyAll, StoppingModeThrowsAndLeavesTheStoreUnchanged)
{
    // The administrator sorts first and has only a holiday, which does not end the
    // stopping mode; Ann's mailbox is not shared, so the run ends there.
    fill("Mailbox - Administrator", {Item{"Off", "", 0, std::vector<std::string>{"Holiday"}, 1, std::nullopt}});
    addUser("Ann", "AN", 0, /*shared=*/false);
    addUser("Bob", "BB");
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
    EXPECT_EQ(worktest::dumpAll(s), before);
}

class SkippingMode : public CopyAll, public ::testing::WithParamInterface<bool> {};

// A later user whose mailbox is not shared (true) or who has no owner tag (false).
TEST_P(SkippingMode, LaterFailingUserIsReportedOthersCopied)
{
    const bool unshared = GetParam();
    addUser("Ann", "AN");
    addUser("Bob", unshared ? std::optional<std::string>("BB") : std::nullopt, 0, !unshared);
    addUser("Cid", "CI");
    fill("Mailbox - Ann", {item("a1"), item("a2")});
    fill("Mailbox - Cid", {item("c1")});
    if (!unshared)
        fill("Mailbox - Bob", {item("b1")});

    const calendar::CopyAllReport report = run();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.usersFailed, 1);
    EXPECT_EQ(report.itemsFailed, 0);
    EXPECT_EQ(report.failures[0].mailbox, "Mailbox - Bob");
    EXPECT_EQ(report.failures[0].subject, "");
    EXPECT_EQ(report.failures[0].number, messaging::ErrorCode::NotFound);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AN- a1", "AN- a2", "CI- c1"}));
    const std::string text = calendar::copyAllResultText(report);
    EXPECT_EQ(text.rfind("Larkspur Calendar has been updated\n", 0), 0u) << text;
    EXPECT_NE(text.find("1 user, 0 items"), std::string::npos) << text;
    EXPECT_NE(text.find("Mailbox - Bob: " + report.failures[0].description + " ("
                        + std::to_string(messaging::ErrorCode::NotFound) + ")"),
              std::string::npos)
        << text;
}

INSTANTIATE_TEST_SUITE_P(Cases, SkippingMode, ::testing::Bool());

struct WalkFault {
    const char *name;
    const char *operation;
    int fromEnd; // the failing call, counted back from the run's last call of it (0)
    std::vector<std::string> copied;
    std::string mailbox;
};
void PrintTo(const WalkFault &c, std::ostream *os) { *os << c.name; }

class WalkFaults : public CopyAll, public ::testing::WithParamInterface<WalkFault> {};

// A failure while opening a store or moving on ends that user (store, next item) or the
// walk (next entry); it is reported and the rest stays copied.
TEST_P(WalkFaults, SkippedAndReported)
{
    threeUsers();
    int total = 0;
    {
        const worktest::TempStore twin(store); // a run on a copy counts the calls
        messaging::Session s = twin.logon();
        messaging::faults::clear();
        calendar::copyAllCalendars(s, std::locale::classic());
        total = messaging::faults::callCount(GetParam().operation);
    }
    messaging::faults::clear();
    messaging::faults::failCall(GetParam().operation, total - GetParam().fromEnd);
    const calendar::CopyAllReport report = run();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].mailbox, GetParam().mailbox);
    EXPECT_EQ(report.failures[0].subject, "");
    EXPECT_EQ(report.failures[0].number, messaging::ErrorCode::StoreFailure);
    EXPECT_EQ(report.usersFailed, 1);
    EXPECT_EQ(report.itemsFailed, 0);
    EXPECT_EQ(sharedSubjects(), GetParam().copied);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkFaults,
    ::testing::Values(
        // Store look-ups, last first: Cid, Bob.
        WalkFault{"StoreLookUp", "InfoStores.Item", 1, {"AN- a1", "AN- a2", "CI- c1"}, "Mailbox - Bob"},
        // Advances, last first: after Cid's c1, after Bob's b2, after Bob's b1.
        WalkFault{"NextItem", "Messages.iterator.next", 2, {"AN- a1", "AN- a2", "BB- b1", "CI- c1"}, "Mailbox - Bob"},
        // Entries: Administrator, Ann, Bob, Cid; last first: leaving Cid, leaving Bob.
        WalkFault{"NextEntry", "AddressEntries.iterator.next", 1, {"AN- a1", "AN- a2", "BB- b1", "BB- b2"},
                  "Global Address List"}),
    [](const auto &tc) { return std::string(tc.param.name); });

TEST_F(CopyAll, ManyFailuresShowTheFirstTenAndHowManyMore)
{
    addUser("Ann", "AN");
    fill("Mailbox - Ann", {item("a1")});
    for (int i = 0; i < 12; ++i)
        addUser("User" + std::string(1, static_cast<char>('A' + i)), "U", 0, false);
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

TEST(CopyAllText, PlainWhenNothingWasSkippedElseEveryFailureWithItsNumber)
{
    EXPECT_EQ(calendar::copyAllResultText({}), "Larkspur Calendar has been updated");
    const calendar::CopyAllReport report{1, 2,
                                         {{"Mailbox - Ann", "", -2147221233, "Store not found"},
                                          {"Mailbox - Bob", "", 5, "Item unreadable"},
                                          {"Mailbox - Bob", "Tea", 5, "Item unreadable"}}};
    EXPECT_EQ(calendar::copyAllResultText(report),
              "Larkspur Calendar has been updated\nNot copied because of errors: 1 user, 2 items.\n"
              "Mailbox - Ann: Store not found (-2147221233)\nMailbox - Bob: Item unreadable (5)\n"
              "Mailbox - Bob, \"Tea\": Item unreadable (5)");
}

// --- a whole run against a plain model ---------------------------------------------------

TEST_F(CopyAll, WholeRunMatchesThePlainModel)
{
    std::mt19937 random(20261206);
    const std::vector<std::string> eighths = {"", ".125", ".25", ".375", ".5", ".625", ".75", ".875"};
    const std::vector<std::string> locations = {"Hall", "Room 4:5", "K\xC3\xB6ln"};
    const std::vector<std::vector<std::string>> categorySets = {{"Holiday"}, {"holiday"}, {"Work", "Holiday"}, {}, {"Work"}};
    std::map<std::string, std::string> tags = {{"Administrator", "AD"}, {"Ann", "AN"}, {"bert", ""},
                                               {"Cleo Long Name", "CLEO"}, {"D\xC3\xB6rte", "DOE"}, {"Ed", "E"}};
    for (const auto &[user, tag] : tags)
        if (user != "Administrator")
            addUser(user, tag);
    addUser("Everyone", std::nullopt, messaging::DisplayType::DistList);

    std::vector<Stored> expectedCopies;
    std::map<std::string, std::vector<std::optional<std::string>>> expectedStamps;
    for (const auto &[user, tag] : tags) {
        std::vector<Item> userItems;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            Item it;
            it.subject = user + " item " + std::to_string(i);
            it.text = "about " + it.subject;
            it.sensitivity = static_cast<std::int32_t>(random() % 4);
            if (const auto cat = random() % 7; cat < categorySets.size())
                it.categories = categorySets[cat];
            it.allDay = static_cast<std::int32_t>(random() % 3);
            if (const auto loc = random() % 4; loc < locations.size())
                it.location = locations[loc];
            const int day = 44000 + static_cast<int>(random() % 2000);
            const auto e = random() % 8;
            it.start = day + static_cast<double>(e) / 8.0;
            userItems.push_back(it);

            if (it.categories && !it.categories->empty() && it.categories->front() == "Holiday") {
                expectedStamps[user].push_back(std::nullopt);
                continue;
            }
            const std::string flag = it.allDay == 0 ? "N" : "Y";
            const std::string dayText = std::to_string(day) + eighths[e];
            const std::string stamp = flag + ":" + it.location.value_or("") + ":" + dayText + ":" + it.subject;
            expectedStamps[user].push_back(stamp);
            const bool hidden = it.sensitivity == 2;
            expectedCopies.push_back({tag + "- " + (hidden ? "Private" : it.subject), hidden ? "Private" : it.text,
                                      it.sensitivity, hidden ? flag + "::" + dayText + ":Private" : stamp});
        }
        fill("Mailbox - " + user, userItems);
    }

    EXPECT_TRUE(run().failures.empty());
    std::vector<Stored> copies = items();
    std::sort(copies.begin(), copies.end());
    std::sort(expectedCopies.begin(), expectedCopies.end());
    EXPECT_EQ(copies, expectedCopies);
    for (const auto &[user, stamps] : expectedStamps) {
        std::vector<std::optional<std::string>> actual;
        for (const Stored &own : items("Mailbox - " + user))
            actual.push_back(own.stamp);
        EXPECT_EQ(actual, stamps) << user;
    }
}

} // namespace
