// Time zone definitions (VTIMEZONE) as this program reads and writes them.
//
// Lenient in, strict out: what a file gives is brought into the form RFC 5545 asks for
// where that needs no guessing, and what cannot be used is dropped, so that an export
// reads everywhere. Working out a zone's rules (libical expands them into a list of
// offset changes, from each observance's start up to the year asked for) must take
// bounded time whatever a file holds, so the rules are bounded too.
#pragma once

#include <libical/ical.h>

#include <cstdint>
#include <string>
#include <vector>

namespace larkspur::ics {

// An observance starting before this year starts in this year instead (the rules of
// real zones repeat yearly, and nothing in a calendar store lies that far back).
inline constexpr int kEarliestZoneYear = 1800;
// Observances with a rule, in one zone or one file.
inline constexpr int kMaxZoneRules = 100;
// Offset changes the rules of one zone, or of all zones of one file, may give.
inline constexpr std::int64_t kMaxZoneChanges = 200000;

enum class ZoneUse {
    Usable,
    Dropped,   // nothing of it can be used: times in it read as local times
    Refused,   // its rules are beyond the bounds: the file is not read
};

// Repairs the VTIMEZONE in place:
//  - an observance's DTSTART given as a DATE becomes midnight local time, one in UTC
//    becomes local time (UTC plus TZOFFSETFROM), a TZID on it is dropped, and a start
//    before kEarliestZoneYear moves to that year;
//  - a missing TZOFFSETFROM is taken from TZOFFSETTO;
//  - an RRULE's UNTIL in local time (older writers) becomes UTC;
//  - an observance without a start or without TZOFFSETTO is dropped.
// `notes` receives one line for every such change except the moved start, and for a
// zone with no observance left. `rules` counts the observances with a rule (add up over
// several zones to bound a file). Refused, with `why`, for a rule repeating more often
// than monthly or by hour, minute, second, year day or week number, and for `rules`
// passing kMaxZoneRules.
ZoneUse repairZone(icalcomponent *vtimezone, std::vector<std::string> &notes, int &rules, std::string &why);

// The number of offset changes the zone's rules give, counted up to `limit` (a count
// above `limit` means "too many").
std::int64_t zoneChanges(icalcomponent *vtimezone, std::int64_t limit);

// The zone's TZID, or "" when it has none.
std::string zoneId(icalcomponent *vtimezone);

} // namespace larkspur::ics
