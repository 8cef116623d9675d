// The property mapping between a parsed VEVENT and the store's event fields, used in
// both directions: reading a file, and comparing an item with the source it was read
// from when it is written back.
#pragma once

#include "IcsModel.h"
#include "IcsText.h"
#include "IcsTime.h"

#include <libical/ical.h>

#include <string>

namespace larkspur::ics {

// A VCALENDAR around components given as text (VTIMEZONEs and VEVENTs).
std::string wrapCalendar(const std::string &body);

// SUMMARY, DESCRIPTION, LOCATION, CATEGORIES, CLASS, X-LARKSPUR-STAMP and the times of
// the VEVENT (times resolved against `calendar`).
IcsEvent readModelled(icalcomponent *vevent, icalcomponent *calendar, EventTimes &times);

// SUMMARY, DESCRIPTION, LOCATION, CATEGORIES and X-LARKSPUR-STAMP of the component as
// written, into `e`. libical trims the spaces around a text value and splits a list
// at a comma that follows an escaped backslash, so what the store keeps is read from
// the content lines. A value's line breaks are restored from X-LARKSPUR-BREAKS.
void readTexts(const std::vector<ContentLine> &lines, const Component &c, IcsEvent &e);

// "NAME:value" for a text property, escaped, with X-LARKSPUR-BREAKS when the value has
// a line break other than LF (iCalendar itself knows only one kind).
std::string textLine(std::string_view name, std::string_view value);

// The master of a source calendar: the first VEVENT without RECURRENCE-ID, else the
// first VEVENT; nullptr when there is none.
icalcomponent *masterEvent(icalcomponent *calendar);

bool sameTime(const std::optional<double> &a, const std::optional<double> &b);

} // namespace larkspur::ics
