#include "IcsReader.h"

#include "IcalPtr.h"
#include "IcsMapping.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace larkspur::ics {

namespace {

struct RawEvent {
    std::string uid;
    bool override = false;     // has RECURRENCE-ID
    int line = 0;
    std::string text;
    std::set<std::string> tzids;
    const std::vector<ContentLine> *lines = nullptr;
    const Component *component = nullptr;
    std::shared_ptr<const std::map<std::string, std::string>> zones; // TZID -> VTIMEZONE text
};

// The first line of the component's own property `name` (not one of a subcomponent such
// as VALARM), parsed into `found`; the index of that line, or nullopt.
std::optional<std::size_t> findProperty(const std::vector<ContentLine> &lines, const Component &c,
                                        std::string_view name, ParsedLine &found)
{
    int depth = 0;
    for (std::size_t i = c.first + 1; i < c.last; ++i) {
        std::string why;
        if (!parseContentLine(lines[i].text, found, why))
            continue;
        if (found.name == "BEGIN")
            ++depth;
        else if (found.name == "END")
            --depth;
        else if (depth == 0 && found.name == name)
            return i;
    }
    return std::nullopt;
}

std::string firstValue(const std::vector<ContentLine> &lines, const Component &c, std::string_view name)
{
    ParsedLine pl;
    return findProperty(lines, c, name, pl) ? pl.value : std::string();
}

bool hasProperty(const std::vector<ContentLine> &lines, const Component &c, std::string_view name, int *lineNo)
{
    ParsedLine pl;
    const std::optional<std::size_t> at = findProperty(lines, c, name, pl);
    if (at && lineNo)
        *lineNo = lines[*at].lineNo;
    return at.has_value();
}

// Reads the modelled properties of the master VEVENT.
IcsEvent mapEvent(const RawEvent &master, const std::string &source, const std::string &fileName,
                  std::vector<std::string> &warnings)
{
    const std::string where = fileName + ":" + std::to_string(master.line) + ": event"
                              + (master.uid.empty() ? std::string() : " " + master.uid) + ": ";
    ComponentPtr cal = parseCalendar(wrapCalendar(source));
    if (!cal)
        throw IcsError(where + "cannot be read");
    icalcomponent *ev = masterEvent(cal.get());
    if (!ev)
        throw IcsError(where + "cannot be read");

    // libical drops a property whose value it cannot read; for the times that is fatal.
    for (const char *name : {"DTSTART", "DTEND", "DURATION"}) {
        int lineNo = 0;
        if (hasProperty(*master.lines, *master.component, name, &lineNo)
            && !icalcomponent_get_first_property(ev, icalproperty_string_to_kind(name)))
            throw IcsError(fileName + ":" + std::to_string(lineNo) + ": event"
                           + (master.uid.empty() ? std::string() : " " + master.uid) + ": the " + name
                           + " value \"" + firstValue(*master.lines, *master.component, name)
                           + "\" cannot be read");
    }
    for (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_XLICERROR_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_XLICERROR_PROPERTY)) {
        const std::string error = icalproperty_get_xlicerror(p) ? icalproperty_get_xlicerror(p) : "";
        // An empty value is allowed; libical merely drops the property (handled below).
        if (error.rfind("No value for", 0) != 0)
            warnings.push_back(where + "passed over: " + error);
    }

    EventTimes times;
    IcsEvent e = readModelled(ev, cal.get(), times);
    e.uid = master.uid;
    e.line = master.line;
    e.source = source;
    // Present but empty: libical dropped them, the store keeps them empty.
    if (!e.location && hasProperty(*master.lines, *master.component, "LOCATION", nullptr))
        e.location = std::string();
    if (!times.unknownZone.empty())
        warnings.push_back(where + "unknown time zone \"" + times.unknownZone + "\": its times are taken as local");
    if (e.start && e.end && *e.end < *e.start) {
        warnings.push_back(where + "ends before it starts: taken to end when it starts");
        e.end = e.start;
    }
    return e;
}

} // namespace

IcsReadResult readIcs(std::string_view data, const std::string &fileName)
{
    IcsReadResult result;
    const std::vector<ContentLine> lines = contentLines(data, fileName, result.warnings);
    const std::vector<Component> calendars = componentTree(lines, fileName);

    std::vector<RawEvent> raw;
    for (const Component &cal : calendars) {
        auto zones = std::make_shared<std::map<std::string, std::string>>();
        for (const Component &c : cal.children) {
            if (c.name != "VTIMEZONE")
                continue;
            const std::string tzid = unescapeText(firstValue(lines, c, "TZID"));
            if (tzid.empty())
                result.warnings.push_back(fileName + ":" + std::to_string(lines[c.first].lineNo)
                                          + ": a VTIMEZONE without TZID is passed over");
            else
                zones->emplace(tzid, componentText(lines, c));
        }
        for (const Component &c : cal.children) {
            if (c.name == "VTIMEZONE")
                continue;
            if (c.name != "VEVENT") {
                ++result.skipped[c.name];
                continue;
            }
            RawEvent r;
            r.uid = unescapeText(firstValue(lines, c, "UID"));
            r.override = hasProperty(lines, c, "RECURRENCE-ID", nullptr);
            r.line = lines[c.first].lineNo;
            r.text = componentText(lines, c);
            for (const std::string &tz : parameterValues(lines, c, "TZID"))
                r.tzids.insert(tz);
            r.lines = &lines;
            r.component = &c;
            r.zones = zones;
            raw.push_back(std::move(r));
        }
    }

    // Group by UID in order of first appearance; events without UID stand alone.
    std::vector<std::vector<const RawEvent *>> groups;
    std::map<std::string, std::size_t> byUid;
    for (const RawEvent &r : raw) {
        if (r.uid.empty()) {
            groups.push_back({&r});
            continue;
        }
        auto it = byUid.find(r.uid);
        if (it == byUid.end()) {
            byUid.emplace(r.uid, groups.size());
            groups.push_back({&r});
            continue;
        }
        auto &g = groups[it->second];
        const bool hasMaster = std::any_of(g.begin(), g.end(), [](const RawEvent *x) { return !x->override; });
        if (!r.override && hasMaster) {
            result.warnings.push_back(fileName + ":" + std::to_string(r.line) + ": event " + r.uid
                                      + ": a second event with this UID and no RECURRENCE-ID is imported "
                                        "as an item of its own");
            groups.push_back({&r});
            continue;
        }
        g.push_back(&r);
    }

    for (auto &g : groups) {
        std::stable_partition(g.begin(), g.end(), [](const RawEvent *x) { return !x->override; });
        std::string source;
        std::set<std::string> used;
        for (const RawEvent *r : g)
            for (const std::string &tz : r->tzids)
                if (used.insert(tz).second) {
                    auto z = r->zones->find(tz);
                    if (z != r->zones->end())
                        source += z->second;
                }
        for (const RawEvent *r : g)
            source += r->text;
        result.events.push_back(mapEvent(*g.front(), source, fileName, result.warnings));
    }
    return result;
}

} // namespace larkspur::ics
