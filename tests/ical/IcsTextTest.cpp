// The text layer: unfolding and checking content lines, folding, escaping; the time
// structure a private item keeps.
#include "ical/IcsText.h"
#include "ical/PrivateMask.h"

#include <gtest/gtest.h>

using namespace larkspur::ics;

namespace {

std::vector<ContentLine> lines(const std::string &data)
{
    std::vector<std::string> warnings;
    return contentLines(data, "f.ics", warnings);
}

bool validUtf8Boundaries(const std::string &physical)
{
    // A physical line must not start with a UTF-8 continuation byte after the fold space.
    return physical.size() < 2 || (static_cast<unsigned char>(physical[1]) & 0xC0) != 0x80;
}

} // namespace

struct LineEndCase {
    const char *name;
    std::string data;
    int descriptionLine = 3;
    int endLine = 5;
};

class LineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(LineEnds, GiveTheSameContentLines)
{
    const auto got = lines(GetParam().data);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].text, "BEGIN:VCALENDAR");
    EXPECT_EQ(got[1].text, "SUMMARY:Grüße aus Köln");
    EXPECT_EQ(got[2].text, "DESCRIPTION:one two");
    EXPECT_EQ(got[2].lineNo, GetParam().descriptionLine);
    EXPECT_EQ(got[3].lineNo, GetParam().endLine);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LineEnds,
    ::testing::Values(
        LineEndCase{"LF", "BEGIN:VCALENDAR\nSUMMARY:Grüße aus Köln\nDESCRIPTION:one\n  two\nEND:VCALENDAR\n"},
        LineEndCase{"CRLF", "BEGIN:VCALENDAR\r\nSUMMARY:Grüße aus Köln\r\nDESCRIPTION:one\r\n  two\r\nEND:VCALENDAR\r\n"},
        LineEndCase{"BOM", "\xEF\xBB\xBF" "BEGIN:VCALENDAR\r\nSUMMARY:Grüße aus Köln\r\nDESCRIPTION:one\r\n\t two\r\nEND:VCALENDAR"},
        LineEndCase{"CR", "BEGIN:VCALENDAR\rSUMMARY:Grüße aus Köln\rDESCRIPTION:one\r  two\rEND:VCALENDAR\r"},
        LineEndCase{"FoldInsideUtf8", "BEGIN:VCALENDAR\nSUMMARY:Grüße aus K\xC3\n \xB6ln\nDESCRIPTION:one\n  two\nEND:VCALENDAR\n", 4, 6}),
    [](const auto &pi) { return std::string(pi.param.name); });

struct BadCase {
    const char *name;
    std::string data;
    const char *where;   // expected "<file>:<line>" or text in the message
};

class BadText : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadText, IsRejectedNamingTheLine)
{
    try {
        std::vector<std::string> w;
        const auto l = contentLines(GetParam().data, "f.ics", w);
        componentTree(l, "f.ics");
        FAIL() << "accepted";
    } catch (const IcsError &e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().where), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadText,
    ::testing::Values(
        BadCase{"NoColon", "BEGIN:VCALENDAR\nSUMMARY Meeting\nEND:VCALENDAR\n", "f.ics:2: malformed"},
        BadCase{"UnclosedQuote", "BEGIN:VCALENDAR\nATTENDEE;CN=\"Ann:mailto:a@b\nEND:VCALENDAR\n", "f.ics:2:"},
        BadCase{"InvalidUtf8", "BEGIN:VCALENDAR\nSUMMARY:caf\xE9\nEND:VCALENDAR\n", "f.ics:2: the text is not valid UTF-8"},
        BadCase{"WrongEnd", "BEGIN:VCALENDAR\nBEGIN:VEVENT\nEND:VTODO\nEND:VCALENDAR\n", "f.ics:3: END:VTODO does not close"},
        BadCase{"NeverClosed", "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:x\n", "is never closed"},
        BadCase{"NotICalendar", "Subject,Start\nMeeting,2027-01-01\n", "not an iCalendar file"},
        BadCase{"OutsideCalendar", "BEGIN:VCALENDAR\nEND:VCALENDAR\nSUMMARY:x\n", "f.ics:3: content outside"},
        BadCase{"LeadingContinuation", " BEGIN:VCALENDAR\nEND:VCALENDAR\n", "f.ics:1: a continuation line"}),
    [](const auto &pi) { return std::string(pi.param.name); });

class Folding : public ::testing::TestWithParam<std::string> {};

TEST_P(Folding, KeepsLinesWithin75OctetsAndUnfoldsToTheOriginal)
{
    const std::string line = GetParam();
    const std::string folded = foldLine(line);
    ASSERT_GE(folded.size(), 2u);
    EXPECT_EQ(folded.substr(folded.size() - 2), "\r\n");
    std::size_t pos = 0;
    while (pos < folded.size()) {
        const std::size_t end = folded.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        const std::string physical = folded.substr(pos, end - pos);
        EXPECT_LE(physical.size(), 75u);
        if (pos > 0) {
            EXPECT_EQ(physical[0], ' ');
            EXPECT_TRUE(validUtf8Boundaries(physical)) << physical;
        }
        pos = end + 2;
    }
    const auto back = unfold(folded);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], line);
}

INSTANTIATE_TEST_SUITE_P(Lines, Folding,
                         ::testing::Values(std::string("SUMMARY:short"), std::string(75, 'a'), std::string(76, 'b'),
                                           "SUMMARY:" + std::string(300, 'x'),
                                           "SUMMARY:" + [] {
                                               std::string s;
                                               for (int i = 0; i < 60; ++i)
                                                   s += "äö€";
                                               return s;
                                           }(),
                                           "DESCRIPTION:" + std::string(66, 'y') + "\xF0\x9F\x93\x85 calendar"));

// Text round trips are tested through the tool's export and import.
TEST(IcsText, EscapingWritesAndReadsTheRfcForms)
{
    EXPECT_EQ(escapeText("a,b;c\\d\r\ne"), "a\\,b\\;c\\\\d\\ne");
    EXPECT_EQ(unescapeText("Line\\NTwo"), "Line\nTwo");
}

// --- what a private item keeps of its event text: an allow-list of time properties -----

// The event text and what is kept of it, its lines joined by "\n" (the result has CRLF).
using MaskCase = std::pair<std::string, std::string>;

class TimeStructure : public ::testing::TestWithParam<MaskCase> {};

TEST_P(TimeStructure, KeepsTimesAndRecurrenceOnly)
{
    std::string expected;
    for (const char c : GetParam().second)
        expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(ical::timeStructure(GetParam().first), expected);
}

const std::string kExdate = "EXDATE:20261127T090000Z,20261204T090000Z,20261211T090000Z,20261218T090000Z,20261225T0900Z";

INSTANTIATE_TEST_SUITE_P(
    Cases, TimeStructure,
    ::testing::Values(
        // Every other property goes.
        MaskCase{"BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261120T090000Z\r\nDURATION:PT1H\r\n"
                 "SUMMARY:Oncology\r\nDESCRIPTION;ALTREP=\"cid:d\":Scans\r\nLOCATION:Clinic\r\nCATEGORIES:Medical\r\n"
                 "COMMENT:x\r\nATTENDEE;CN=Ann:mailto:a@b\r\nORGANIZER:mailto:c@d\r\nATTACH:http://e\r\nURL:http://f\r\n"
                 "CONTACT:g\r\nRESOURCES:h\r\nGEO:1;2\r\nX-WHO:i\r\nCLASS:PRIVATE\r\nRRULE:FREQ=DAILY\r\n"
                 "EXRULE:FREQ=WEEKLY\r\nRDATE;VALUE=PERIOD:20261201T090000Z/PT1H\r\nEND:VEVENT\r\n",
                 "BEGIN:VEVENT\nUID:a\nDTSTART:20261120T090000Z\nDURATION:PT1H\nCLASS:PRIVATE\nRRULE:FREQ=DAILY\n"
                 "EXRULE:FREQ=WEEKLY\nRDATE;VALUE=PERIOD:20261201T090000Z/PT1H\nEND:VEVENT\n"},
        // Only TZID and VALUE parameters stay; lines are unfolded and folded again.
        MaskCase{"BEGIN:VEVENT\ndtstart;X-A=\"p:q\";TZID=\"Europe/Berlin\";VALUE=DATE-TIME:20261120T090000\n"
                 "DTEND;LANGUAGE=de;TZID=Europe/Berlin:20261120T100000\n" + kExdate.substr(0, 40) + "\n "
                 + kExdate.substr(40) + "\nSUMMARY:folded\n  secret\nEND:VEVENT\n",
                 "BEGIN:VEVENT\nDTSTART;TZID=\"Europe/Berlin\";VALUE=DATE-TIME:20261120T090000\n"
                 "DTEND;TZID=Europe/Berlin:20261120T100000\n" + kExdate.substr(0, 75) + "\n " + kExdate.substr(75)
                 + "\nEND:VEVENT\n"},
        // Overridden instances and time zones keep their times; nested components go.
        MaskCase{"BEGIN:VTIMEZONE\nTZID:Europe/Berlin\nTZURL:http://z\nBEGIN:STANDARD\nDTSTART:19701025T030000\n"
                 "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nCOMMENT:c\nEND:STANDARD\nEND:VTIMEZONE\nBEGIN:VEVENT\nUID:r\n"
                 "BEGIN:VALARM\nBEGIN:X-IN\nDTSTART:20261121\nEND:X-IN\nEND:VALARM\nEND:VEVENT\nBEGIN:VEVENT\n"
                 "RECURRENCE-ID;TZID=Europe/Berlin:20261127T090000\nSUMMARY:moved\nEND:VEVENT\n",
                 "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\nBEGIN:STANDARD\nDTSTART:19701025T030000\nTZOFFSETFROM:+0200\n"
                 "TZOFFSETTO:+0100\nEND:STANDARD\nEND:VTIMEZONE\nBEGIN:VEVENT\nUID:r\nEND:VEVENT\nBEGIN:VEVENT\n"
                 "RECURRENCE-ID;TZID=Europe/Berlin:20261127T090000\nEND:VEVENT\n"},
        // Unreadable lines and other components go.
        MaskCase{"BEGIN:VCALENDAR\nPRODID:p\nBEGIN:VTODO\nDTSTART:20261120\nEND:VTODO\nBEGIN:VEVENT\n"
                 "DTSTART Oncology\nDTSTART;X=\"open:20261120\nUID;:u\nEND:VEVENT\nEND:VCALENDAR\n",
                 "BEGIN:VEVENT\nEND:VEVENT\n"}));
