// ics import / ics export through the tool, on real stores: samples, round trips,
// failing stores, the shared calendar read by libical and by python3-icalendar, zones.
#include "IcalPtr.h"
#include "ToolTestSupport.h"
#include "TestStores.h"

#include "DayNumber.h"
#include "actions/calendar/CalendarActions.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/Session.h"

#include <gtest/gtest.h>

#include <locale>
#include <map>
#include <set>

using namespace tooltest;
using nlohmann::json;

namespace {

const std::vector<std::string> kWellFormed{
    "icalendar-alarm_google_future.ics",     "icalendar-alarm_outlook_in_future.ics",
    "icalendar-alarm_thunderbird_future.ics", "icalendar-america_new_york.ics",
    "icalendar-created_calendar_with_unicode_fields.ics", "icalendar-issue_1050_all_components.ics",
    "icalendar-issue_1081_event_with_rrule.ics", "icalendar-issue_127_categories_with_commas.ics",
    "icalendar-issue_1797_todo_completed.ics", "icalendar-issue_218_bad_tzid.ics",
    "icaljs-daily_recur.ics",                "icaljs-duration_instead_of_dtend.ics",
    "icaljs-google_birthday.ics",            "icaljs-long_summary.ics",
    "icaljs-only_dtstart_date.ics",          "icaljs-rdate_exdate.ics",
    "icaljs-recur_instances.ics"};

class Ics : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_store = teststores::newLocation(dir.path(), "server.db");
        ASSERT_EQ(runStore(store(), {"init"}).exitCode, 0);
        ASSERT_EQ(runStore(store(), {"user", "add", "Ann Lee", "--tag", "AL"}).exitCode, 0);
        ASSERT_EQ(runStore(store(), {"user", "add", "Bo Chen", "--tag", "BOCH"}).exitCode, 0);
    }
    void TearDown() override { teststores::release(m_store); }
    const std::filesystem::path &store() const { return m_store; }
    TempDir dir;
    std::filesystem::path m_store;
};

const std::string kAnn = "Mailbox - Ann Lee/Calendar";
const std::string kBo = "Mailbox - Bo Chen/Calendar";

} // namespace

TEST_F(Ics, EveryWellFormedSampleImportsAndSurvivesExportAndReimport)
{
    std::vector<std::string> args{"ics", "import", kAnn};
    for (const std::string &f : kWellFormed)
        args.push_back(sample(f).string());
    const RunResult imported = runStore(store(), args);
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("icalendar-issue_1050_all_components.ics: 1 event imported; skipped 1 VAVAILABILITY, "
                                "1 VJOURNAL, 1 VTODO"),
              std::string::npos)
        << imported.out;
    const json first = dumpFolder(store(), kAnn);
    EXPECT_EQ(first.size(), 21u);

    const RunResult exported = runStore(store(), {"ics", "export", kAnn, (dir / "ann.ics").string()});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    expectValidExport(readFile(dir / "ann.ics"));
    const RunResult again = runStore(store(), {"ics", "import", kBo, (dir / "ann.ics").string()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(withoutIds(dumpFolder(store(), kBo)), withoutIds(first));

    // A second export of the re-imported items carries the same UIDs as the first.
    const RunResult toStdout = runStore(store(), {"ics", "export", kBo, "-"});
    ASSERT_EQ(toStdout.exitCode, 0);
    auto uids = [](const std::string &text) {
        std::vector<std::string> out;
        larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(text);
        for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT))
            out.push_back(icalcomponent_get_uid(ev));
        return out;
    };
    EXPECT_EQ(uids(toStdout.out), uids(readFile(dir / "ann.ics")));
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

// Each file is one transaction: the malformed samples are rejected or partly skipped with
// a message naming file and line, a missing file is named, and the rest is imported.
TEST_F(Ics, MalformedFilesLeaveTheStoreAsItWasAndDoNotStopTheOthers)
{
    ASSERT_EQ(runStore(store(), {"item", "add", kAnn, "--subject", "Existing"}).exitCode, 0);
    const RunResult r = runStore(store(), {"ics", "import", kAnn, sample("icalendar-broken_ical.ics").string(),
                                           sample("libical-calendar.ics").string(),
                                           sample("icaljs-blank_line_mid.ics").string(),
                                           sample("icaljs-daily_recur.ics").string(), (dir / "missing.ics").string()});
    EXPECT_NE(r.exitCode, 0);
    for (const char *message :
         {"icalendar-broken_ical.ics:4: malformed content line",
          "libical-calendar.ics:57: event calsrv.example.com-1002@example.com: the DTEND value \"19970701T1100000Z\" "
          "cannot be read",
          "icaljs-blank_line_mid.ics:3: empty line ignored", "missing.ics: cannot be opened"})
        EXPECT_NE(r.err.find(message), std::string::npos) << message << "\n" << r.err;
    const json after = dumpFolder(store(), kAnn);
    ASSERT_EQ(after.size(), 2u); // the existing item and the daily recurring event
    EXPECT_EQ(after[0]["subject"], "Existing");
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

class FailingStore : public Ics, public ::testing::WithParamInterface<int> {};

TEST_P(FailingStore, AFileIsImportedWholeOrNotAtAll)
{
    ASSERT_EQ(runStore(store(), {"item", "add", kAnn, "--subject", "Existing"}).exitCode, 0);
    const json before = dumpFolder(store(), kAnn);
    // Three events: the nth store write fails somewhere inside the file.
    const RunResult r = runStore(store(), {"ics", "import", kAnn, sample("icalendar-alarm_outlook_in_future.ics").string()},
                                 {"LARKSPUR_FAULT=write:" + std::to_string(GetParam())});
    const json after = dumpFolder(store(), kAnn);
    if (r.exitCode == 0) {
        EXPECT_EQ(after.size(), before.size() + 3); // the fault fell after the import
    } else {
        EXPECT_NE(r.err.find("nothing of the file was imported"), std::string::npos) << r.err;
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(NthWrite, FailingStore, ::testing::Values(1, 2, 3, 4, 5, 6, 8, 12));

TEST_F(Ics, TheSharedCalendarAfterTwoUsersCopiesReadsBackEverywhere)
{
    const std::vector<std::vector<std::string>> setUp = {
        {"ics", "import", kAnn, sample("icaljs-recur_instances.ics").string(),
         sample("icalendar-issue_127_categories_with_commas.ics").string()},
        {"item", "add", kAnn, "--subject", "Dentist", "--text", "root canal", "--start", "2027-03-02T08:00",
         "--sensitivity", "2"},
        {"item", "add", kAnn, "--subject", "Bank holiday", "--start", "2027-03-03", "--all-day", "--category", "Holiday"},
        {"item", "add", kBo, "--subject", "Review, part 2; final", "--start", "2027-03-02T10:00", "--location",
         "Room 7", "--category", "Work"},
        {"item", "add", kBo, "--subject", "Doctor", "--start", "2027-03-04", "--all-day", "--sensitivity", "2"}};
    for (const std::vector<std::string> &args : setUp)
        ASSERT_EQ(runStore(store(), args).exitCode, 0) << args[2];
    ASSERT_EQ(runStore(store(), {"ics", "export", kAnn, (dir / "ann.ics").string()}).exitCode, 0);
    {
        messaging::Session session(store());
        session.Logon("Administrator");
        calendar::copyUserCalendar(session, "Mailbox - Ann Lee", std::locale::classic());
        calendar::copyUserCalendar(session, "Mailbox - Bo Chen", std::locale::classic());
    }
    const std::filesystem::path file = dir / "shared.ics";
    const RunResult r = runStore(store(), {"ics", "export", kSharedCalendar, file.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const json shared = dumpFolder(store(), kSharedCalendar);
    ASSERT_EQ(shared.size(), 5u); // the holiday stays home

    expectValidExport(readFile(file));
    // libical.
    larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(readFile(file));
    ASSERT_TRUE(cal);
    std::set<std::string> masters;
    int vevents = 0;
    for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
        ++vevents;
        EXPECT_FALSE(icalcomponent_get_first_property(ev, ICAL_XLICERROR_PROPERTY));
        if (!icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY)) {
            EXPECT_TRUE(masters.insert(icalcomponent_get_uid(ev)).second) << "repeated UID";
        }
    }
    EXPECT_EQ(masters.size(), 5u);
    EXPECT_EQ(vevents, 7); // the recurring event brings its two overridden instances

    // python3-icalendar, with Debian's own interpreter.
    const RunResult py = runProgram(SYSTEM_PYTHON, {READ_ICS_SCRIPT, file.string()});
    ASSERT_EQ(py.exitCode, 0) << py.err;
    const json read = json::parse(py.out);
    EXPECT_EQ(read["version"], "2.0");
    std::multiset<std::string> summaries;
    std::map<std::string, std::set<std::string>> summariesByUid;
    for (const json &ev : read["events"]) {
        summaries.insert(ev["summary"].get<std::string>());
        summariesByUid[ev["uid"]].insert(ev["summary"].get<std::string>());
    }
    EXPECT_EQ(summariesByUid.size(), 5u);
    EXPECT_EQ(summaries.count("AL- Private"), 1u);
    EXPECT_EQ(summaries.count("BOCH- Private"), 1u);
    EXPECT_EQ(summaries.count("BOCH- Review, part 2; final"), 1u);
    for (const std::string &s : summaries)
        EXPECT_TRUE(s.rfind("AL- ", 0) == 0 || s.rfind("BOCH- ", 0) == 0) << s;
    for (const json &ev : read["events"])
        if (ev["summary"] == "BOCH- Review, part 2; final") {
            EXPECT_EQ(ev["categories"], json::parse(R"(["Work"])"));
        }
    EXPECT_EQ(readFile(file).find("root canal"), std::string::npos);

    // A copy never repeats the UID of the personal item it came from.
    larkspur::ics::ComponentPtr personal = larkspur::ics::parseCalendar(readFile(dir / "ann.ics"));
    for (icalcomponent *ev = icalcomponent_get_first_component(personal.get(), ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(personal.get(), ICAL_VEVENT_COMPONENT))
        EXPECT_FALSE(masters.count(icalcomponent_get_uid(ev))) << icalcomponent_get_uid(ev);
}

struct ZoneCase {
    const char *tz;
    const char *date;        // YYYYMMDD at 09:00 New York time
    const char *local;       // expected local start
};

void PrintTo(const ZoneCase &c, std::ostream *os)
{
    *os << c.tz << " " << c.date;
}

class Zones : public Ics, public ::testing::WithParamInterface<ZoneCase> {};

TEST_P(Zones, NineInNewYorkIsTheRightLocalTime)
{
    const ZoneCase c = GetParam();
    for (const bool withVtimezone : {false, true}) {
        const std::string zone = withVtimezone ? readFile(sample("icalendar-issue_1050_all_components.ics")) : "";
        std::string vtimezone;
        if (withVtimezone) {
            const std::size_t b = zone.find("BEGIN:VTIMEZONE");
            const std::size_t e = zone.find("END:VTIMEZONE");
            ASSERT_NE(b, std::string::npos);
            vtimezone = zone.substr(b, e + 13 - b) + "\n";
            ASSERT_NE(vtimezone.find("TZID:America/New_York"), std::string::npos);
        }
        const std::string ics = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//test//EN\n" + vtimezone
                                + "BEGIN:VEVENT\nUID:ny-" + c.date + "\nDTSTAMP:20270101T000000Z\n"
                                + "DTSTART;TZID=America/New_York:" + c.date + "T090000\n"
                                + "DTEND;TZID=America/New_York:" + c.date + "T100000\n"
                                + "SUMMARY:Call with New York\nEND:VEVENT\nEND:VCALENDAR\n";
        writeFile(dir / "ny.ics", ics);
        const std::string folder = withVtimezone ? kBo : kAnn;
        const RunResult r = runStore(store(), {"ics", "import", folder, (dir / "ny.ics").string()},
                                     {std::string("TZ=") + c.tz});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const json items = dumpFolder(store(), folder);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0]["start"], c.local) << (withVtimezone ? "with VTIMEZONE" : "built-in zone");

        // The day number the store holds is that local date-time.
        const double expected = larkspur::toDayNumber(*larkspur::parseIso(c.local));
        messaging::Session session(store());
        session.Logon("Administrator");
        const std::string storeName = folder.substr(0, folder.find('/'));
        messaging::Message m =
            session.InfoStores().Item(storeName).RootFolder().Folders().Item("Calendar").Messages().Item(1);
        ASSERT_TRUE(m.StartTime());
        EXPECT_NEAR(*m.StartTime(), expected, 1e-9);
        m.Delete();
        session.Logoff();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Zones,
                         ::testing::Values(ZoneCase{"Europe/Berlin", "20270115", "2027-01-15T15:00:00"},
                                           ZoneCase{"UTC", "20270115", "2027-01-15T14:00:00"},
                                           ZoneCase{"Europe/Berlin", "20270715", "2027-07-15T15:00:00"},
                                           ZoneCase{"UTC", "20270715", "2027-07-15T13:00:00"},
                                           // New York has gone over to daylight time, Berlin not yet.
                                           ZoneCase{"Europe/Berlin", "20270320", "2027-03-20T14:00:00"}));
