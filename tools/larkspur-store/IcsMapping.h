// The property mapping between a parsed VEVENT and the store's event fields, used in
// both directions: reading a file, and comparing an item with the source it was read
// from when it is written back.
#pragma once

#include "IcsModel.h"
#include "IcsTime.h"

#include <libical/ical.h>

#include <string>

namespace larkspur::ics {

// A VCALENDAR around components given as text (VTIMEZONEs and VEVENTs).
std::string wrapCalendar(const std::string &body);

// SUMMARY, DESCRIPTION, LOCATION, CATEGORIES, CLASS, X-LARKSPUR-STAMP and the times of
// the VEVENT (times resolved against `calendar`).
IcsEvent readModelled(icalcomponent *vevent, icalcomponent *calendar, EventTimes &times);

// The master of a source calendar: the first VEVENT without RECURRENCE-ID, else the
// first VEVENT; nullptr when there is none.
icalcomponent *masterEvent(icalcomponent *calendar);

bool sameTime(const std::optional<double> &a, const std::optional<double> &b);

} // namespace larkspur::ics
