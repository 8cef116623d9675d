#include "IcsWriter.h"

#include "DayNumber.h"
#include "IcalPtr.h"
#include "IcsMapping.h"
#include "IcsText.h"
#include "IcsZone.h"

#include <algorithm>
#include <cstdio>
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

std::vector<std::string> serialize(icalcomponent *c)
{
    IcalString s(icalcomponent_as_ical_string_r(c));
    return unfold(s ? std::string_view(s.get()) : std::string_view());
}

// One property for each category: a reader that splits a list at every comma after a
// backslash (libical) then still sees each category whole.
void addCategories(std::vector<std::string> &lines, const std::vector<std::string> &categories)
{
    for (const std::string &c : categories)
        if (!c.empty())
            lines.push_back(textLine("CATEGORIES", c));
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
        lines.push_back(textLine("SUMMARY", e.summary));
    if (!e.description.empty())
        lines.push_back(textLine("DESCRIPTION", e.description));
    if (e.location)
        lines.push_back(textLine("LOCATION", *e.location));
    if (e.categories)
        addCategories(lines, *e.categories);
    lines.push_back("CLASS:" + classForSensitivity(e.sensitivity));
    if (e.stamp)
        lines.push_back(textLine("X-LARKSPUR-STAMP", *e.stamp));
    return lines;
}

// Carries the store's changes of the master over to an overridden instance (`own`: its
// text properties as written): a subject that gained a prefix gets the same prefix, any
// other changed property is replaced.
std::vector<std::string> overrideChanges(icalcomponent *ov, const IcsEvent &e, const IcsEvent &src,
                                         const IcsEvent &own)
{
    std::vector<std::string> lines;
    lines.push_back("UID:" + escapeText(e.uid));
    removeAll(ov, ICAL_UID_PROPERTY);
    if (e.summary != src.summary) {
        std::string summary = e.summary;
        const bool prefixed = e.summary.size() > src.summary.size()
                              && e.summary.compare(e.summary.size() - src.summary.size(), std::string::npos,
                                                   src.summary) == 0;
        if (prefixed)
            summary = e.summary.substr(0, e.summary.size() - src.summary.size()) + own.summary;
        removeAll(ov, ICAL_SUMMARY_PROPERTY);
        if (!summary.empty())
            lines.push_back(textLine("SUMMARY", summary));
    }
    if (e.description != src.description) {
        removeAll(ov, ICAL_DESCRIPTION_PROPERTY);
        if (!e.description.empty())
            lines.push_back(textLine("DESCRIPTION", e.description));
    }
    if (e.location != src.location) {
        removeAll(ov, ICAL_LOCATION_PROPERTY);
        if (e.location)
            lines.push_back(textLine("LOCATION", *e.location));
    }
    if (!sameCategories(e.categories, src.categories)) {
        removeAll(ov, ICAL_CATEGORIES_PROPERTY);
        if (e.categories)
            addCategories(lines, *e.categories);
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

// Calls `f` for every TZID parameter of the component and its subcomponents.
template <class F>
void forEachTzid(icalcomponent *c, F &&f)
{
    for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY))
        for (icalparameter *t = icalproperty_get_first_parameter(p, ICAL_TZID_PARAMETER); t;
             t = icalproperty_get_next_parameter(p, ICAL_TZID_PARAMETER))
            f(t);
    for (icalcomponent *sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT))
        forEachTzid(sub, f);
}

void setZoneId(icalcomponent *vtimezone, const std::string &tzid)
{
    removeAll(vtimezone, ICAL_TZID_PROPERTY);
    icalcomponent_add_property(vtimezone, icalproperty_new_tzid(tzid.c_str()));
}

// The time zones of one export. Each TZID names one definition: the events of two files
// may use one TZID for different rules, and a zone whose TZID already names another
// definition is written as "TZID (2)" (or the next free number) with its events.
class ExportZones {
public:
    // Checks and repairs the VTIMEZONEs of a source calendar (dropping those that cannot
    // be used, whose times then read as local), adds the built-in definition of a TZID
    // its events use without one, and names them all for this export.
    void adopt(icalcomponent *cal, const std::string &uid, std::vector<std::string> &warnings)
    {
        std::vector<icalcomponent *> zones;
        std::set<std::string> defined;
        for (icalcomponent *z = icalcomponent_get_first_component(cal, ICAL_VTIMEZONE_COMPONENT); z;
             z = icalcomponent_get_next_component(cal, ICAL_VTIMEZONE_COMPONENT))
            zones.push_back(z);
        std::erase_if(zones, [&](icalcomponent *z) {
            const std::string why = refusal(z);
            if (why.empty() && !zoneId(z).empty()) {
                defined.insert(zoneId(z));
                return false;
            }
            warnings.push_back("event " + uid + ": time zone \"" + zoneId(z) + "\" cannot be used ("
                               + (why.empty() ? "no TZID" : why) + "); its times are written as local times");
            icalcomponent_remove_component(cal, z);
            icalcomponent_free(z);
            return true;
        });
        std::set<std::string> used;
        for (icalcomponent *ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT))
            forEachTzid(ev, [&](icalparameter *t) { used.insert(icalparameter_get_tzid(t)); });
        for (const std::string &tzid : used) {
            icaltimezone *builtin = defined.count(tzid) ? nullptr : icaltimezone_get_builtin_timezone(tzid.c_str());
            icalcomponent *comp = builtin ? icaltimezone_get_component(builtin) : nullptr;
            if (!comp)
                continue;
            icalcomponent *copy = icalcomponent_new_clone(comp);
            setZoneId(copy, tzid);
            icalcomponent_add_component(cal, copy);
            zones.push_back(copy);
            defined.insert(tzid);
        }
        for (icalcomponent *z : zones)
            name(cal, z, defined);
    }

    const std::vector<std::string> *find(const std::string &tzid) const
    {
        auto it = m_lines.find(tzid);
        return it == m_lines.end() ? nullptr : &it->second;
    }

private:
    std::string refusal(icalcomponent *z)
    {
        std::vector<std::string> notes;
        int rules = 0;
        std::string why;
        if (repairZone(z, notes, rules, why) != ZoneUse::Usable)
            return why.empty() ? "nothing of it can be used" : why;
        IcalString text(icalcomponent_as_ical_string_r(z));
        auto [it, fresh] = m_bounded.emplace(text ? text.get() : "", true);
        if (fresh)
            it->second = zoneChanges(z, kMaxZoneChanges) <= kMaxZoneChanges;
        return it->second ? std::string() : "its rules change the offset too often";
    }

    void name(icalcomponent *cal, icalcomponent *z, const std::set<std::string> &inThisSource)
    {
        const std::string id = zoneId(z);
        std::string name = id;
        for (int n = 2;; ++n) {
            if (name == id || !inThisSource.count(name)) {
                setZoneId(z, name);
                std::vector<std::string> lines = serialize(z);
                auto [it, fresh] = m_lines.emplace(name, lines);
                if (fresh || it->second == lines)
                    break;
            }
            name = id + " (" + std::to_string(n) + ")";
        }
        if (name == id)
            return;
        for (icalcomponent *ev = icalcomponent_get_first_component(cal, ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal, ICAL_VEVENT_COMPONENT))
            forEachTzid(ev, [&](icalparameter *t) {
                if (id == icalparameter_get_tzid(t))
                    icalparameter_set_tzid(t, name.c_str());
            });
    }

    std::map<std::string, std::vector<std::string>> m_lines; // TZID -> VTIMEZONE lines
    std::map<std::string, bool> m_bounded;                   // VTIMEZONE text -> rules within bounds
};

// The text properties of each VEVENT of a source as written (see readTexts), in order;
// empty when the source does not split into content lines.
std::vector<IcsEvent> sourceTexts(const std::string &source)
{
    std::vector<IcsEvent> out;
    try {
        std::vector<std::string> ignored;
        const std::vector<ContentLine> lines = contentLines(wrapCalendar(source), "source", ignored);
        const std::vector<Component> tree = componentTree(lines, "source");
        for (const Component &c : tree.front().children)
            if (c.name == "VEVENT")
                readTexts(lines, c, out.emplace_back());
    } catch (const IcsError &) {
        out.clear();
    }
    return out;
}

void takeTexts(IcsEvent &to, const IcsEvent &from)
{
    to.summary = from.summary;
    to.description = from.description;
    to.location = from.location;
    to.categories = from.categories;
    to.stamp = from.stamp;
}

} // namespace

std::string writeIcs(const std::vector<IcsEvent> &events, std::vector<std::string> &warnings)
{
    std::vector<std::string> eventLines;
    ExportZones zones;

    for (const IcsEvent &e : events) {
        const std::string dtstamp = dateTimeText(utcFieldsFromUnix(e.changedAt)) + "Z";
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
        zones.adopt(cal.get(), e.uid, warnings);
        // The VEVENTs in order, with their text properties as written when those can be
        // read (libical's reading of them is not what the store holds); only the
        // overridden instances compare theirs.
        std::vector<icalcomponent *> vevents;
        for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
             ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT))
            vevents.push_back(ev);
        std::vector<IcsEvent> texts = vevents.size() > 1 ? sourceTexts(e.source) : std::vector<IcsEvent>();
        if (texts.size() != vevents.size())
            texts.clear();
        auto ownTexts = [&](std::size_t at, IcsEvent &into) {
            if (!texts.empty())
                takeTexts(into, texts[at]);
        };
        const std::size_t masterAt = static_cast<std::size_t>(std::find(vevents.begin(), vevents.end(), master)
                                                              - vevents.begin());
        EventTimes srcTimes;
        IcsEvent src = readModelled(master, cal.get(), srcTimes);
        ownTexts(masterAt, src);
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

        for (std::size_t at = 0; at < vevents.size(); ++at) {
            icalcomponent *ov = vevents[at];
            if (ov == master)
                continue;
            removeErrors(ov);
            EventTimes ignored;
            IcsEvent own = readModelled(ov, nullptr, ignored);
            ownTexts(at, own);
            std::vector<std::string> changes = overrideChanges(ov, e, src, own);
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
        if (const std::vector<std::string> *zone = zones.find(tzid)) {
            out.insert(out.end(), zone->begin(), zone->end());
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
