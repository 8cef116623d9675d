// The work of the four shared-calendar pages on real store files: the day number and the
// mailbox name; the stamp, the holiday rule and masking through both copy actions; the
// directory look-up; the all-users walk with its stopping and skipping modes and a whole
// run against a plain model; the deletions; failures injected into the object model's
// calls and into the store's writes.
#include "StoreFixture.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/AddressLists.h"
#include "messaging/PropTags.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <random>

using testsupport::errorOf;
using testsupport::Item;
using testsupport::Stored;
namespace Code = messaging::ErrorCode;

namespace {

// A decimal comma, as a German or French workstation writes numbers.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
std::locale commaLocale() { return std::locale(std::locale::classic(), new CommaPunct); }

class CalendarWork : public ::testing::Test, public testsupport::StoreFixture {
protected:
    void copyUser(const std::string &pickerText, const std::locale &locale = std::locale::classic())
    {
        messaging::Session s = logon();
        calendar::copyUserCalendar(s, pickerText, locale);
    }
    calendar::CopyAllReport copyAll(const std::locale &locale = std::locale::classic())
    {
        messaging::Session s = logon();
        return calendar::copyAllCalendars(s, locale);
    }
    std::int64_t deleteUser(const std::string &pickerText)
    {
        messaging::Session s = logon();
        return calendar::deleteUserItems(s, pickerText);
    }
    // How often a run of the all-users copy calls `operation`, counted on a copy of the store.
    int callsOfCopyAll(const std::string &operation) const
    {
        const StoreFixture twin(*this);
        messaging::Session s = twin.logon();
        messaging::faults::clear();
        calendar::copyAllCalendars(s, std::locale::classic());
        return messaging::faults::callCount(operation);
    }
};

Item at(const char *subject, std::int32_t allDay, std::optional<std::string> location, std::optional<double> start)
{
    return Item{subject, "body", 0, std::nullopt, allDay, std::move(location), start};
}
const Item secret{"Secret", "Hidden", 2, std::nullopt, 0, "Attic", 45000.375};

// --- the day number and the mailbox name, as plain functions ---------------------------

struct DayCase {
    double value;
    const char *dot;
    const char *comma;
};
void PrintTo(const DayCase &c, std::ostream *os) { *os << c.value; }

class DayNumber : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayNumber, PlainDecimalWithTheLocalesSeparator)
{
    EXPECT_EQ(calendar::dayNumberText(GetParam().value, std::locale::classic()), GetParam().dot);
    EXPECT_EQ(calendar::dayNumberText(GetParam().value, commaLocale()), GetParam().comma);
}

INSTANTIATE_TEST_SUITE_P(
    Values, DayNumber,
    ::testing::Values(DayCase{45000.375, "45000.375", "45000,375"},     // 9 a.m.
                      DayCase{45000.0, "45000", "45000"},               // midnight: no separator
                      DayCase{-1.25, "-1.25", "-1,25"},                 // before 30 December 1899
                      DayCase{1.0 / 3.0, "0.333333333333333", "0,333333333333333"}, // 15 digits
                      DayCase{0.00001, "0.00001", "0,00001"},           // no exponent
                      DayCase{1e20, "100000000000000000000", "100000000000000000000"}, // no grouping
                      DayCase{45000.999999999999, "45001", "45001"}));  // rounding carries

// ctest runs this once more under a German locale that the C library need not have:
// LARKSPUR_EXPECT_DECIMAL names the separator the copy's day numbers must then use.
TEST(WorkstationLocale, DecimalSeparatorOfTheEnvironment)
{
    const char *expected = std::getenv("LARKSPUR_EXPECT_DECIMAL");
    if (!expected)
        GTEST_SKIP() << "run by ctest with LARKSPUR_EXPECT_DECIMAL and a locale";
    EXPECT_EQ(calendar::dayNumberText(45000.5, calendar::workstationLocale()), "45000" + std::string(expected) + "5");
}

struct CutCase {
    std::string picker;
    std::string name;
};
void PrintTo(const CutCase &c, std::ostream *os) { *os << c.picker; }

class MailboxCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(MailboxCut, DropsTenCharactersAndKeepsAtMost99NeverSplittingOne)
{
    EXPECT_EQ(calendar::mailboxNameFromPicker(GetParam().picker), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MailboxCut,
    // Characters, not bytes: an umlaut is one character and is never split (the look-up
    // tests below take the cut of plain names).
    ::testing::Values(CutCase{"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4" "Bob", "Bob"},
                      CutCase{"Mailbox - " + std::string(98, 'x') + "\xC3\xBC\xC3\xBC",
                              std::string(98, 'x') + "\xC3\xBC"}));

// --- private items ----------------------------------------------------------------------

class Masking : public CalendarWork, public ::testing::WithParamInterface<std::int32_t> {};

// Location, categories and every field of each item, as one text.
std::string restOf(const messaging::Folder &folder)
{
    std::string out;
    for (const messaging::Message m : folder.Messages()) {
        out += m.Location().value_or("-") + "|" + (m.Categories() ? m.Categories()->at(0) : "-");
        for (const std::uint32_t tag : m.Fields().Tags())
            out += "|" + m.Fields().Item(tag).Text();
        out += "\n";
    }
    return out;
}

TEST_P(Masking, PrivateCopiesKeepOnlySubjectBodyTimesAndRecurrenceInBothCopies)
{
    addUser("Bob", "BB");
    const std::int32_t sensitivity = GetParam();
    const std::string event = "BEGIN:VEVENT\r\nDTSTART;TZID=Europe/Berlin;X-A=1:20261120T090000\r\nRRULE:FREQ=DAILY\r\n"
                              "LOCATION;ALTREP=\"cid:x\":Clinic\r\nBEGIN:VALARM\r\nDESCRIPTION:Scans\r\nEND:VALARM\r\n"
                              "END:VEVENT\r\n";
    fill("Mailbox - Bob", {Item{"Doctor", "Blood test", sensitivity, std::vector<std::string>{"Medical"}, 0, "Clinic",
                                45000.5, {{messaging::PropTag::ICalendarSource, event}, {0x8102001E, std::string("4")}}}});
    const Stored personal{"Doctor", "Blood test", sensitivity, "N:Clinic:45000.5:Doctor"};
    const std::string personalRest = "Clinic|Medical|" + event + "|4\n";
    const bool masked = sensitivity == 2;
    const Stored copy = masked ? Stored{"BB- Private", "Private", sensitivity, "N::45000.5:Private"}
                               : Stored{"BB- Doctor", "Blood test", sensitivity, personal.stamp};
    const std::string copyRest = masked ? "-|-|BEGIN:VEVENT\r\nDTSTART;TZID=Europe/Berlin:20261120T090000\r\n"
                                          "RRULE:FREQ=DAILY\r\nEND:VEVENT\r\n\n"
                                        : personalRest;
    copyUser("Mailbox - Bob");
    copyAll();
    // One from each copy action; the personal item keeps everything it had.
    EXPECT_EQ(items(), (std::vector<Stored>{copy, copy}));
    EXPECT_EQ(items("Mailbox - Bob"), std::vector<Stored>{personal});
    messaging::Session s = logon();
    EXPECT_EQ(restOf(messaging::sharedCalendar(s)), copyRest + copyRest);
    EXPECT_EQ(restOf(testsupport::calendarOf(s, "Mailbox - Bob")), personalRest);
}

INSTANTIATE_TEST_SUITE_P(Sensitivities, Masking, ::testing::Values(0, 1, 2, 3));

// --- the directory look-up and the store opened --------------------------------------

struct PickerCase {
    const char *name;
    std::string user; // display name of the user made for the case
    std::optional<std::string> tag;
    bool shared;
    std::string picker; // what the picker holds
    std::int32_t copyError, deleteError;
};
void PrintTo(const PickerCase &c, std::ostream *os) { *os << c.name; }

// The user's item "Item", a copy of an earlier one and an item entered directly.
class PickerText : public CalendarWork, public ::testing::WithParamInterface<PickerCase> {
protected:
    void SetUp() override
    {
        addUser(GetParam().user, GetParam().tag, 0, GetParam().shared);
        if (GetParam().shared)
            fill("Mailbox - " + GetParam().user, {{"Item"}});
        fill("", {{"TG- earlier"}, {"Picnic"}});
    }
};

TEST_P(PickerText, CopyAsksTheDirectoryForTheCutNameAndOpensTheStoreOfTheWholeText)
{
    const auto before = testsupport::dumpAll(logon());
    EXPECT_EQ(errorOf([&] { copyUser(GetParam().picker); }), GetParam().copyError);
    // Nothing is written before the directory, the owner tag and both folders are found.
    if (GetParam().copyError != 0)
        EXPECT_EQ(testsupport::dumpAll(logon()), before);
    else
        EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"Picnic", "TG- Item", "TG- earlier"}));
}

TEST_P(PickerText, DeleteAsksTheDirectoryForTheCutName)
{
    EXPECT_EQ(errorOf([&] { deleteUser(GetParam().picker); }), GetParam().deleteError);
    const std::vector<std::string> left{"Picnic", "TG- earlier"};
    EXPECT_EQ(sharedSubjects(), GetParam().deleteError != 0 ? left : std::vector<std::string>{"Picnic"});
}

const std::string longName = std::string(99, 'L') + "ong tail";

INSTANTIATE_TEST_SUITE_P(
    Cases, PickerText,
    ::testing::Values(PickerCase{"ListEntry", "Bob", "TG", true, "Mailbox - Bob", 0, 0},
                      // The first 99 characters find the entry; the store is opened with the whole text.
                      PickerCase{"LongDisplayName", longName, "TG", true, "Mailbox - " + longName, 0, 0},
                      // A typed text loses ten characters for the look-up but names the store whole.
                      PickerCase{"TypedText", "Bob", "TG", true, "xxxxxxxxxxBob", Code::NotFound, 0},
                      PickerCase{"TooShort", "Bob", "TG", true, "Mailbox", Code::NotFound, Code::NotFound},
                      PickerCase{"TenCharactersOnly", "Bob", "TG", true, "Mailbox - ", Code::NotFound, Code::NotFound},
                      PickerCase{"UnknownUser", "Bob", "TG", true, "Mailbox - Nobody", Code::NotFound, Code::NotFound},
                      PickerCase{"NotShared", "Bob", "TG", false, "Mailbox - Bob", Code::NotFound, 0},
                      PickerCase{"NoOwnerTag", "Bob", std::nullopt, true, "Mailbox - Bob", Code::NotFound, Code::NotFound}),
    [](const auto &tc) { return std::string(tc.param.name); });

// --- the all-users walk -------------------------------------------------------------------

TEST_F(CalendarWork, StoppingModeThrowsAndLeavesTheStoreUnchanged)
{
    // The administrator sorts first and has only a holiday, which does not end the
    // stopping mode; Ann's mailbox is not shared, so the run ends there.
    fill("Mailbox - Administrator", {Item{"Off", "", 0, std::vector<std::string>{"Holiday"}, 1}});
    addUser("Ann", "AN", 0, /*shared=*/false);
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {{"Plan"}});
    const auto before = testsupport::dumpAll(logon());
    EXPECT_EQ(errorOf([&] { copyAll(); }), Code::NotFound);
    EXPECT_EQ(testsupport::dumpAll(logon()), before);
}

class SkippingMode : public CalendarWork, public ::testing::WithParamInterface<bool> {};

// Later users who fail: Bob, whose mailbox is not shared (true) or who has no owner tag
// (false), and eleven users whose mailboxes are not shared. Each is reported and the
// others are copied; the result names the first ten failures and counts the rest.
TEST_P(SkippingMode, LaterFailingUsersAreReportedOthersCopied)
{
    const bool unshared = GetParam();
    addUser("Ann", "AN");
    addUser("Bob", unshared ? std::optional<std::string>("BB") : std::nullopt, 0, !unshared);
    addUser("Cid", "CI");
    for (char c = 'A'; c < 'A' + 11; ++c)
        addUser(std::string("User") + c, "U", 0, false);
    fill("Mailbox - Ann", {{"a1"}, {"a2"}});
    fill("Mailbox - Cid", {{"c1"}});
    if (!unshared)
        fill("Mailbox - Bob", {{"b1"}});

    const calendar::CopyAllReport report = copyAll();
    ASSERT_EQ(report.failures.size(), 12u);
    EXPECT_EQ(report.usersFailed, 12);
    EXPECT_EQ(report.itemsFailed, 0);
    EXPECT_EQ(report.failures[0].mailbox, "Mailbox - Bob");
    EXPECT_EQ(report.failures[0].number, Code::NotFound);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AN- a1", "AN- a2", "CI- c1"}));
    const std::string text = calendar::copyAllResultText(report);
    EXPECT_EQ(text.rfind("Larkspur Calendar has been updated\n", 0), 0u) << text;
    const std::string bob = "Mailbox - Bob: " + report.failures[0].description + " (-2147221233)";
    for (const std::string &part : {bob, std::string("12 users, 0 items"), std::string("Mailbox - UserI:")})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    EXPECT_EQ(text.find("Mailbox - UserJ:"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.rfind('\n')), "\n... and 2 more.") << text;
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

class WalkFaults : public CalendarWork, public ::testing::WithParamInterface<WalkFault> {};

// A failure while opening a store or moving on ends that user (store, next item) or the
// walk (next entry); it is reported and the rest stays copied.
TEST_P(WalkFaults, SkippedAndReported)
{
    for (const auto &[user, tag] : {std::pair{"Ann", "AN"}, {"Bob", "BB"}, {"Cid", "CI"}})
        addUser(user, tag);
    fill("Mailbox - Ann", {{"a1"}, {"a2"}});
    fill("Mailbox - Bob", {{"b1"}, {"b2"}});
    fill("Mailbox - Cid", {{"c1"}});
    messaging::faults::failCall(GetParam().operation, callsOfCopyAll(GetParam().operation) - GetParam().fromEnd);
    const calendar::CopyAllReport report = copyAll();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].mailbox, GetParam().mailbox);
    EXPECT_EQ(report.failures[0].subject, "");
    EXPECT_EQ(report.failures[0].number, Code::StoreFailure);
    EXPECT_EQ(report.usersFailed, 1);
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

// An item step failing in the all-users copy: the item is skipped and reported, the rest
// is copied. Bob's first item is private, so a copy that escaped before its masking
// would show; Ann sorts first, so her item starts the skipping mode.
class ItemStepFault : public CalendarWork, public ::testing::WithParamInterface<std::pair<const char *, int>> {};

TEST_P(ItemStepFault, SkipsTheItemReportsItAndCopiesTheRest)
{
    const auto [operation, nth] = GetParam();
    addUser("Ann", "AN");
    addUser("Bob", "BB");
    fill("Mailbox - Ann", {at("First", 0, "Desk", 45002.0)});
    const int baseline = callsOfCopyAll(operation);
    fill("Mailbox - Bob", {secret, at("Open", 0, "Hall", 45001.0)});
    messaging::faults::failCall(operation, baseline + nth);
    const calendar::CopyAllReport report = copyAll();
    messaging::faults::clear();

    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.itemsFailed, 1);
    EXPECT_EQ(report.usersFailed, 0);
    EXPECT_EQ(report.failures[0].mailbox, "Mailbox - Bob");
    EXPECT_EQ(report.failures[0].subject, "Secret");
    EXPECT_EQ(report.failures[0].number, Code::StoreFailure);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AN- First", "BB- Open"}));
    for (const Stored &copy : items())
        EXPECT_NE(copy.text, "Hidden");
    const std::string text = calendar::copyAllResultText(report);
    EXPECT_NE(text.find("Mailbox - Bob, \"Secret\""), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ItemStepFault,
    ::testing::Values(std::pair{"Message.AllDayEvent", 1}, std::pair{"Message.Categories", 1},
                      std::pair{"Message.Location", 1}, std::pair{"Message.StartTime", 1},
                      std::pair{"Message.Subject", 1}, std::pair{"Message.SetStamp", 1}, std::pair{"Message.Update", 1},
                      std::pair{"Message.CopyTo", 1}, std::pair{"Message.Sensitivity", 1},
                      std::pair{"Message.SetSubject", 1}, std::pair{"Message.SetText", 1},
                      std::pair{"Message.Subject", 2}, std::pair{"Message.SetSubject", 2},
                      std::pair{"Message.Update", 2}),
    [](const auto &tc) {
        std::string name = tc.param.first;
        return name.substr(name.find('.') + 1) + std::to_string(tc.param.second);
    });

// Every store write of the one-user copy failing in turn: whatever is left, no copy lacks
// its owner prefix or shows a private item, and every copy's personal item is stamped.
TEST_F(CalendarWork, FailedWriteAnywhereLeavesOnlyFinishedCopies)
{
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {secret, at("Open", 0, "Hall", 45001.0), at("Late", 1, "", 45002.0)});
    bool completed = false;
    for (int n = 1; n < 200 && !completed; ++n) {
        const StoreFixture copy(*this);
        {
            messaging::Session s = copy.logon();
            messaging::faults::failWrite(n);
            completed = errorOf([&] { calendar::copyUserCalendar(s, "Mailbox - Bob", std::locale::classic()); }) == 0;
            messaging::faults::clear();
        }
        const std::vector<Stored> copies = copy.items();
        std::size_t stamped = 0;
        for (const Stored &own : copy.items("Mailbox - Bob"))
            stamped += own.stamp.has_value() ? 1 : 0;
        EXPECT_LE(copies.size(), stamped) << "write " << n;
        EXPECT_GE(copies.size() + 1, stamped) << "write " << n;
        for (const Stored &c : copies) {
            EXPECT_EQ(c.subject.rfind("BB- ", 0), 0u) << "write " << n << ": " << c.subject;
            EXPECT_NE(c.text, "Hidden") << "write " << n;
        }
        EXPECT_TRUE(!completed || copies.size() == 3u) << copies.size();
    }
    EXPECT_TRUE(completed);
}

// --- a whole all-users run against a plain model ----------------------------------------

// The stamp (with the workstation's decimal comma), the holiday rule, owner prefixes of
// every length and masking, for every user the walk reaches.
TEST_F(CalendarWork, WholeRunMatchesThePlainModel)
{
    std::mt19937 random(20261206);
    const std::vector<std::string> eighths = {"", ",125", ",25", ",375", ",5", ",625", ",75", ",875"};
    const std::vector<std::string> locations = {"Hall", "Room 4:5", "K\xC3\xB6ln"};
    const std::vector<std::vector<std::string>> categorySets = {{"Holiday"}, {"holiday"}, {"Work", "Holiday"}, {}, {"Work"}};
    std::map<std::string, std::string> tags = {{"Administrator", "AD"}, {"Ann", "AN"}, {"bert", ""},
                                               {"Cleo Long Name", "CLEO"}, {"D\xC3\xB6rte", "DOE"}, {"Ed", "E"},
                                               {"Fay", "FAYEL"}};
    for (const auto &[user, tag] : tags)
        if (user != "Administrator")
            addUser(user, tag);
    // Entries other than mail users have no mailbox: the walk passes them over.
    addUser("Everyone", std::nullopt, messaging::DisplayType::DistList);
    addUser("Notices", std::nullopt, messaging::DisplayType::PublicFolder);
    addUser("Remote Rita", "RR", messaging::DisplayType::RemoteUser);

    std::vector<Stored> expectedCopies;
    std::map<std::string, std::vector<std::optional<std::string>>> expectedStamps;
    for (const auto &[user, tag] : tags) {
        std::vector<Item> userItems;
        const int count = 1 + static_cast<int>(random() % 11);
        for (int i = 0; i < count; ++i) {
            Item it;
            it.subject = user + ": item " + std::to_string(i);
            it.text = "about " + it.subject;
            it.sensitivity = static_cast<std::int32_t>(random() % 4);
            if (const auto cat = random() % 7; cat < categorySets.size())
                it.categories = categorySets[cat];
            it.allDay = static_cast<std::int32_t>(random() % 3);
            if (const auto loc = random() % 4; loc < locations.size())
                it.location = locations[loc];
            const int day = 44000 + static_cast<int>(random() % 2000);
            const auto e = random() % 9; // 8: no start time
            it.start = e < 8 ? std::optional<double>(day + static_cast<double>(e) / 8.0) : std::nullopt;
            userItems.push_back(it);

            if (it.categories && !it.categories->empty() && it.categories->front() == "Holiday") {
                expectedStamps[user].push_back(std::nullopt);
                continue;
            }
            const std::string flag = it.allDay == 0 ? "N" : "Y";
            const std::string dayText = e < 8 ? std::to_string(day) + eighths[e] : "";
            const std::string stamp = flag + ":" + it.location.value_or("") + ":" + dayText + ":" + it.subject;
            expectedStamps[user].push_back(stamp);
            const bool hidden = it.sensitivity == 2;
            expectedCopies.push_back({tag + "- " + (hidden ? "Private" : it.subject), hidden ? "Private" : it.text,
                                      it.sensitivity, hidden ? flag + "::" + dayText + ":Private" : stamp});
        }
        fill("Mailbox - " + user, userItems);
    }

    EXPECT_TRUE(copyAll(commaLocale()).failures.empty());
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

// --- deleting from the shared calendar -----------------------------------------------------

struct DeletionFault {
    bool oneUser; // Bob's copies, else the whole shared calendar
    int nth;      // the deletion that fails
    std::vector<std::string> left;
};
void PrintTo(const DeletionFault &c, std::ostream *os) { *os << (c.oneUser ? "one user " : "all ") << c.nth; }

class DeleteOrder : public CalendarWork, public ::testing::WithParamInterface<DeletionFault> {};

// When a deletion fails, the items already gone show the order: emptying the shared
// calendar goes from the last item to the first, one user's copies from the first.
TEST_P(DeleteOrder, WhatIsGoneStaysGoneTheRestStays)
{
    addUser("Bob", "BB");
    fill("", {{"BB- one"}, {"two"}, {"BB- three"}, {"four"}});
    messaging::faults::failCall("Message.Delete", GetParam().nth);
    messaging::Session s = logon();
    EXPECT_EQ(errorOf([&] {
                  GetParam().oneUser ? void(calendar::deleteUserItems(s, "Mailbox - Bob")) : void(calendar::deleteAllItems(s));
              }),
              Code::StoreFailure);
    s.Logoff();
    EXPECT_EQ(sharedSubjects(false), GetParam().left);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeleteOrder,
                         ::testing::Values(DeletionFault{false, 1, {"BB- one", "two", "BB- three", "four"}},
                                           DeletionFault{false, 2, {"BB- one", "two", "BB- three"}},
                                           DeletionFault{false, 4, {"BB- one"}},
                                           DeletionFault{true, 2, {"two", "BB- three", "four"}}));

TEST_F(CalendarWork, MoreThan32767ItemsAreAllDeleted)
{
    constexpr int count = 40000;
    messaging::Session s = logon();
    EXPECT_EQ(calendar::deleteAllItems(s), 0);
    const messaging::Messages messages = messaging::sharedCalendar(s).Messages();
    for (int i = 0; i < count; ++i) {
        messaging::Message m = messages.Add();
        m.SetSubject("item " + std::to_string(i));
        m.Update();
    }
    EXPECT_EQ(calendar::deleteAllItems(s), count);
    s.Logoff();
    EXPECT_TRUE(sharedSubjects().empty());
}

struct KeyCase {
    const char *name;
    std::string tag;      // the chosen user's tag
    std::string otherTag; // another user's tag
};
void PrintTo(const KeyCase &c, std::ostream *os) { *os << c.name; }

class DeleteOneUser : public CalendarWork, public ::testing::WithParamInterface<KeyCase> {};

// Copies and items entered directly: only subjects beginning with the whole prefix go.
TEST_P(DeleteOneUser, WholeOwnerPrefixSelects)
{
    const std::string mine = GetParam().tag + "- ", theirs = GetParam().otherTag + "- ";
    const std::string almost = mine.substr(0, mine.size() - 1) + "five";
    addUser("Bob", GetParam().tag);
    addUser("Eve", GetParam().otherTag);
    fill("", {{mine + "one"}, {theirs + "two"}, {"Staff meeting"}, {mine + "three"}, {"About " + mine + "x"},
              {theirs + "four"}, {almost}});
    EXPECT_EQ(deleteUser("Mailbox - Bob"), 2);
    EXPECT_EQ(sharedSubjects(false),
              (std::vector<std::string>{theirs + "two", "Staff meeting", "About " + mine + "x", theirs + "four", almost}));
}

INSTANTIATE_TEST_SUITE_P(
    TagLengths, DeleteOneUser,
    ::testing::Values(KeyCase{"Empty", "", "E"}, KeyCase{"One", "A", "AB"}, KeyCase{"Two", "AB", "A"},
                      KeyCase{"Three", "ABC", "ABCD"}, KeyCase{"Four", "ABCD", "ABCDE"},
                      KeyCase{"FiveSharingFour", "ABCDE", "ABCDF"}, KeyCase{"CaseOnly", "abcd", "ABCD"},
                      KeyCase{"NonAscii", "\xC3\x84" "B", "\xC3\x84" "BC"}),
    [](const auto &tc) { return std::string(tc.param.name); });

} // namespace
