// ics import / ics export through the tool, on real stores: samples, round trips,
// failing stores, the shared calendar read by libical and by python3-icalendar, zones,
// stable exports, awkward texts and files that must be refused.
#include "ToolTestSupport.h"
#include "TestStores.h"

#include "actions/calendar/CalendarActions.h"
#include "ical/IcalPtr.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/Session.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <locale>
#include <map>
#include <set>
#include <thread>

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

class Ics : public ToolStore {
protected:
    Ics()
    {
        addUser("Ann Lee", "AL");
        addUser("Bo Chen", "BOCH");
    }
};

const std::string kAnn = "Mailbox - Ann Lee/Calendar";
const std::string kBo = "Mailbox - Bo Chen/Calendar";

} // namespace

TEST_F(Ics, EveryWellFormedSampleImportsAndSurvivesExportAndReimport)
{
    std::vector<std::string> args{"ics", "import", kAnn};
    for (const std::string &f : kWellFormed)
        args.push_back(sample(f).string());
    const RunResult imported = runOk(store(), args);
    EXPECT_NE(imported.out.find("icalendar-issue_1050_all_components.ics: 1 event imported; skipped 1 VAVAILABILITY, "
                                "1 VJOURNAL, 1 VTODO"),
              std::string::npos)
        << imported.out;
    const json first = dumpFolder(store(), kAnn);
    EXPECT_EQ(first.size(), 21u);

    runOk(store(), {"ics", "export", kAnn, (dir() / "ann.ics").string()});
    expectValidExport(readFile(dir() / "ann.ics"));
    runOk(store(), {"ics", "import", kBo, (dir() / "ann.ics").string()});
    EXPECT_EQ(withoutIds(dumpFolder(store(), kBo)), withoutIds(first));

    // A second export of the re-imported items carries the same UIDs as the first.
    const RunResult toStdout = runOk(store(), {"ics", "export", kBo, "-"});
    EXPECT_EQ(eventUids(toStdout.out), eventUids(readFile(dir() / "ann.ics")));
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

// Each file is one transaction: the malformed samples are rejected or partly skipped with
// a message naming file and line, a missing file is named, and the rest is imported.
TEST_F(Ics, MalformedFilesLeaveTheStoreAsItWasAndDoNotStopTheOthers)
{
    runOk(store(), {"item", "add", kAnn, "--subject", "Existing"});
    const RunResult r = runStore(store(), {"ics", "import", kAnn, sample("icalendar-broken_ical.ics").string(),
                                           sample("libical-calendar.ics").string(),
                                           sample("icaljs-blank_line_mid.ics").string(),
                                           sample("icaljs-daily_recur.ics").string(), (dir() / "missing.ics").string()});
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

// The nth store write fails somewhere inside a file of three events (the tool's test build
// takes the fault switch from the environment); 0: the installed tool, which reads none.
TEST_P(FailingStore, AFileIsImportedWholeOrNotAtAll)
{
    runOk(store(), {"item", "add", kAnn, "--subject", "Existing"});
    const json before = dumpFolder(store(), kAnn);
    const RunResult r = runProgram(GetParam() ? LARKSPUR_STORE_TEST_EXE : LARKSPUR_STORE_EXE,
                                   {"--store", store().string(), "ics", "import", kAnn,
                                    sample("icalendar-alarm_outlook_in_future.ics").string()},
                                   {"LARKSPUR_FAULT=write:" + std::to_string(std::max(GetParam(), 1))});
    const json after = dumpFolder(store(), kAnn);
    if (r.exitCode == 0 || GetParam() == 0) {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(after.size(), before.size() + 3); // the fault fell after the import
    } else {
        EXPECT_NE(r.err.find("nothing of the file was imported"), std::string::npos) << r.err;
        EXPECT_EQ(after, before);
    }
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(NthWrite, FailingStore, ::testing::Values(0, 1, 2, 3, 4, 5, 6, 8, 12));

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
        runOk(store(), args);
    runOk(store(), {"ics", "export", kAnn, (dir() / "ann.ics").string()});
    {
        messaging::Session session(store());
        session.Logon("Administrator");
        calendar::copyUserCalendar(session, "Mailbox - Ann Lee", std::locale::classic());
        calendar::copyUserCalendar(session, "Mailbox - Bo Chen", std::locale::classic());
    }
    const std::filesystem::path file = dir() / "shared.ics";
    runOk(store(), {"ics", "export", kSharedCalendar, file.string()});
    ASSERT_EQ(dumpFolder(store(), kSharedCalendar).size(), 5u); // the holiday stays home
    const std::string text = readFile(file);
    expectValidExport(text);
    // libical: each item once, the recurring event with its two overridden instances.
    const std::vector<std::string> masters = eventUids(text, true);
    EXPECT_EQ(std::set<std::string>(masters.begin(), masters.end()).size(), 5u);
    EXPECT_EQ(eventUids(text).size(), 7u);
    // A copy never repeats the UID of the personal item it came from.
    for (const std::string &uid : eventUids(readFile(dir() / "ann.ics")))
        EXPECT_EQ(std::count(masters.begin(), masters.end(), uid), 0) << uid;

    // python3-icalendar, with Debian's own interpreter.
    const RunResult py = runProgram(SYSTEM_PYTHON, {READ_ICS_SCRIPT, file.string()});
    ASSERT_EQ(py.exitCode, 0) << py.err;
    std::multiset<std::string> summaries;
    const json read = json::parse(py.out);
    for (const json &ev : read["events"]) {
        const std::string summary = ev["summary"];
        summaries.insert(summary);
        EXPECT_TRUE(summary.rfind("AL- ", 0) == 0 || summary.rfind("BOCH- ", 0) == 0) << summary;
        if (summary == "BOCH- Review, part 2; final") {
            EXPECT_EQ(ev["categories"], json::array({"Work"}));
        }
    }
    for (const char *summary : {"AL- Private", "BOCH- Private", "BOCH- Review, part 2; final"})
        EXPECT_EQ(summaries.count(summary), 1u) << summary;
}

// A private event with everything a client may attach to it, recurring, one instance moved.
const std::string kOncology =
    "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//test//EN\nBEGIN:VEVENT\nUID:onc-1@clinic.example\n"
    "DTSTART;TZID=Europe/London:20261120T090000\nDTEND;TZID=Europe/London:20261120T100000\nRRULE:FREQ=WEEKLY;COUNT=4\n"
    "EXDATE;TZID=Europe/London:20261127T090000\nCLASS:PRIVATE\nSUMMARY:Oncology appointment\n"
    "DESCRIPTION;ALTREP=\"http://clinic.example/l\":Biopsy\nLOCATION:City Cancer Clinic\nCATEGORIES:Medical\n"
    "COMMENT:Second opinion\nATTENDEE;CN=Dr Rao:mailto:r@clinic.example\nORGANIZER:mailto:ann@example.org\n"
    "URL:http://clinic.example/a\nATTACH:http://clinic.example/s.pdf\nCONTACT:Nurse\nRESOURCES:Scanner\n"
    "GEO:51.5;-0.12\nX-CLINIC-REF:77\nBEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:Bring the scans\nTRIGGER:-PT1H\n"
    "END:VALARM\nEND:VEVENT\nBEGIN:VEVENT\nUID:onc-1@clinic.example\nRECURRENCE-ID;TZID=Europe/London:20261204T090000\n"
    "DTSTART;TZID=Europe/London:20261204T110000\nSUMMARY:Oncology follow-up\nEND:VEVENT\nEND:VCALENDAR\n";

// Which copy action fills the shared calendar, and the zone the tool runs in.
class Privacy : public Ics, public ::testing::WithParamInterface<std::pair<bool, std::string>> {};

TEST_P(Privacy, TheSharedCalendarShowsNothingPrivate)
{
    const std::vector<std::string> env{"TZ=" + GetParam().second};
    writeFile(dir() / "onc.ics", kOncology);
    runOk(store(), {"ics", "import", kAnn, (dir() / "onc.ics").string()}, env);
    // Put straight into the shared calendar, past the copy actions: the export masks it too.
    runOk(store(), {"item", "add", kSharedCalendar, "--subject", "Chemo", "--sensitivity", "2",
                                 "--location", "Ward 7", "--category", "Medical"});
    messaging::Session session(store());
    session.Logon("Administrator");
    GetParam().first ? (void)calendar::copyAllCalendars(session, std::locale::classic())
                     : (void)calendar::copyUserCalendar(session, "Mailbox - Ann Lee", std::locale::classic());
    session.Logoff();
    const RunResult r = runOk(store(), {"ics", "export", kSharedCalendar, "-"}, env);
    expectValidExport(r.out);
    for (const char *gone : {"Oncology", "Biopsy", "Cancer", "Medical", "opinion", "clinic.example", "ann@", "Nurse",
                             "Ward", "Scanner", "51.5", "X-CLINIC", "Bring the scans", "VALARM", "Chemo", "\nLOCATION"})
        EXPECT_EQ(r.out.find(gone), std::string::npos) << gone << "\n" << r.out;
    for (const char *kept : {"SUMMARY:AL- Private\r\nDESCRIPTION:Private\r\nCLASS:PRIVATE\r\n", "SUMMARY:Private\r\n",
                             "DTSTART;TZID=Europe/London:20261120T090000\r\nDTEND;TZID=Europe/London:20261120T100000"
                             "\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\nEXDATE;TZID=Europe/London:20261127T090000\r\n",
                             "RECURRENCE-ID;TZID=Europe/London:20261204T090000\r\nDTSTART;TZID=Europe/London:20261204T11"})
        EXPECT_NE(r.out.find(kept), std::string::npos) << kept << "\n" << r.out;
    // The copy in the store is masked as well; its stamp keeps flag and day number.
    const json copy = dumpFolder(store(), kSharedCalendar)[1];
    const std::string stamp = copy["stamp"];
    EXPECT_TRUE(stamp.rfind("N::4634", 0) == 0 && stamp.find(":Private") == stamp.size() - 8) << stamp;
    EXPECT_EQ(copy["location"], nullptr);
    // Only the item put in by hand shows more; check says what, never the text itself.
    const RunResult check = runStore(store(), {"check"});
    EXPECT_NE(check.err.find("shows more than \"Private\": subject, body, location, categories\n"), std::string::npos)
        << check.err;
    EXPECT_EQ(check.err.find("private item", check.err.find("private item") + 1), std::string::npos) << check.err;
    EXPECT_EQ(check.err.find("Chemo"), std::string::npos) << check.err;
}

INSTANTIATE_TEST_SUITE_P(ActionsAndZones, Privacy,
                         ::testing::Values(std::make_pair(false, "Europe/Berlin"),
                                           std::make_pair(true, "America/New_York"),
                                           std::make_pair(false, "Asia/Tokyo")));

struct ZoneCase {
    const char *tz;
    const char *date;   // YYYYMMDD
    int utcHour;        // 09:00 in New York that day, in UTC
    const char *local;  // the expected local start
};

void PrintTo(const ZoneCase &c, std::ostream *os)
{
    *os << c.tz << " " << c.date;
}

class Zones : public Ics, public ::testing::WithParamInterface<ZoneCase> {};

// One instant written five ways: in New York time (the built-in zone and a file's own
// VTIMEZONE), in UTC, and in the zones of two files that both call theirs "Standard
// Time", one at +0100 and one at +0900. Each is the same local time, also after an
// export and a re-import.
TEST_P(Zones, OneInstantWrittenFiveWaysIsOneLocalTimeThroughExportAndReimport)
{
    const ZoneCase c = GetParam();
    const std::string all = readFile(sample("icalendar-issue_1050_all_components.ics"));
    const std::size_t b = all.find("BEGIN:VTIMEZONE");
    const std::string newYork = all.substr(b, all.find("END:VTIMEZONE") + 14 - b);
    ASSERT_NE(newYork.find("TZID:America/New_York"), std::string::npos);
    auto event = [&](const std::string &uid, const std::string &dtstart) {
        return "BEGIN:VEVENT\nUID:" + uid + "\nDTSTAMP:20270101T000000Z\nDTSTART" + dtstart + "\nSUMMARY:" + uid
               + "\nEND:VEVENT\n";
    };
    auto at = [&](int hour) { return std::string(c.date) + (hour < 10 ? "T0" : "T") + std::to_string(hour) + "0000"; };
    auto standardTime = [&](int offset) {
        const std::string o = "+0" + std::to_string(offset) + "00";
        return "BEGIN:VTIMEZONE\nTZID:Standard Time\nBEGIN:STANDARD\nDTSTART:16010101T000000\nTZOFFSETFROM:" + o
               + "\nTZOFFSETTO:" + o + "\nEND:STANDARD\nEND:VTIMEZONE\n"
               + event("plus" + std::to_string(offset), ";TZID=Standard Time:" + at(c.utcHour + offset));
    };
    const std::vector<std::string> bodies{
        event("ny", ";TZID=America/New_York:" + at(9)) + event("utc", ":" + at(c.utcHour) + "Z"),
        newYork + event("ny-own", ";TZID=America/New_York:" + at(9)), standardTime(1), standardTime(9)};
    std::vector<std::string> import{"ics", "import", kAnn};
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        import.push_back((dir() / ("f" + std::to_string(i) + ".ics")).string());
        writeFile(import.back(), "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//test//EN\n" + bodies[i] + "END:VCALENDAR\n");
    }
    const std::string tz = std::string("TZ=") + c.tz;
    for (const std::vector<std::string> &args :
         {import, {"ics", "export", kAnn, (dir() / "ann.ics").string()}, {"ics", "import", kBo, (dir() / "ann.ics").string()}}) {
        runOk(store(), args, {tz});
    }
    for (const std::string &folder : {kAnn, kBo}) {
        const json items = dumpFolder(store(), folder);
        ASSERT_EQ(items.size(), 5u);
        for (const json &item : items)
            EXPECT_EQ(item["start"], c.local) << folder << ": " << item["subject"];
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Zones,
                         ::testing::Values(ZoneCase{"Europe/Berlin", "20270115", 14, "2027-01-15T15:00:00"},
                                           ZoneCase{"Europe/Berlin", "20270715", 13, "2027-07-15T15:00:00"},
                                           // New York has gone over to daylight time, Berlin not yet.
                                           ZoneCase{"Europe/Berlin", "20270320", 13, "2027-03-20T14:00:00"},
                                           ZoneCase{"Asia/Tokyo", "20270115", 14, "2027-01-15T23:00:00"},
                                           ZoneCase{"America/New_York", "20270715", 13, "2027-07-15T09:00:00"},
                                           ZoneCase{"UTC", "20270115", 14, "2027-01-15T14:00:00"}));

// A zone part that starts on a DATE is repaired with a warning: python3-icalendar
// rejects a whole file for one such zone.
TEST_F(Ics, AZoneStartingOnADateIsRepairedAndTheExportReadsEverywhere)
{
    const RunResult imported = runOk(store(), {"ics", "import", kAnn, sample("icalendar-issue_218_bad_tzid.ics").string()});
    EXPECT_NE(imported.err.find("issue_218_bad_tzid.ics:4: time zone \"UTC+11\": the STANDARD start 20170101 is a "
                                "date: taken as midnight"),
              std::string::npos)
        << imported.err;
    const std::filesystem::path file = dir() / "ann.ics";
    runOk(store(), {"ics", "export", kAnn, file.string()});
    expectValidExport(readFile(file));
    const RunResult py = runProgram(SYSTEM_PYTHON, {READ_ICS_SCRIPT, file.string()});
    ASSERT_EQ(py.exitCode, 0) << py.err;
    EXPECT_EQ(json::parse(py.out)["events"][0]["dtstart"], "2017-02-28T23:00:00+11:00");
}

// Exports of an unchanged folder are the same bytes (calendar servers take them for
// ETags), also in a store made before items kept their change time.
TEST_F(Ics, AnUnchangedFolderExportsTheSameBytes)
{
    // Neither sample has DTSTAMPs of its own.
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"ics", "import", kAnn, sample("icalendar-america_new_york.ics").string(),
                                   sample("icalendar-issue_1081_event_with_rrule.ics").string()},
          {"item", "add", kAnn, "--subject", "Made here", "--start", "2027-03-02T08:00"}})
        runOk(store(), args);
    if (!teststores::onServer()) {
        // Back to the first version (a file): no change times, no revisions, no log.
        auto db = store::Database::open(store(), false);
        db->exec("ALTER TABLE messages DROP COLUMN changed_at; ALTER TABLE folders DROP COLUMN revision;"
                 "DROP TABLE revisions; DROP TABLE changes; DELETE FROM meta WHERE key <> 'guid';"
                 "PRAGMA user_version = 1");
    }
    std::vector<std::string> exports;
    for (int i = 0; i < 2; ++i) {
        if (i > 0) // into the next second, where the time of the export would show
            std::this_thread::sleep_until(std::chrono::system_clock::from_time_t(std::time(nullptr) + 1));
        const RunResult r = runOk(store(), {"ics", "export", kAnn, "-"});
        exports.push_back(r.out);
    }
    EXPECT_EQ(exports[0], exports[1]);
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

// Text values come back as they went out: what libical would split or trim, and line
// breaks of every kind; control characters, which iCalendar text cannot hold, are dropped.
TEST_F(Ics, AwkwardTextsReadBackTheSame)
{
    const std::vector<std::pair<std::string, std::string>> values{
        {"C:\\Reports\\", "C:\\Reports\\"},
        {"say \"hi", "say \"hi"},
        {"  padded  ", "  padded  "},
        {"a,b;c:d\\,e", "a,b;c:d\\,e"},
        {"dos\r\nunix\nmac\rend", "dos\r\nunix\nmac\rend"},
        {"bold \x1b[1mtab\there\x7f", "bold [1mtab\there"}};
    for (const auto &[value, expected] : values)
        runOk(store(), {"item", "add", kAnn, "--subject", value, "--text", value, "--location", value,
                                     "--category", value, "--category", "next"});
    const std::filesystem::path file = dir() / "ann.ics";
    runOk(store(), {"ics", "export", kAnn, file.string()});
    expectValidExport(readFile(file));
    runOk(store(), {"ics", "import", kBo, file.string()});
    const json items = dumpFolder(store(), kBo);
    ASSERT_EQ(items.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string &expected = values[i].second;
        for (const char *field : {"subject", "text", "location"})
            EXPECT_EQ(items[i][field], expected) << field << " of row " << i;
        EXPECT_EQ(items[i]["categories"], json::array({expected, "next"})) << "row " << i;
    }
}

struct BadFile {
    const char *name;
    std::string (*text)();   // nullptr: read `path`
    const char *message;
    const char *path = nullptr;
};

void PrintTo(const BadFile &f, std::ostream *os)
{
    *os << f.name;
}

std::string zoneRepeating(const std::string &start, const std::string &rule, int parts = 1)
{
    std::string zone = "BEGIN:VCALENDAR\nBEGIN:VTIMEZONE\nTZID:Z\n";
    for (int i = 0; i < parts; ++i)
        zone += "BEGIN:STANDARD\nDTSTART:" + start + "\nRRULE:" + rule + "\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0100\n"
                "END:STANDARD\n";
    return zone + "END:VTIMEZONE\nBEGIN:VEVENT\nUID:z\nDTSTART;TZID=Z:20270101T100000\nEND:VEVENT\nEND:VCALENDAR\n";
}

class BadFiles : public Ics, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFiles, AreRefusedWithAMessageAndTheStoreStaysAsItWas)
{
    const BadFile f = GetParam();
    runOk(store(), {"item", "add", kAnn, "--subject", "Existing"});
    const json before = dumpFolder(store(), kAnn);
    std::string file = f.path ? f.path : (dir() / "bad.ics").string();
    if (f.text)
        writeFile(file, f.text());
    const RunResult r = runStore(store(), {"ics", "import", kAnn, file});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(f.message), std::string::npos) << r.err;
    EXPECT_EQ(dumpFolder(store(), kAnn), before);
    EXPECT_EQ(runStore(store(), {"check"}).exitCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFiles,
    ::testing::Values(
        BadFile{"NestedFourHundredThousandDeep",
                [] {
                    std::string s = "BEGIN:VCALENDAR\nBEGIN:VTODO\n";
                    for (int i = 0; i < 400000; ++i)
                        s += "BEGIN:X\n";
                    for (int i = 0; i < 400000; ++i)
                        s += "END:X\n";
                    return s + "END:VTODO\nEND:VCALENDAR\n";
                },
                "bad.ics:33: components nested more than 32 deep"},
        BadFile{"ZoneChangingEveryMinute", [] { return zoneRepeating("16010101T000000", "FREQ=MINUTELY"); },
                "bad.ics:2: time zone \"Z\": a rule repeating FREQ=MINUTELY"},
        BadFile{"ZoneChangingDailyFromYearOne", [] { return zoneRepeating("00010101T000000", "FREQ=DAILY"); },
                "FREQ=DAILY (only YEARLY and MONTHLY rules are accepted)"},
        BadFile{"ZoneChangingHourly", [] { return zoneRepeating("20000101T000000", "FREQ=YEARLY;BYHOUR=1,2"); },
                "a rule repeating by second, minute, hour"},
        BadFile{"ZoneWithTooManyRules", [] { return zoneRepeating("20000101T000000", "FREQ=YEARLY", 101); },
                "more than 100 rules"},
        BadFile{"DurationOfMillionsOfYears",
                [] {
                    return std::string("BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:d\nDTSTART:20270101T100000Z\n"
                                       "DURATION:PT999999999999999S\nEND:VEVENT\nEND:VCALENDAR\n");
                },
                "bad.ics:5: event d: the DURATION value \"PT999999999999999S\" is out of range"},
        BadFile{"EndlessInput", nullptr, "/dev/zero: larger than 64 MiB", "/dev/zero"}),
    [](const auto &pi) { return std::string(pi.param.name); });
