// Writing store events as one VCALENDAR (RFC 5545: PRODID, VERSION, a VTIMEZONE for
// every TZID used, CRLF line ends, lines folded at 75 octets).
//
// The properties the store models are written from the event; everything else comes
// from the event's source (the VEVENT it was imported from), whose overridden
// instances follow the master under the same UID. Times are kept as the source wrote
// them (with their TZID) while the store still holds the same local times; otherwise
// they are written in UTC (floating when the source was floating, DATE for all-day).
//
// Each TZID of the file names one definition: the sources' zones are repaired and
// bounded as on import (IcsZone.h), and a zone whose TZID another event's source already
// defines differently is written as "TZID (2)", its events with it. Text values are
// written so that they read back the same (see textLine in IcsMapping.h).
#pragma once

#include "IcsModel.h"

#include <string>
#include <vector>

namespace larkspur::ics {

// An event whose source has no DTSTAMP gets its change time as one, so that the same
// events always give the same text. Every event must carry its UID.
std::string writeIcs(const std::vector<IcsEvent> &events, std::vector<std::string> &warnings);

} // namespace larkspur::ics
