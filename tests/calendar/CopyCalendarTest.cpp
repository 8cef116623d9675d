// Copying calendars into the shared calendar, on real store files: the stamp, the
// holiday rule, owner prefixes, masking, the directory look-up and failures injected
// into the per-item steps.
#include "WorkStore.h"

#include "actions/calendar/CalendarActions.h"
#include "messaging/Error.h"
#include "messaging/PropTags.h"

#include <gtest/gtest.h>

#include <locale>
#include <ostream>

using worktest::Item;
using worktest::Stored;

namespace {

// A decimal comma, as a German or French workstation writes numbers.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};
std::locale commaLocale() { return std::locale(std::locale::classic(), new CommaPunct); }

class CalendarWork : public ::testing::Test, public worktest::StoreWork {
protected:
    void copyUser(const std::string &pickerText, const std::locale &locale = std::locale::classic())
    {
        messaging::Session s = store.logon();
        calendar::copyUserCalendar(s, pickerText, locale);
    }
    calendar::CopyAllReport copyAll(const std::locale &locale = std::locale::classic())
    {
        messaging::Session s = store.logon();
        return calendar::copyAllCalendars(s, locale);
    }
};

Item at(const char *subject, std::int32_t allDay, std::optional<std::string> location, std::optional<double> start,
        std::optional<std::vector<std::string>> categories = std::nullopt, std::int32_t sensitivity = 0)
{
    return Item{subject, "body", sensitivity, std::move(categories), allDay, std::move(location), start};
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

struct CutCase {
    std::string picker;
    std::string name;
};
void PrintTo(const CutCase &c, std::ostream *os) { *os << c.picker; }

class MailboxCut : public ::testing::TestWithParam<CutCase> {};

TEST_P(MailboxCut, DropsTenCharactersAndKeepsAtMost99)
{
    EXPECT_EQ(calendar::mailboxNameFromPicker(GetParam().picker), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Values, MailboxCut,
    ::testing::Values(CutCase{"Mailbox - Bob", "Bob"}, CutCase{"Mailbox", ""}, CutCase{"0123456789Typed", "Typed"},
                      CutCase{"Mailbox - " + std::string(99, 'x') + "yz", std::string(99, 'x')},
                      // characters, not bytes: an umlaut is one character and is never split
                      CutCase{"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4" "Bob", "Bob"},
                      CutCase{"Mailbox - " + std::string(98, 'x') + "\xC3\xBC\xC3\xBC",
                              std::string(98, 'x') + "\xC3\xBC"}));

// --- the copy stamp and the holiday rule, through a real copy ------------------------

struct StampCase {
    const char *name;
    Item item;
    std::string stamp; // empty: the item is not stamped and not copied
};
void PrintTo(const StampCase &c, std::ostream *os) { *os << c.name; }

class Stamp : public CalendarWork, public ::testing::WithParamInterface<StampCase> {};

TEST_P(Stamp, SavedInThePersonalItemAndInheritedByTheCopy)
{
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {GetParam().item});
    copyUser("Mailbox - Bob");
    const std::vector<Stored> source = items("Mailbox - Bob");
    const std::vector<Stored> copies = items();
    ASSERT_EQ(source.size(), 1u);
    EXPECT_EQ(source[0].subject, GetParam().item.subject);
    if (GetParam().stamp.empty()) {
        EXPECT_FALSE(source[0].stamp.has_value());
        EXPECT_TRUE(copies.empty());
        return;
    }
    EXPECT_EQ(source[0].stamp, GetParam().stamp);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].stamp, GetParam().stamp);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Stamp,
    ::testing::Values(
        StampCase{"FlagZero", at("Review", 0, "Room 4", 45000.375), "N:Room 4:45000.375:Review"},
        StampCase{"FlagOtherValue", at("Odd", 7, "X", 45001.0), "Y:X:45001:Odd"},
        StampCase{"NoLocation", at("Call", 0, std::nullopt, 45000.5), "N::45000.5:Call"},
        StampCase{"ColonsKept", at("a:b", 0, "c:d", 45000.25), "N:c:d:45000.25:a:b"},
        StampCase{"NoStart", at("Loose", 0, "Here", std::nullopt), "N:Here::Loose"},
        StampCase{"Holiday", at("Xmas", 1, "Home", 45000.0, std::vector<std::string>{"Holiday", "Work"}), ""},
        StampCase{"HolidaySmallLetters", at("Xmas", 1, "", 45000.0, std::vector<std::string>{"holiday"}),
                  "Y::45000:Xmas"},
        StampCase{"HolidaySecond", at("Fair", 0, "", 45000.0, std::vector<std::string>{"Work", "Holiday"}),
                  "N::45000:Fair"},
        StampCase{"EmptyCategoryList", at("Plain", 0, "", 45000.0, std::vector<std::string>{}), "N::45000:Plain"},
        StampCase{"NonAscii", at("Gr\xC3\xBC\xC3\x9F" "e", 0, "K\xC3\xB6ln", 45000.75),
                  "N:K\xC3\xB6ln:45000.75:Gr\xC3\xBC\xC3\x9F" "e"}),
    [](const auto &tc) { return std::string(tc.param.name); });

TEST_F(CalendarWork, StampUsesTheDecimalCommaOfTheLocaleInBothCopies)
{
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {at("Review", 0, "Room 4", 45000.375)});
    copyUser("Mailbox - Bob", commaLocale());
    copyAll(commaLocale());
    EXPECT_EQ(items("Mailbox - Bob")[0].stamp, "N:Room 4:45000,375:Review");
    ASSERT_EQ(items().size(), 2u);
    for (const Stored &copy : items())
        EXPECT_EQ(copy.stamp, "N:Room 4:45000,375:Review");
}

// --- owner prefixes and private items -------------------------------------------------

class OwnerPrefix : public CalendarWork, public ::testing::WithParamInterface<std::string> {};

TEST_P(OwnerPrefix, WholeTagAndHyphenSpaceBeforeTheSubject)
{
    addUser("Bob", GetParam());
    fill("Mailbox - Bob", {at("Review", 0, "", 45000.0)});
    copyUser("Mailbox - Bob");
    EXPECT_EQ(sharedSubjects(), std::vector<std::string>{GetParam() + "- Review"});
}

INSTANTIATE_TEST_SUITE_P(TagLengths, OwnerPrefix, ::testing::Values("", "A", "AB", "ABC", "ABCD", "ABCDE"));

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
    messaging::Session s = store.logon();
    EXPECT_EQ(restOf(worktest::sharedFolder(s)), copyRest + copyRest);
    EXPECT_EQ(restOf(worktest::calendarOf(s, "Mailbox - Bob")), personalRest);
}

INSTANTIATE_TEST_SUITE_P(Sensitivities, Masking, ::testing::Values(0, 1, 2, 3));

TEST_F(CalendarWork, TwoRunsGiveTwoCopies)
{
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {at("One", 0, "", 45000.0), at("Two", 0, "", 45000.0),
                           at("Off", 0, "", 45000.0, std::vector<std::string>{"Holiday"})});
    copyUser("Mailbox - Bob");
    copyUser("Mailbox - Bob");
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"BB- One", "BB- One", "BB- Two", "BB- Two"}));
}

// --- the directory look-up and the store opened --------------------------------------

struct PickerCase {
    const char *name;
    std::string user;                // display name of the user made for the case
    std::optional<std::string> tag;
    bool shared;
    std::string picker;              // what the picker holds
    std::int32_t error;              // 0: the user's items are copied
};
void PrintTo(const PickerCase &c, std::ostream *os) { *os << c.name; }

class PickerText : public CalendarWork, public ::testing::WithParamInterface<PickerCase> {};

TEST_P(PickerText, CutNameForTheDirectoryWholeTextForTheStore)
{
    const PickerCase &c = GetParam();
    addUser(c.user, c.tag, 0, c.shared);
    if (c.shared)
        fill("Mailbox - " + c.user, {at("Item", 0, "", 45000.0)});
    messaging::Session s = store.logon();
    const auto before = worktest::dumpAll(s);
    if (c.error == 0) {
        calendar::copyUserCalendar(s, c.picker, std::locale::classic());
        s.Logoff();
        EXPECT_EQ(sharedSubjects(), std::vector<std::string>{"TG- Item"});
        return;
    }
    try {
        calendar::copyUserCalendar(s, c.picker, std::locale::classic());
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), c.error);
    }
    // Nothing is written before the directory, the owner tag and both folders are found.
    EXPECT_EQ(worktest::dumpAll(s), before);
}

const std::string longName = std::string(99, 'L') + "ong tail";

INSTANTIATE_TEST_SUITE_P(
    Cases, PickerText,
    ::testing::Values(
        PickerCase{"ListEntry", "Bob", "TG", true, "Mailbox - Bob", 0},
        // The first 99 characters find the entry; the store is opened with the whole text.
        PickerCase{"LongDisplayName", longName, "TG", true, "Mailbox - " + longName, 0},
        // A typed text loses ten characters for the look-up but names the store whole.
        PickerCase{"TypedText", "Bob", "TG", true, "xxxxxxxxxxBob", messaging::ErrorCode::NotFound},
        PickerCase{"TooShort", "Bob", "TG", true, "Mailbox", messaging::ErrorCode::NotFound},
        PickerCase{"UnknownUser", "Bob", "TG", true, "Mailbox - Nobody", messaging::ErrorCode::NotFound},
        PickerCase{"NotShared", "Bob", "TG", false, "Mailbox - Bob", messaging::ErrorCode::NotFound},
        PickerCase{"NoOwnerTag", "Bob", std::nullopt, true, "Mailbox - Bob", messaging::ErrorCode::NotFound}),
    [](const auto &tc) { return std::string(tc.param.name); });

// --- failures injected into the per-item steps ----------------------------------------

// The first item is private, so a copy that escaped before its masking would show.
struct StepFault {
    const char *operation;
    int nth;
    bool stampSaved; // the failure comes after the personal item was saved
};
void PrintTo(const StepFault &c, std::ostream *os) { *os << c.operation << " " << c.nth; }

class ItemStepFault : public CalendarWork, public ::testing::WithParamInterface<StepFault> {};

TEST_P(ItemStepFault, OneUserStopsAndLeavesNoCopyOfTheItem)
{
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {secret, at("Open", 0, "Hall", 45001.0)});
    messaging::faults::failCall(GetParam().operation, GetParam().nth);
    try {
        copyUser("Mailbox - Bob");
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), messaging::ErrorCode::StoreFailure);
    }
    messaging::faults::clear();
    EXPECT_TRUE(items().empty());
    EXPECT_EQ(items("Mailbox - Bob")[0].stamp.has_value(), GetParam().stampSaved);
    EXPECT_FALSE(items("Mailbox - Bob")[1].stamp.has_value());
}

TEST_P(ItemStepFault, AllUsersSkipsTheItemReportsItAndCopiesTheRest)
{
    // A run on a copy of the store without Bob's items tells how often Ann's copy calls
    // the operation; Ann sorts first, so her item starts the skipping mode.
    addUser("Ann", "AN");
    addUser("Bob", "BB");
    fill("Mailbox - Ann", {at("First", 0, "Desk", 45002.0)});
    int baseline = 0;
    {
        const worktest::TempStore twin(store);
        messaging::Session s = twin.logon();
        messaging::faults::clear();
        calendar::copyAllCalendars(s, std::locale::classic());
        baseline = messaging::faults::callCount(GetParam().operation);
    }
    fill("Mailbox - Bob", {secret, at("Open", 0, "Hall", 45001.0)});
    messaging::faults::clear();
    messaging::faults::failCall(GetParam().operation, baseline + GetParam().nth);
    const calendar::CopyAllReport report = copyAll();
    messaging::faults::clear();

    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.itemsFailed, 1);
    EXPECT_EQ(report.usersFailed, 0);
    EXPECT_EQ(report.failures[0].mailbox, "Mailbox - Bob");
    EXPECT_EQ(report.failures[0].subject, "Secret");
    EXPECT_EQ(report.failures[0].number, messaging::ErrorCode::StoreFailure);
    EXPECT_EQ(sharedSubjects(), (std::vector<std::string>{"AN- First", "BB- Open"}));
    for (const Stored &copy : items())
        EXPECT_NE(copy.text, "Hidden");
    const std::string text = calendar::copyAllResultText(report);
    EXPECT_NE(text.find("Mailbox - Bob, \"Secret\""), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ItemStepFault,
    ::testing::Values(StepFault{"Message.AllDayEvent", 1, false}, StepFault{"Message.Categories", 1, false},
                      StepFault{"Message.Location", 1, false}, StepFault{"Message.StartTime", 1, false},
                      StepFault{"Message.Subject", 1, false}, StepFault{"Message.SetStamp", 1, false},
                      StepFault{"Message.Update", 1, false}, StepFault{"Message.CopyTo", 1, true},
                      StepFault{"Message.Sensitivity", 1, true}, StepFault{"Message.SetSubject", 1, true},
                      StepFault{"Message.SetText", 1, true}, StepFault{"Message.Subject", 2, true},
                      StepFault{"Message.SetSubject", 2, true}, StepFault{"Message.Update", 2, true}),
    [](const auto &tc) {
        std::string name = tc.param.operation;
        name.erase(0, name.find('.') + 1);
        return name + std::to_string(tc.param.nth);
    });

// Every store write failing in turn: whatever is left, no copy lacks its owner prefix or
// shows a private item, and every copy's personal item carries the stamp.
TEST_F(CalendarWork, FailedWriteAnywhereLeavesOnlyFinishedCopies)
{
    addUser("Bob", "BB");
    fill("Mailbox - Bob", {secret, at("Open", 0, "Hall", 45001.0), at("Late", 1, "", 45002.0)});
    bool completed = false;
    for (int n = 1; n < 200 && !completed; ++n) {
        const worktest::TempStore copy(store);
        {
            messaging::Session s = copy.logon();
            messaging::faults::failWrite(n);
            try {
                calendar::copyUserCalendar(s, "Mailbox - Bob", std::locale::classic());
                completed = true;
            } catch (const messaging::Error &) {
            }
            messaging::faults::clear();
        }
        messaging::Session s = copy.logon();
        const std::vector<Stored> copies = worktest::contents(worktest::sharedFolder(s));
        std::size_t stamped = 0;
        for (const Stored &o : worktest::contents(worktest::calendarOf(s, "Mailbox - Bob")))
            stamped += o.stamp.has_value() ? 1 : 0;
        EXPECT_LE(copies.size(), stamped) << "write " << n;
        EXPECT_GE(copies.size() + 1, stamped) << "write " << n;
        for (const Stored &c : copies) {
            EXPECT_EQ(c.subject.rfind("BB- ", 0), 0u) << "write " << n << ": " << c.subject;
            EXPECT_NE(c.text, "Hidden") << "write " << n;
        }
        if (completed) {
            EXPECT_EQ(copies.size(), 3u);
        }
    }
    EXPECT_TRUE(completed);
}

} // namespace
