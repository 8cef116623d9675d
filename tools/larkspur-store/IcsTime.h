// Times of iCalendar properties as the store's local day numbers.
//
// A DATE is midnight of that day; a floating time stays as written; a UTC time or one
// with a TZID becomes the workstation's local time (TZ is honoured). A TZID is resolved
// through the VTIMEZONEs of the calendar it came with, else libical's own zone data.
#pragma once

#include <libical/ical.h>

#include <optional>
#include <string>

namespace larkspur::ics {

struct PropertyTime {
    icaltimetype time = icaltime_null_time();   // the fields as written, without a zone
    std::string tzid;        // empty: floating, UTC or DATE
    bool utc = false;        // written with a trailing Z
};

// DTSTART/DTEND/RECURRENCE-ID of `component` as written; std::nullopt when absent.
std::optional<PropertyTime> propertyTime(icalcomponent *component, icalproperty_kind kind);

// The zone of that TZID (calendar's VTIMEZONE first, then built-in); nullptr if unknown.
icaltimezone *resolveZone(icalcomponent *calendar, const std::string &tzid);

// The local day number. `unknownZone` is set when the TZID could not be resolved (the
// time is then taken as floating).
double localDayNumber(const PropertyTime &t, icalcomponent *calendar, bool *unknownZone = nullptr);

// Start and end as the store keeps them: an event with a DATE start and no end lasts one
// day, a timed one without end or duration ends when it starts; a DURATION is added in
// the start's own zone.
struct EventTimes {
    std::optional<double> start;
    std::optional<double> end;
    bool allDay = false;
    bool floating = false;
    std::string unknownZone;  // a TZID that could not be resolved
};
EventTimes eventTimes(icalcomponent *vevent, icalcomponent *calendar);

} // namespace larkspur::ics
