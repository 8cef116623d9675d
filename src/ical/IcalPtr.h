// Ownership of libical objects.
#pragma once

#include <libical/ical.h>

#include <memory>

namespace larkspur::ics {

struct IcalComponentFree {
    void operator()(icalcomponent *c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, IcalComponentFree>;

// Parses one VCALENDAR text; nullptr when libical cannot.
inline ComponentPtr parseCalendar(const std::string &text)
{
    return ComponentPtr(icalparser_parse_string(text.c_str()));
}

// libical's own string (from a *_r function).
struct IcalStringFree {
    void operator()(char *s) const { icalmemory_free_buffer(s); }
};
using IcalString = std::unique_ptr<char, IcalStringFree>;

} // namespace larkspur::ics
