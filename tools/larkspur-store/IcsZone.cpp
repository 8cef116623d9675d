#include "IcsZone.h"

#include "DayNumber.h"

namespace larkspur::ics {

namespace {

bool isObservance(icalcomponent *c)
{
    const icalcomponent_kind k = icalcomponent_isa(c);
    return k == ICAL_XSTANDARD_COMPONENT || k == ICAL_XDAYLIGHT_COMPONENT;
}

bool present(const short *by)
{
    return by[0] != ICAL_RECURRENCE_ARRAY_MAX;
}

void replaceStart(icalcomponent *obs, icalproperty *old, icaltimetype t)
{
    icalcomponent_remove_property(obs, old);
    icalproperty_free(old);
    t.zone = nullptr;
    t.is_date = 0;
    icalcomponent_add_property(obs, icalproperty_new_dtstart(t));
}

// Why the rule cannot be worked out in bounded time, or "".
std::string ruleRefusal(const icalrecurrencetype &r)
{
    if (r.freq != ICAL_YEARLY_RECURRENCE && r.freq != ICAL_MONTHLY_RECURRENCE)
        return std::string("a rule repeating ") + (r.freq == ICAL_NO_RECURRENCE ? "without a frequency"
                                                   : std::string("FREQ=") + icalrecur_freq_to_string(r.freq))
               + " (only YEARLY and MONTHLY rules are accepted)";
    if (present(r.by_second) || present(r.by_minute) || present(r.by_hour) || present(r.by_year_day)
        || present(r.by_week_no))
        return "a rule repeating by second, minute, hour, year day or week number";
    return {};
}

// Repairs one observance; false when it has to be dropped.
bool repairObservance(icalcomponent *obs, std::vector<std::string> &notes, std::string &refusal, int &rules)
{
    const std::string name = icalcomponent_isa(obs) == ICAL_XDAYLIGHT_COMPONENT ? "DAYLIGHT" : "STANDARD";
    icalproperty *to = icalcomponent_get_first_property(obs, ICAL_TZOFFSETTO_PROPERTY);
    icalproperty *from = icalcomponent_get_first_property(obs, ICAL_TZOFFSETFROM_PROPERTY);
    icalproperty *start = icalcomponent_get_first_property(obs, ICAL_DTSTART_PROPERTY);
    icaltimetype t = start ? icalproperty_get_dtstart(start) : icaltime_null_time();
    if (!to || icaltime_is_null_time(t)) {
        notes.push_back(std::string("a ") + name + " part without " + (to ? "a start" : "TZOFFSETTO")
                        + " is dropped");
        return false;
    }
    if (!from) {
        from = icalproperty_new_tzoffsetfrom(icalproperty_get_tzoffsetto(to));
        icalcomponent_add_property(obs, from);
        notes.push_back("a " + name + " part without TZOFFSETFROM takes it from TZOFFSETTO");
    }
    bool changed = false;
    if (t.is_date) {
        t.hour = t.minute = t.second = 0;
        notes.push_back("the " + name + " start " + icaltime_as_ical_string(t) + " is a date: taken as midnight");
        changed = true;
    } else if (icaltime_is_utc(t)) {
        t = icaltime_add(t, icaldurationtype_from_int(icalproperty_get_tzoffsetfrom(from)));
        notes.push_back("the " + name + " start is given in UTC: written as local time");
        changed = true;
    } else if (icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER)) {
        notes.push_back("the " + name + " start names a time zone: taken as local time");
        changed = true;
    }
    if (t.year < kEarliestZoneYear) {
        t.year = kEarliestZoneYear;
        if (!isValidDate(t.year, t.month, t.day))
            t.day = 28; // 29 February of a year that has none
        changed = true;
    }
    if (changed)
        replaceStart(obs, start, t);

    for (icalproperty *p = icalcomponent_get_first_property(obs, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(obs, ICAL_RRULE_PROPERTY)) {
        icalrecurrencetype r = icalproperty_get_rrule(p);
        if (refusal.empty())
            refusal = ruleRefusal(r);
        if (++rules > kMaxZoneRules && refusal.empty())
            refusal = "more than " + std::to_string(kMaxZoneRules) + " rules";
        // Within a VTIMEZONE an UNTIL must be in UTC; older writers give the local time
        // of the observance, which is the UTC time plus its TZOFFSETFROM.
        if (!icaltime_is_null_time(r.until) && !r.until.is_date && !icaltime_is_utc(r.until)) {
            r.until = icaltime_add(r.until, icaldurationtype_from_int(-icalproperty_get_tzoffsetfrom(from)));
            r.until.zone = icaltimezone_get_utc_timezone();
            icalproperty_set_rrule(p, r);
        }
    }
    return true;
}

} // namespace

std::string zoneId(icalcomponent *vtimezone)
{
    icalproperty *id = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY);
    const char *text = id ? icalproperty_get_tzid(id) : nullptr;
    return text ? text : "";
}

ZoneUse repairZone(icalcomponent *vtimezone, std::vector<std::string> &notes, int &rules, std::string &why)
{
    std::vector<icalcomponent *> dropped;
    std::string refusal;
    int kept = 0;
    for (icalcomponent *obs = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); obs;
         obs = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        if (!isObservance(obs))
            continue;
        if (repairObservance(obs, notes, refusal, rules))
            ++kept;
        else
            dropped.push_back(obs);
    }
    for (icalcomponent *obs : dropped) {
        icalcomponent_remove_component(vtimezone, obs);
        icalcomponent_free(obs);
    }
    why = refusal;
    if (!refusal.empty())
        return ZoneUse::Refused;
    if (kept == 0) {
        notes.push_back("no STANDARD or DAYLIGHT part that can be used: the zone is dropped");
        return ZoneUse::Dropped;
    }
    return ZoneUse::Usable;
}

std::int64_t zoneChanges(icalcomponent *vtimezone, std::int64_t limit)
{
    std::int64_t n = 0;
    for (icalcomponent *obs = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); obs && n <= limit;
         obs = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        if (!isObservance(obs))
            continue;
        icalproperty *start = icalcomponent_get_first_property(obs, ICAL_DTSTART_PROPERTY);
        if (!start)
            continue;
        ++n;
        n += icalcomponent_count_properties(obs, ICAL_RDATE_PROPERTY);
        for (icalproperty *p = icalcomponent_get_first_property(obs, ICAL_RRULE_PROPERTY); p && n <= limit;
             p = icalcomponent_get_next_property(obs, ICAL_RRULE_PROPERTY)) {
            icalrecur_iterator *it = icalrecur_iterator_new(icalproperty_get_rrule(p), icalproperty_get_dtstart(start));
            if (!it)
                continue;
            for (icaltimetype t = icalrecur_iterator_next(it); !icaltime_is_null_time(t) && n <= limit;
                 t = icalrecur_iterator_next(it))
                ++n;
            icalrecur_iterator_free(it);
        }
    }
    return n;
}

} // namespace larkspur::ics
