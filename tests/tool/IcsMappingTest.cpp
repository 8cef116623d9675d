// The iCalendar mapping on its own (no store): every sample read, written back and
// read again gives the same events; the details of the property mapping.
#include "IcalPtr.h"
#include "IcsReader.h"
#include "IcsWriter.h"
#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace larkspur::ics;
using tooltest::readFile;
using tooltest::sample;

namespace {

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

void expectSameEvent(const IcsEvent &a, const IcsEvent &b)
{
    EXPECT_EQ(a.uid, b.uid);
    EXPECT_EQ(a.summary, b.summary);
    EXPECT_EQ(a.description, b.description);
    EXPECT_EQ(a.location, b.location);
    EXPECT_EQ(a.categories.value_or(std::vector<std::string>{}), b.categories.value_or(std::vector<std::string>{}));
    EXPECT_EQ(a.sensitivity, b.sensitivity);
    EXPECT_EQ(a.allDay, b.allDay);
    EXPECT_EQ(a.start.has_value(), b.start.has_value());
    if (a.start && b.start) {
        EXPECT_NEAR(*a.start, *b.start, 1e-6) << a.uid;
    }
    EXPECT_EQ(a.end.has_value(), b.end.has_value());
    if (a.end && b.end) {
        EXPECT_NEAR(*a.end, *b.end, 1e-6) << a.uid;
    }
    EXPECT_EQ(a.stamp, b.stamp);
    EXPECT_EQ(count(a.source, "BEGIN:VEVENT"), count(b.source, "BEGIN:VEVENT")) << a.uid;
}

// Checks what a calendar client needs of an exported file.
void expectValidExport(const std::string &text)
{
    EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nVERSION:2.0\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nPRODID:"), std::string::npos);
    std::size_t pos = 0;
    std::set<std::string> zones;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "line without CRLF at " << pos;
        EXPECT_LE(end - pos, 75u);
        EXPECT_EQ(text.substr(pos, end - pos).find('\n'), std::string::npos);
        pos = end + 2;
    }
    ComponentPtr cal = parseCalendar(text);
    ASSERT_TRUE(cal);
    EXPECT_EQ(icalcomponent_isa(cal.get()), ICAL_VCALENDAR_COMPONENT);
    for (icalcomponent *z = icalcomponent_get_first_component(cal.get(), ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(cal.get(), ICAL_VTIMEZONE_COMPONENT))
        zones.insert(icalproperty_get_tzid(icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY)));
    for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
        // libical notes an empty LOCATION, which the store keeps, as "No value"; nothing else may fail.
        for (icalproperty *e = icalcomponent_get_first_property(ev, ICAL_XLICERROR_PROPERTY); e;
             e = icalcomponent_get_next_property(ev, ICAL_XLICERROR_PROPERTY))
            EXPECT_EQ(std::string(icalproperty_get_xlicerror(e)).rfind("No value for LOCATION", 0), 0u)
                << icalproperty_get_xlicerror(e);
        EXPECT_TRUE(icalcomponent_get_first_property(ev, ICAL_UID_PROPERTY));
        EXPECT_TRUE(icalcomponent_get_first_property(ev, ICAL_DTSTAMP_PROPERTY));
        for (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY))
            if (icalparameter *tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER)) {
                EXPECT_TRUE(zones.count(icalparameter_get_tzid(tz))) << icalparameter_get_tzid(tz);
            }
    }
}

} // namespace

struct SampleCase {
    const char *file;
    int events;        // -1: the file is rejected
    int skipped;       // components other than VEVENT/VTIMEZONE
    const char *text;  // part of the rejection message (file:line)
};

void PrintTo(const SampleCase &c, std::ostream *os)
{
    *os << c.file;
}

const SampleCase kSamples[] = {
    {"icalendar-alarm_google_future.ics", 1, 0, ""},
    {"icalendar-alarm_outlook_in_future.ics", 3, 0, ""},
    {"icalendar-alarm_thunderbird_future.ics", 1, 0, ""},
    {"icalendar-america_new_york.ics", 1, 0, ""},
    {"icalendar-created_calendar_with_unicode_fields.ics", 3, 0, ""},
    {"icalendar-issue_1050_all_components.ics", 1, 3, ""},
    {"icalendar-issue_1081_event_with_rrule.ics", 1, 0, ""},
    {"icalendar-issue_127_categories_with_commas.ics", 1, 0, ""},
    {"icalendar-issue_1797_todo_completed.ics", 0, 1, ""},
    {"icalendar-issue_218_bad_tzid.ics", 1, 0, ""},
    {"icaljs-daily_recur.ics", 1, 0, ""},
    {"icaljs-duration_instead_of_dtend.ics", 1, 0, ""},
    {"icaljs-google_birthday.ics", 2, 0, ""},
    {"icaljs-long_summary.ics", 1, 0, ""},
    {"icaljs-only_dtstart_date.ics", 1, 0, ""},
    {"icaljs-rdate_exdate.ics", 1, 0, ""},
    {"icaljs-recur_instances.ics", 1, 1, ""},
    // Malformed: an empty line is passed over with a warning; the others are rejected whole.
    {"icaljs-blank_line_mid.ics", 0, 0, ""},
    {"icalendar-broken_ical.ics", -1, 0, "icalendar-broken_ical.ics:4: malformed content line"},
    {"libical-calendar.ics", -1, 0, "libical-calendar.ics:57: event calsrv.example.com-1002@example.com: the DTEND"},
};

class Samples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(Samples, ReadWriteAndReadAgainGiveTheSameEvents)
{
    const SampleCase c = GetParam();
    const std::string data = readFile(sample(c.file));
    ASSERT_FALSE(data.empty()) << sample(c.file);
    if (c.events < 0) {
        try {
            readIcs(data, c.file);
            FAIL() << "accepted";
        } catch (const IcsError &e) {
            EXPECT_NE(std::string(e.what()).find(c.text), std::string::npos) << e.what();
        }
        return;
    }
    const IcsReadResult first = readIcs(data, c.file);
    ASSERT_EQ(static_cast<int>(first.events.size()), c.events);
    int skipped = 0;
    for (const auto &[name, n] : first.skipped)
        skipped += n;
    EXPECT_EQ(skipped, c.skipped);

    std::vector<IcsEvent> out = first.events;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i].uid.empty())
            out[i].uid = "generated-" + std::to_string(i);
    std::vector<std::string> warnings;
    const std::string written = writeIcs(out, "20270101T000000Z", warnings);
    expectValidExport(written);
    const IcsReadResult second = readIcs(written, "exported.ics");
    ASSERT_EQ(second.events.size(), out.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        expectSameEvent(out[i], second.events[i]);
    // Writing what was read back gives the same text: exports are stable.
    std::vector<std::string> w2;
    EXPECT_EQ(writeIcs(second.events, "20270101T000000Z", w2), written);
}

INSTANTIATE_TEST_SUITE_P(Files, Samples, ::testing::ValuesIn(kSamples), [](const auto &pi) {
    std::string name = pi.param.file;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

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
    const IcsReadResult again = readIcs(writeIcs(r.events, "20270101T000000Z", w), "again.ics");
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
    const IcsEvent again = readIcs(writeIcs({e}, "20270101T000000Z", w), "again.ics").events.at(0);
    EXPECT_EQ(again.summary, e.summary);
    EXPECT_EQ(again.stamp, e.stamp);
}

TEST(IcsMapping, OverriddenInstancesShareTheUidAndFollowTheMastersNewSubject)
{
    const IcsReadResult r = readIcs(readFile(sample("icaljs-recur_instances.ics")), "r.ics");
    ASSERT_EQ(r.events.size(), 1u);
    IcsEvent e = r.events[0];
    EXPECT_EQ(count(e.source, "BEGIN:VEVENT"), 3);

    // A copy: new UID, owner prefix before the subject; a private copy: "Private".
    for (const std::string mode : {"prefix", "private"}) {
        IcsEvent copy = e;
        copy.uid = "COPY@larkspur";
        copy.summary = mode == "prefix" ? "AL- " + e.summary : "Private";
        copy.description = mode == "prefix" ? e.description : "Private";
        std::vector<std::string> w;
        ComponentPtr cal = parseCalendar(writeIcs({copy}, "20270101T000000Z", w));
        ASSERT_TRUE(cal);
        int events = 0;
        for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
            ++events;
            EXPECT_STREQ(icalcomponent_get_uid(ev), "COPY@larkspur");
            const std::string summary = icalcomponent_get_summary(ev) ? icalcomponent_get_summary(ev) : "";
            if (mode == "prefix") {
                EXPECT_EQ(summary.rfind("AL- ", 0), 0u) << summary;
            } else {
                EXPECT_EQ(summary, "Private");
            }
            if (mode == "private" && icalcomponent_get_first_property(ev, ICAL_DESCRIPTION_PROPERTY)) {
                EXPECT_STREQ(icalcomponent_get_description(ev), "Private");
            }
        }
        EXPECT_EQ(events, 3);
    }
}

TEST(IcsMapping, AChangedTimeIsWrittenFromTheStoreAndAnUnchangedOneKeepsItsZone)
{
    IcsEvent e = readIcs(readFile(sample("icalendar-america_new_york.ics")), "ny.ics").events.at(0);
    std::vector<std::string> w;
    const std::string same = writeIcs({e}, "20270101T000000Z", w);
    EXPECT_NE(same.find("DTSTART;TZID=custom_America/New_York"), std::string::npos) << same;
    EXPECT_NE(same.find("TZID:custom_America/New_York"), std::string::npos);

    e.start = *e.start + 1.0 / 24.0;
    e.end = *e.end + 1.0 / 24.0;
    const std::string moved = writeIcs({e}, "20270101T000000Z", w);
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
    EXPECT_EQ(count(r.events[0].source, "BEGIN:VEVENT"), 2);
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
    const std::string text = writeIcs(r.events, "20270101T000000Z", w);
    EXPECT_EQ(text.find("TZID"), std::string::npos) << text;
    EXPECT_NE(text.find("DTSTART:20270115T090000\r\n"), std::string::npos) << text;
    expectValidExport(text);
}
