#include "IcsWriter.h"

#include "DayNumber.h"
#include "IcalPtr.h"
#include "IcsMapping.h"
#include "IcsText.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <set>

namespace larkspur::ics {

namespace {

std::string dateText(const CivilTime &t)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
    return buf;
}

std::string dateTimeText(const CivilTime &t)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

void removeAll(icalcomponent *c, icalproperty_kind kind)
{
    while (icalproperty *p = icalcomponent_get_first_property(c, kind)) {
        icalcomponent_remove_property(c, p);
        icalproperty_free(p);
    }
}

void removeX(icalcomponent *c, std::string_view name)
{
    for (;;) {
        icalproperty *found = nullptr;
        for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_X_PROPERTY); p;
             p = icalcomponent_get_next_property(c, ICAL_X_PROPERTY)) {
            const char *n = icalproperty_get_x_name(p);
            if (n && upper(n) == name) {
                found = p;
                break;
            }
        }
        if (!found)
            return;
        icalcomponent_remove_property(c, found);
        icalproperty_free(found);
    }
}

// libical notes its own parse errors as X-LIC-ERROR properties: they are not ours to write.
void removeErrors(icalcomponent *c)
{
    removeAll(c, ICAL_XLICERROR_PROPERTY);
    for (icalcomponent *sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        removeErrors(sub);
}

// Within a VTIMEZONE an RRULE's UNTIL must be in UTC; older writers give the local
// time of the observance, which is the UTC time plus its TZOFFSETFROM.
void untilToUtc(icalcomponent *vtimezone)
{
    for (icalcomponent *obs = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); obs;
         obs = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        icalproperty *from = icalcomponent_get_first_property(obs, ICAL_TZOFFSETFROM_PROPERTY);
        for (icalproperty *p = icalcomponent_get_first_property(obs, ICAL_RRULE_PROPERTY); p && from;
             p = icalcomponent_get_next_property(obs, ICAL_RRULE_PROPERTY)) {
            icalrecurrencetype r = icalproperty_get_rrule(p);
            if (icaltime_is_null_time(r.until) || r.until.is_date || icaltime_is_utc(r.until))
                continue;
            r.until = icaltime_add(r.until, icaldurationtype_from_int(-icalproperty_get_tzoffsetfrom(from)));
            r.until.zone = icaltimezone_get_utc_timezone();
            icalproperty_set_rrule(p, r);
        }
    }
}

std::vector<std::string> serialize(icalcomponent *c)
{
    IcalString s(icalcomponent_as_ical_string_r(c));
    return unfold(s ? std::string_view(s.get()) : std::string_view());
}

std::string categoriesLine(const std::vector<std::string> &categories)
{
    std::string line = "CATEGORIES:";
    for (std::size_t i = 0; i < categories.size(); ++i) {
        if (i)
            line += ',';
        line += escapeText(categories[i]);
    }
    return line;
}

bool sameCategories(const std::optional<std::vector<std::string>> &a, const std::optional<std::vector<std::string>> &b)
{
    const std::vector<std::string> none;
    return (a ? *a : none) == (b ? *b : none);
}

std::vector<std::string> timeLines(const IcsEvent &e, bool floating)
{
    std::vector<std::string> lines;
    if (!e.start)
        return lines;
    if (e.allDay) {
        const CivilTime s = fromDayNumber(*e.start);
        lines.push_back("DTSTART;VALUE=DATE:" + dateText(s));
        if (e.end) {
            const CivilTime en = fromDayNumber(*e.end);
            if (daysFromCivil(en.year, en.month, en.day) > daysFromCivil(s.year, s.month, s.day))
                lines.push_back("DTEND;VALUE=DATE:" + dateText(en));
        }
        return lines;
    }
    auto timeText = [floating](double dayNumber) {
        const CivilTime local = fromDayNumber(dayNumber);
        if (floating)
            return dateTimeText(local);
        return dateTimeText(utcFieldsFromUnix(utcFromLocal(local))) + "Z";
    };
    lines.push_back("DTSTART:" + timeText(*e.start));
    if (e.end && *e.end > *e.start + 0.5 / 86400.0)
        lines.push_back("DTEND:" + timeText(*e.end));
    return lines;
}

// The lines written from the store for the master VEVENT.
std::vector<std::string> modelledLines(const IcsEvent &e, bool withTimes, bool floating)
{
    std::vector<std::string> lines;
    lines.push_back("UID:" + escapeText(e.uid));
    if (withTimes)
        for (std::string &l : timeLines(e, floating))
            lines.push_back(std::move(l));
    if (!e.summary.empty())
        lines.push_back("SUMMARY:" + escapeText(e.summary));
    if (!e.description.empty())
        lines.push_back("DESCRIPTION:" + escapeText(e.description));
    if (e.location)
        lines.push_back("LOCATION:" + escapeText(*e.location));
    if (e.categories && !e.categories->empty())
        lines.push_back(categoriesLine(*e.categories));
    lines.push_back("CLASS:" + classForSensitivity(e.sensitivity));
    if (e.stamp)
        lines.push_back("X-LARKSPUR-STAMP:" + escapeText(*e.stamp));
    return lines;
}

// Carries the store's changes of the master over to an overridden instance: a subject
// that gained a prefix gets the same prefix, any other changed property is replaced.
std::vector<std::string> overrideChanges(icalcomponent *ov, const IcsEvent &e, const IcsEvent &src)
{
    std::vector<std::string> lines;
    lines.push_back("UID:" + escapeText(e.uid));
    removeAll(ov, ICAL_UID_PROPERTY);
    EventTimes ignored;
    const IcsEvent own = readModelled(ov, nullptr, ignored);
    if (e.summary != src.summary) {
        std::string summary = e.summary;
        const bool prefixed = e.summary.size() > src.summary.size()
                              && e.summary.compare(e.summary.size() - src.summary.size(), std::string::npos,
                                                   src.summary) == 0;
        if (prefixed)
            summary = e.summary.substr(0, e.summary.size() - src.summary.size()) + own.summary;
        removeAll(ov, ICAL_SUMMARY_PROPERTY);
        if (!summary.empty())
            lines.push_back("SUMMARY:" + escapeText(summary));
    }
    if (e.description != src.description) {
        removeAll(ov, ICAL_DESCRIPTION_PROPERTY);
        if (!e.description.empty())
            lines.push_back("DESCRIPTION:" + escapeText(e.description));
    }
    if (e.location != src.location) {
        removeAll(ov, ICAL_LOCATION_PROPERTY);
        if (e.location)
            lines.push_back("LOCATION:" + escapeText(*e.location));
    }
    if (!sameCategories(e.categories, src.categories)) {
        removeAll(ov, ICAL_CATEGORIES_PROPERTY);
        if (e.categories && !e.categories->empty())
            lines.push_back(categoriesLine(*e.categories));
    }
    if (e.sensitivity != src.sensitivity) {
        removeAll(ov, ICAL_CLASS_PROPERTY);
        lines.push_back("CLASS:" + classForSensitivity(e.sensitivity));
    }
    return lines;
}

void appendEvent(std::vector<std::string> &out, std::vector<std::string> body, std::vector<std::string> inserted)
{
    // body[0] is BEGIN:VEVENT.
    out.push_back(body.front());
    for (std::string &l : inserted)
        out.push_back(std::move(l));
    for (std::size_t i = 1; i < body.size(); ++i)
        out.push_back(std::move(body[i]));
}

void ensureDtstamp(icalcomponent *ev, const std::string &dtstamp, std::vector<std::string> &inserted)
{
    if (!icalcomponent_get_first_property(ev, ICAL_DTSTAMP_PROPERTY))
        inserted.push_back("DTSTAMP:" + dtstamp);
}

} // namespace

std::string utcNowStamp()
{
    const std::time_t now = std::time(nullptr);
    return dateTimeText(utcFieldsFromUnix(static_cast<std::int64_t>(now))) + "Z";
}

std::string writeIcs(const std::vector<IcsEvent> &events, const std::string &dtstamp,
                     std::vector<std::string> &warnings)
{
    std::vector<std::string> eventLines;
    std::map<std::string, std::vector<std::string>> zones; // TZID -> VTIMEZONE lines

    for (const IcsEvent &e : events) {
        ComponentPtr cal;
        icalcomponent *master = nullptr;
        if (!e.source.empty()) {
            cal = parseCalendar(wrapCalendar(e.source));
            if (cal)
                master = masterEvent(cal.get());
            if (!master)
                warnings.push_back("event " + e.uid + ": its kept source cannot be read; written from the store only");
        }
        if (!master) {
            std::vector<std::string> body{"BEGIN:VEVENT", "DTSTAMP:" + dtstamp, "END:VEVENT"};
            appendEvent(eventLines, body, modelledLines(e, true, false));
            continue;
        }
        for (icalcomponent *z = icalcomponent_get_first_component(cal.get(), ICAL_VTIMEZONE_COMPONENT); z;
             z = icalcomponent_get_next_component(cal.get(), ICAL_VTIMEZONE_COMPONENT)) {
            icalproperty *id = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
            if (id && icalproperty_get_tzid(id) && !zones.count(icalproperty_get_tzid(id))) {
                untilToUtc(z);
                zones.emplace(icalproperty_get_tzid(id), serialize(z));
            }
        }
        EventTimes srcTimes;
        const IcsEvent src = readModelled(master, cal.get(), srcTimes);
        // A TZID nobody defines cannot be written again: such times were read as local
        // and are written as local (floating) times.
        const bool unknownZone = !srcTimes.unknownZone.empty();
        const bool keepTimes = src.start && !unknownZone && e.allDay == src.allDay && sameTime(e.start, src.start)
                               && sameTime(e.end, src.end);

        removeErrors(master);
        for (icalproperty_kind k : {ICAL_UID_PROPERTY, ICAL_SUMMARY_PROPERTY, ICAL_DESCRIPTION_PROPERTY,
                                    ICAL_LOCATION_PROPERTY, ICAL_CATEGORIES_PROPERTY, ICAL_CLASS_PROPERTY})
            removeAll(master, k);
        removeX(master, "X-LARKSPUR-STAMP");
        if (!keepTimes)
            for (icalproperty_kind k : {ICAL_DTSTART_PROPERTY, ICAL_DTEND_PROPERTY, ICAL_DURATION_PROPERTY})
                removeAll(master, k);
        std::vector<std::string> inserted = modelledLines(e, !keepTimes, srcTimes.floating || unknownZone);
        ensureDtstamp(master, dtstamp, inserted);
        appendEvent(eventLines, serialize(master), std::move(inserted));

        for (icalcomponent *ov = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ov;
             ov = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
            if (ov == master)
                continue;
            removeErrors(ov);
            std::vector<std::string> changes = overrideChanges(ov, e, src);
            ensureDtstamp(ov, dtstamp, changes);
            appendEvent(eventLines, serialize(ov), std::move(changes));
        }
    }

    // A VTIMEZONE for every TZID the events use, in order of first use.
    std::vector<std::string> used;
    std::set<std::string> seen;
    for (const std::string &line : eventLines) {
        ParsedLine pl;
        std::string why;
        if (!parseContentLine(line, pl, why))
            continue;
        for (const Param &p : pl.params)
            if (p.name == "TZID")
                for (const std::string &v : p.values)
                    if (seen.insert(v).second)
                        used.push_back(v);
    }
    std::vector<std::string> out{"BEGIN:VCALENDAR", "VERSION:2.0",
                                 "PRODID:-//Larkspur//Larkspur Calendar Administration//EN",
                                 "CALSCALE:GREGORIAN"};
    for (const std::string &tzid : used) {
        auto it = zones.find(tzid);
        if (it != zones.end()) {
            out.insert(out.end(), it->second.begin(), it->second.end());
            continue;
        }
        icaltimezone *builtin = icaltimezone_get_builtin_timezone(tzid.c_str());
        icalcomponent *comp = builtin ? icaltimezone_get_component(builtin) : nullptr;
        if (!comp) {
            warnings.push_back("time zone \"" + tzid + "\" is used but no definition of it is known");
            continue;
        }
        for (std::string &l : serialize(comp)) {
            if (upper(l.substr(0, 5)) == "TZID:" || upper(l.substr(0, 5)) == "TZID;")
                l = "TZID:" + tzid;
            out.push_back(std::move(l));
        }
    }
    out.insert(out.end(), eventLines.begin(), eventLines.end());
    out.push_back("END:VCALENDAR");

    std::string text;
    for (const std::string &l : out)
        text += foldLine(l);
    return text;
}

} // namespace larkspur::ics
