// The iCalendar mapping on its own (no store): the details of the property mapping.
#include "IcsTestSupport.h"

#include "ical/IcalPtr.h"
#include "ical/IcsReader.h"
#include "ical/IcsWriter.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace larkspur::ics;
using icstest::expectValidExport;
using icstest::readFile;
using icstest::sample;

TEST(IcsMapping, CategoriesKeepEscapedCommasAndOrderAcrossProperties)
{
    const IcsReadResult r = readIcs(readFile(sample("icalendar-issue_127_categories_with_commas.ics")), "c.ics");
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(*r.events[0].categories, (std::vector<std::string>{"Meeting, John", "Work, Sarah", "Project"}));

    const std::string several = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:u\r\nDTSTART:20270101T100000Z\r\n"
                                "CATEGORIES:Holiday\r\nCATEGORIES:Team,Off\\;site\r\nCATEGORIES:Last\r\n"
                                "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const IcsReadResult s = readIcs(several, "s.ics");
    EXPECT_EQ(*s.events[0].categories, (std::vector<std::string>{"Holiday", "Team", "Off;site", "Last"}));
}

struct ClassCase {
    const char *value;
    int sensitivity;
};

class ClassMapping : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassMapping, GivesTheSensitivityAndBack)
{
    const ClassCase c = GetParam();
    const std::string data = std::string("BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:u\nCLASS:") + c.value
                             + "\nDTSTART:20270101T100000Z\nEND:VEVENT\nEND:VCALENDAR\n";
    const IcsReadResult r = readIcs(data, "c.ics");
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].sensitivity, c.sensitivity);
    std::vector<std::string> w;
    const IcsReadResult again = readIcs(writeIcs(r.events, w), "again.ics");
    EXPECT_EQ(again.events[0].sensitivity, c.sensitivity);
}

INSTANTIATE_TEST_SUITE_P(Values, ClassMapping,
                         ::testing::Values(ClassCase{"PUBLIC", 0}, ClassCase{"PERSONAL", 1}, ClassCase{"PRIVATE", 2},
                                           ClassCase{"CONFIDENTIAL", 3}, ClassCase{"private", 2},
                                           ClassCase{"X-SECRET", 0}));

TEST(IcsMapping, TimesDurationsAndAllDayEvents)
{
    const IcsEvent duration =
        readIcs(readFile(sample("icaljs-duration_instead_of_dtend.ics")), "d.ics").events.at(0);
    ASSERT_TRUE(duration.start && duration.end);
    EXPECT_NEAR(*duration.end - *duration.start, 1.0, 1e-9);
    EXPECT_FALSE(duration.allDay);

    const IcsEvent dateOnly = readIcs(readFile(sample("icaljs-only_dtstart_date.ics")), "o.ics").events.at(0);
    ASSERT_TRUE(dateOnly.start && dateOnly.end);
    EXPECT_TRUE(dateOnly.allDay);
    EXPECT_EQ(*dateOnly.start, std::floor(*dateOnly.start));
    EXPECT_EQ(*dateOnly.end, *dateOnly.start + 1.0);

    // Floating times stay as written: 2027-01-15 09:30 is day 46402.395833...
    const IcsEvent floating = readIcs("BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:f\nDTSTART:20270115T093000\n"
                                      "DTEND:20270115T103000\nEND:VEVENT\nEND:VCALENDAR\n",
                                      "f.ics")
                                  .events.at(0);
    EXPECT_NEAR(*floating.start, 46402.0 + 9.5 / 24.0, 1e-9);
    EXPECT_NEAR(*floating.end, 46402.0 + 10.5 / 24.0, 1e-9);
}

TEST(IcsMapping, StampAndUnicodeTextSurvive)
{
    const std::string data = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:s\r\nDTSTART:20270115T093000\r\n"
                             "SUMMARY:Grüße\\, Ärger\\; 50 €\r\nX-LARKSPUR-STAMP:Y:Room 1\\, east:46402.375:Grüße\r\n"
                             "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const IcsEvent e = readIcs(data, "s.ics").events.at(0);
    EXPECT_EQ(e.summary, "Grüße, Ärger; 50 €");
    EXPECT_EQ(e.stamp, "Y:Room 1, east:46402.375:Grüße");
    std::vector<std::string> w;
    const IcsEvent again = readIcs(writeIcs({e}, w), "again.ics").events.at(0);
    EXPECT_EQ(again.summary, e.summary);
    EXPECT_EQ(again.stamp, e.stamp);
}

TEST(IcsMapping, AChangedTimeIsWrittenFromTheStoreAndAnUnchangedOneKeepsItsZone)
{
    IcsEvent e = readIcs(readFile(sample("icalendar-america_new_york.ics")), "ny.ics").events.at(0);
    std::vector<std::string> w;
    const std::string same = writeIcs({e}, w);
    EXPECT_NE(same.find("DTSTART;TZID=custom_America/New_York"), std::string::npos) << same;
    EXPECT_NE(same.find("TZID:custom_America/New_York"), std::string::npos);

    e.start = *e.start + 1.0 / 24.0;
    e.end = *e.end + 1.0 / 24.0;
    const std::string moved = writeIcs({e}, w);
    EXPECT_EQ(moved.find("DTSTART;TZID="), std::string::npos) << moved;
    const IcsEvent back = readIcs(moved, "moved.ics").events.at(0);
    EXPECT_NEAR(*back.start, *e.start, 1e-6);
    EXPECT_NEAR(*back.end, *e.end, 1e-6);
}

TEST(IcsMapping, TheUidOfAnAlarmIsNotTheEventsUid)
{
    const std::string data = "BEGIN:VCALENDAR\nBEGIN:VEVENT\nBEGIN:VALARM\nUID:alarm-1\nACTION:DISPLAY\n"
                             "TRIGGER:-PT5M\nDESCRIPTION:soon\nEND:VALARM\nUID:event-1\nDTSTART:20270101T100000Z\n"
                             "END:VEVENT\nBEGIN:VEVENT\nUID:event-1\nRECURRENCE-ID:20270102T100000Z\n"
                             "DTSTART:20270102T110000Z\nEND:VEVENT\nEND:VCALENDAR\n";
    const IcsReadResult r = readIcs(data, "a.ics");
    ASSERT_EQ(r.events.size(), 1u);
    EXPECT_EQ(r.events[0].uid, "event-1");
    EXPECT_EQ(icstest::eventUids("BEGIN:VCALENDAR\r\n" + r.events[0].source + "END:VCALENDAR\r\n"),
              (std::vector<std::string>{"event-1", "event-1"})); // with the moved instance
}

TEST(IcsMapping, ATimeInAnUndefinedZoneIsReadAndWrittenAsLocalTime)
{
    const std::string data = "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:z\nDTSTART;TZID=Nowhere Standard Time:20270115T090000\n"
                             "DTEND;TZID=Nowhere Standard Time:20270115T100000\nEND:VEVENT\nEND:VCALENDAR\n";
    const IcsReadResult r = readIcs(data, "z.ics");
    ASSERT_EQ(r.events.size(), 1u);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("unknown time zone \"Nowhere Standard Time\""), std::string::npos);
    EXPECT_NEAR(*r.events[0].start, 46402.0 + 9.0 / 24.0, 1e-9);
    std::vector<std::string> w;
    const std::string text = writeIcs(r.events, w);
    EXPECT_EQ(text.find("TZID"), std::string::npos) << text;
    EXPECT_NE(text.find("DTSTART:20270115T090000\r\n"), std::string::npos) << text;
    expectValidExport(text);
}
