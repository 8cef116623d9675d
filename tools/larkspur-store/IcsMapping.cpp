#include "IcsMapping.h"

#include "IcsText.h"

#include <cmath>

namespace larkspur::ics {

namespace {

std::optional<std::string> xValue(icalcomponent *c, std::string_view name)
{
    for (icalproperty *p = icalcomponent_get_first_property(c, ICAL_X_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_X_PROPERTY)) {
        const char *n = icalproperty_get_x_name(p);
        if (n && upper(n) == name) {
            const char *v = icalproperty_get_x(p);
            return std::string(v ? v : "");
        }
    }
    return std::nullopt;
}

std::string text(const char *s)
{
    return s ? std::string(s) : std::string();
}

} // namespace

void readTexts(const std::vector<ContentLine> &lines, const Component &c, IcsEvent &e)
{
    e.summary.clear();
    e.description.clear();
    e.location.reset();
    e.categories.reset();
    e.stamp.reset();
    bool summary = false;
    bool description = false;
    for (const auto &[index, pl] : ownProperties(lines, c)) {
        std::string breaks;
        for (const Param &p : pl.params)
            if (p.name == "X-LARKSPUR-BREAKS" && !p.values.empty())
                breaks = p.values.front();
        auto text = [&](std::string_view escaped) { return restoreBreaks(unescapeText(escaped), breaks); };
        if (pl.name == "SUMMARY" && !summary) {
            e.summary = text(pl.value);
            summary = true;
        } else if (pl.name == "DESCRIPTION" && !description) {
            e.description = text(pl.value);
            description = true;
        } else if (pl.name == "LOCATION" && !e.location) {
            e.location = text(pl.value);
        } else if (pl.name == "X-LARKSPUR-STAMP" && !e.stamp) {
            e.stamp = text(pl.value);
        } else if (pl.name == "CATEGORIES") {
            if (!e.categories)
                e.categories.emplace();
            const std::vector<std::string_view> items = splitList(pl.value);
            if (items.size() > 1)
                breaks.clear();
            for (std::string_view item : items)
                if (!item.empty())
                    e.categories->push_back(text(item));
        }
    }
}

std::string textLine(std::string_view name, std::string_view value)
{
    std::string breaks;
    const std::string escaped = escapeText(value, &breaks);
    std::string line(name);
    if (breaks.find_first_not_of('L') != std::string::npos)
        line += ";X-LARKSPUR-BREAKS=" + breaks;
    return line + ":" + escaped;
}

std::string wrapCalendar(const std::string &body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Larkspur//Larkspur Calendar Administration//EN\r\n" + body
           + "END:VCALENDAR\r\n";
}

IcsEvent readModelled(icalcomponent *ev, icalcomponent *calendar, EventTimes &times)
{
    IcsEvent e;
    if (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_UID_PROPERTY))
        e.uid = text(icalproperty_get_uid(p));
    if (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_SUMMARY_PROPERTY))
        e.summary = text(icalproperty_get_summary(p));
    if (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_DESCRIPTION_PROPERTY))
        e.description = text(icalproperty_get_description(p));
    if (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_LOCATION_PROPERTY))
        e.location = text(icalproperty_get_location(p));
    for (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_CATEGORIES_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_CATEGORIES_PROPERTY)) {
        if (!e.categories)
            e.categories.emplace();
        std::string v = text(icalproperty_get_categories(p));
        if (!v.empty())
            e.categories->push_back(std::move(v));
    }
    if (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_CLASS_PROPERTY))
        e.sensitivity = sensitivityForClass(text(icalproperty_get_value_as_string(p)));
    e.stamp = xValue(ev, "X-LARKSPUR-STAMP");
    times = eventTimes(ev, calendar);
    e.start = times.start;
    e.end = times.end;
    e.allDay = times.allDay;
    return e;
}

icalcomponent *masterEvent(icalcomponent *calendar)
{
    icalcomponent *first = nullptr;
    for (icalcomponent *ev = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        if (!first)
            first = ev;
        if (!icalcomponent_get_first_property(ev, ICAL_RECURRENCEID_PROPERTY))
            return ev;
    }
    return first;
}

bool sameTime(const std::optional<double> &a, const std::optional<double> &b)
{
    if (!a || !b)
        return !a && !b;
    return std::fabs(*a - *b) < 1.0 / 86400.0; // within a second
}

} // namespace larkspur::ics
