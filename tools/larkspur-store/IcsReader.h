// Reading an iCalendar file into store events (libical underneath).
//
// Every VEVENT becomes one event, except that VEVENTs sharing a UID (a recurring event
// and its overridden instances, also across several VCALENDARs of one file) are one
// event: the modelled properties come from the master (the one without RECURRENCE-ID),
// and the source keeps them all. Other components are counted in `skipped`.
//
// A file is read whole before anything is returned: a fault anywhere throws IcsError
// naming the file and the line or UID, and nothing of the file is used. Beyond what
// cannot be read at all, that is: components nested deeper than kMaxNesting, a time
// zone whose rules are beyond the bounds of IcsZone.h, and a DURATION whose end
// cannot be worked out (longer than 24,855 days). A time zone is repaired where it can
// be (IcsZone.h), each repair named in `warnings`, and kept as repaired.
#pragma once

#include "IcsModel.h"
#include "IcsText.h"

#include <string>
#include <string_view>

namespace larkspur::ics {

IcsReadResult readIcs(std::string_view data, const std::string &fileName);

} // namespace larkspur::ics
