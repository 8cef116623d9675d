#include "IcsTestSupport.h"

#include "ical/IcalPtr.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace icstest {

namespace fs = std::filesystem;

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> eventUids(const std::string &text, bool masters)
{
    std::vector<std::string> out;
    const larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(text);
    for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT))
        if (!masters || !icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY))
            out.push_back(icalcomponent_get_uid(ev));
    return out;
}

fs::path sampleDir()
{
    if (fs::is_directory(ICS_DATA_DIR))
        return ICS_DATA_DIR;
    return ICS_SHARED_DIR;
}

fs::path sample(const std::string &name)
{
    return sampleDir() / name;
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
    larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(text);
    ASSERT_TRUE(cal);
    EXPECT_EQ(icalcomponent_isa(cal.get()), ICAL_VCALENDAR_COMPONENT);
    for (icalcomponent *z = icalcomponent_get_first_component(cal.get(), ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(cal.get(), ICAL_VTIMEZONE_COMPONENT)) {
        const std::string tzid = icalproperty_get_tzid(icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY));
        EXPECT_TRUE(zones.insert(tzid).second) << "two definitions of " << tzid;
        // Each part starts at a local date-time.
        for (icalcomponent *part = icalcomponent_get_first_component(z, ICAL_ANY_COMPONENT); part;
             part = icalcomponent_get_next_component(z, ICAL_ANY_COMPONENT)) {
            const icaltimetype start = icalcomponent_get_dtstart(part);
            EXPECT_TRUE(!start.is_date && !icaltime_is_utc(start) && !icaltime_is_null_time(start)) << tzid;
            EXPECT_FALSE(icalcomponent_get_first_property(part, ICAL_XLICERROR_PROPERTY)) << tzid;
        }
    }
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

} // namespace icstest
