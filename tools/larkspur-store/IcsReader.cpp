#include "IcsReader.h"

#include "IcalPtr.h"
#include "IcsMapping.h"
#include "IcsZone.h"

#include <algorithm>
#include <climits>
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
    readTexts(*master.lines, *master.component, e);
    e.uid = master.uid;
    e.line = master.line;
    e.source = source;
    if (!times.unknownZone.empty())
        warnings.push_back(where + "unknown time zone \"" + times.unknownZone + "\": its times are taken as local");
    if (e.start && e.end && *e.end < *e.start) {
        warnings.push_back(where + "ends before it starts: taken to end when it starts");
        e.end = e.start;
    }
    return e;
}

// Whether a DURATION value ([+|-]P[nW][nD][T[nH][nM][nS]]) lasts longer than `limit`
// seconds; a value of another form is left to libical to complain about.
bool durationTooLong(std::string_view v, std::int64_t limit)
{
    if (!v.empty() && (v.front() == '+' || v.front() == '-'))
        v.remove_prefix(1);
    if (v.empty() || (v.front() != 'P' && v.front() != 'p'))
        return false;
    std::int64_t total = 0;
    bool timePart = false;
    for (std::size_t i = 1; i < v.size();) {
        if (v[i] == 'T' || v[i] == 't') {
            timePart = true;
            ++i;
            continue;
        }
        std::int64_t n = 0;
        const std::size_t digits = i;
        for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i)
            if ((n = n * 10 + (v[i] - '0')) > limit)
                return true;
        if (i == digits || i == v.size())
            return false;
        const char unit = static_cast<char>(v[i++] & ~0x20);
        const std::int64_t seconds = unit == 'W' && !timePart ? 604800
                                     : unit == 'D' && !timePart ? 86400
                                     : unit == 'H' && timePart  ? 3600
                                     : unit == 'M' && timePart  ? 60
                                     : unit == 'S' && timePart  ? 1
                                                                : 0;
        if (seconds == 0)
            return false;
        if (n > (limit - total) / seconds)
            return true;
        total += n * seconds;
    }
    return false;
}

// Refuses a DURATION anywhere in the component whose end libical could not work out
// (its fields are 32-bit): it would silently wrap round.
void checkDurations(const std::vector<ContentLine> &lines, const Component &c, const std::string &uid,
                    const std::string &fileName)
{
    for (std::size_t i = c.first; i <= c.last; ++i) {
        const std::string head = upper(std::string_view(lines[i].text).substr(0, 9));
        ParsedLine pl;
        std::string why;
        if ((head == "DURATION:" || head == "DURATION;") && parseContentLine(lines[i].text, pl, why)
            && durationTooLong(pl.value, INT_MAX))
            throw IcsError(fileName + ":" + std::to_string(lines[i].lineNo) + ": event"
                           + (uid.empty() ? std::string() : " " + uid) + ": the DURATION value \""
                           + pl.value.substr(0, 40) + "\" is out of range (at most "
                           + std::to_string(INT_MAX / 86400) + " days)");
    }
}

// Checks and repairs a VTIMEZONE of the file (see IcsZone.h); its text as the store
// keeps it, or "" when it is dropped. `rules` and `changes` add up over the file.
std::string reviewedZone(const std::vector<ContentLine> &lines, const Component &c, const std::string &fileName,
                         int &rules, std::int64_t &changes, std::vector<std::string> &warnings)
{
    const std::string text = componentText(lines, c);
    const std::string at = fileName + ":" + std::to_string(lines[c.first].lineNo) + ": ";
    ComponentPtr cal = parseCalendar(wrapCalendar(text));
    icalcomponent *zone = cal ? icalcomponent_get_first_component(cal.get(), ICAL_VTIMEZONE_COMPONENT) : nullptr;
    if (!zone)
        throw IcsError(at + "a VTIMEZONE that cannot be read");
    const std::string where = at + "time zone \"" + zoneId(zone) + "\": ";
    IcalString before(icalcomponent_as_ical_string_r(zone));
    std::vector<std::string> notes;
    std::string refusal;
    const ZoneUse use = repairZone(zone, notes, rules, refusal);
    if (use == ZoneUse::Refused)
        throw IcsError(where + refusal);
    for (const std::string &n : notes)
        warnings.push_back(where + n);
    if (use == ZoneUse::Dropped)
        return {};
    changes += zoneChanges(zone, kMaxZoneChanges - changes);
    if (changes > kMaxZoneChanges)
        throw IcsError(where + "the time zones of the file change their offsets more than "
                       + std::to_string(kMaxZoneChanges) + " times");
    IcalString after(icalcomponent_as_ical_string_r(zone));
    return std::string_view(before.get()) == std::string_view(after.get()) ? text : std::string(after.get());
}

} // namespace

IcsReadResult readIcs(std::string_view data, const std::string &fileName)
{
    IcsReadResult result;
    const std::vector<ContentLine> lines = contentLines(data, fileName, result.warnings);
    const std::vector<Component> calendars = componentTree(lines, fileName);

    std::vector<RawEvent> raw;
    // A zone repeated word for word (files made by joining calendars) counts once.
    std::map<std::string, std::string> reviewed; // VTIMEZONE text -> as kept ("" dropped)
    int zoneRules = 0;
    std::int64_t zoneChangeCount = 0;
    for (const Component &cal : calendars) {
        auto zones = std::make_shared<std::map<std::string, std::string>>();
        for (const Component &c : cal.children) {
            if (c.name != "VTIMEZONE")
                continue;
            const std::string tzid = unescapeText(firstValue(lines, c, "TZID"));
            if (tzid.empty()) {
                result.warnings.push_back(fileName + ":" + std::to_string(lines[c.first].lineNo)
                                          + ": a VTIMEZONE without TZID is passed over");
                continue;
            }
            auto [it, fresh] = reviewed.emplace(componentText(lines, c), std::string());
            if (fresh)
                it->second = reviewedZone(lines, c, fileName, zoneRules, zoneChangeCount, result.warnings);
            if (!it->second.empty())
                zones->emplace(tzid, it->second);
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
            checkDurations(lines, c, r.uid, fileName);
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
    std::vector<bool> hasMaster;
    std::map<std::string, std::size_t> byUid;
    for (const RawEvent &r : raw) {
        auto it = r.uid.empty() ? byUid.end() : byUid.find(r.uid);
        if (it != byUid.end() && !r.override && hasMaster[it->second])
            result.warnings.push_back(fileName + ":" + std::to_string(r.line) + ": event " + r.uid
                                      + ": a second event with this UID and no RECURRENCE-ID is imported "
                                        "as an item of its own");
        if (it == byUid.end() || (!r.override && hasMaster[it->second])) {
            if (!r.uid.empty() && it == byUid.end())
                byUid.emplace(r.uid, groups.size());
            groups.push_back({&r});
            hasMaster.push_back(!r.override);
            continue;
        }
        groups[it->second].push_back(&r);
        hasMaster[it->second] = hasMaster[it->second] || !r.override;
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
