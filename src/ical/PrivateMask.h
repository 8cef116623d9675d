// PrivateMask: what a private item (sensitivity 2) may show outside its owner's mailbox.
//
// A private item's copy in the public store holds the owner-prefixed "Private" subject,
// the body "Private", its sensitivity, its times and the structure of its recurrence;
// nothing else. The copy actions, the store upgrade, the store check and the export
// all take the masked form from here, so that they agree on it.
//
// Pure text functions: no store, no Qt, no iCalendar library. Safe from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ical {

// The subject and body of a masked item.
inline constexpr std::string_view PrivateText = "Private";

// The time structure of kept event source text (VTIMEZONEs, then the VEVENT and its
// overridden instances): every VEVENT reduced to UID, DTSTART, DTEND, DURATION, RRULE,
// EXRULE, RDATE, EXDATE, RECURRENCE-ID and CLASS, each with its TZID and VALUE
// parameters only; every component nested in an event (alarms ...) dropped; time zone
// definitions kept with their offsets and rules only, so that the TZIDs still resolve.
// What is not on these lists is dropped, as are lines that cannot be read. The result
// is unfolded and folded again at 75 octets, CRLF line ends; empty when nothing is left.
std::string timeStructure(std::string_view source);

// The masked subject: "<tag>- Private" when the subject begins with the owner prefix
// "<tag>- " of one of the owner tags (the longest that fits), else "Private".
std::string maskedSubject(std::string_view subject, const std::vector<std::string> &ownerTags);

// The masked copy stamp "<flag>::<day number>:Private": the flag and the day number of
// the stamp "<flag>:<detail>:<day number>:<subject>" kept, the detail and the subject
// gone. `detail` is the item's detail property (the location; it may hold colons),
// which tells where the day number stands. A flag that is neither "Y" nor "N" is taken
// from `allDay`; a day number that cannot be found is left empty.
std::string maskedStamp(std::string_view stamp, std::string_view detail, bool allDay);

} // namespace ical
