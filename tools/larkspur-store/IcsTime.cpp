#include "IcsTime.h"

#include "DayNumber.h"

#include <map>
#include <memory>
#include <string>

namespace larkspur::ics {

std::optional<PropertyTime> propertyTime(icalcomponent *component, icalproperty_kind kind)
{
    icalproperty *p = icalcomponent_get_first_property(component, kind);
    if (!p)
        return std::nullopt;
    icalvalue *v = icalproperty_get_value(p);
    if (!v)
        return std::nullopt;
    PropertyTime pt;
    if (icalvalue_isa(v) == ICAL_PERIOD_VALUE)
        pt.time = icalvalue_get_period(v).start;
    else
        pt.time = icalvalue_get_datetime(v);
    if (icaltime_is_null_time(pt.time))
        return std::nullopt;
    pt.utc = !pt.time.is_date && icaltime_is_utc(pt.time);
    if (icalparameter *tz = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER))
        if (const char *id = icalparameter_get_tzid(tz); id && !pt.time.is_date && !pt.utc)
            pt.tzid = id;
    pt.time.zone = nullptr;
    return pt;
}

namespace {

struct ZoneFree {
    void operator()(icaltimezone *z) const { icaltimezone_free(z, 1); }
};

// Zones built from VTIMEZONE texts, kept for the life of the process: every event is
// read in a calendar of its own, and expanding a zone's rules again for each of them
// would cost milliseconds per event.
icaltimezone *cachedZone(icalcomponent *vtimezone)
{
    static std::map<std::string, std::unique_ptr<icaltimezone, ZoneFree>> cache;
    char *text = icalcomponent_as_ical_string_r(vtimezone);
    std::string key = text ? text : "";
    icalmemory_free_buffer(text);
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second.get();
    icaltimezone *zone = icaltimezone_new();
    if (!icaltimezone_set_component(zone, icalcomponent_new_clone(vtimezone))) {
        icaltimezone_free(zone, 1);
        return nullptr;
    }
    return cache.emplace(std::move(key), std::unique_ptr<icaltimezone, ZoneFree>(zone)).first->second.get();
}

} // namespace

icaltimezone *resolveZone(icalcomponent *calendar, const std::string &tzid)
{
    if (tzid.empty())
        return nullptr;
    if (calendar) {
        for (icalcomponent *z = icalcomponent_get_first_component(calendar, ICAL_VTIMEZONE_COMPONENT); z;
             z = icalcomponent_get_next_component(calendar, ICAL_VTIMEZONE_COMPONENT)) {
            icalproperty *id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
            if (id && icalproperty_get_tzid(id) && tzid == icalproperty_get_tzid(id))
                if (icaltimezone *zone = cachedZone(z))
                    return zone;
        }
    }
    if (icaltimezone *z = icaltimezone_get_builtin_timezone_from_tzid(tzid.c_str()))
        return z;
    if (icaltimezone *z = icaltimezone_get_builtin_timezone(tzid.c_str()))
        return z;
    if (tzid == "UTC" || tzid == "GMT" || tzid == "Etc/UTC")
        return icaltimezone_get_utc_timezone();
    return nullptr;
}

double localDayNumber(const PropertyTime &t, icalcomponent *calendar, bool *unknownZone)
{
    const icaltimetype &tt = t.time;
    if (tt.is_date)
        return toDayNumber(CivilTime{tt.year, tt.month, tt.day, 0, 0, 0});
    icaltimezone *zone = nullptr;
    if (t.utc) {
        zone = icaltimezone_get_utc_timezone();
    } else if (!t.tzid.empty()) {
        zone = resolveZone(calendar, t.tzid);
        if (!zone && unknownZone)
            *unknownZone = true;
    }
    if (!zone)
        return toDayNumber(CivilTime{tt.year, tt.month, tt.day, tt.hour, tt.minute, tt.second});
    icaltimetype plain = tt;
    plain.zone = nullptr;
    const auto unix = static_cast<std::int64_t>(icaltime_as_timet_with_zone(plain, zone));
    return toDayNumber(localFromUtc(unix));
}

EventTimes eventTimes(icalcomponent *vevent, icalcomponent *calendar)
{
    EventTimes out;
    const auto start = propertyTime(vevent, ICAL_DTSTART_PROPERTY);
    if (!start)
        return out;
    bool unknown = false;
    out.allDay = start->time.is_date;
    out.floating = !start->time.is_date && !start->utc && start->tzid.empty();
    out.start = localDayNumber(*start, calendar, &unknown);
    if (auto end = propertyTime(vevent, ICAL_DTEND_PROPERTY)) {
        if (end->time.is_date && !start->time.is_date) {
            // A DATE end on a timed start: midnight of that day in the start's zone.
            PropertyTime e = *end;
            e.time.is_date = 0;
            e.tzid = start->tzid;
            e.utc = start->utc;
            e.time.hour = e.time.minute = e.time.second = 0;
            out.end = localDayNumber(e, calendar, &unknown);
        } else {
            out.end = localDayNumber(*end, calendar, &unknown);
        }
    } else if (icalproperty *d = icalcomponent_get_first_property(vevent, ICAL_DURATION_PROPERTY)) {
        PropertyTime e = *start;
        e.time = icaltime_add(start->time, icalproperty_get_duration(d));
        out.end = localDayNumber(e, calendar, &unknown);
    } else if (out.allDay) {
        out.end = *out.start + 1.0;
    } else {
        out.end = out.start;
    }
    if (unknown)
        out.unknownZone = start->tzid;
    return out;
}

} // namespace larkspur::ics
