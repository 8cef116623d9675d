// REPORT on a calendar: calendar-multiget and calendar-query (RFC 4791, 7.8 and 7.9;
// VEVENT with time-range, property tests on the event, no expansion) and
// sync-collection (RFC 6578).
#include "dav/Handlers.h"
#include "dav/Tags.h"
#include "dav/TimeRange.h"

#include "IcalPtr.h"

#include <algorithm>
#include <cctype>
#include <variant>

namespace dav {

namespace {

const std::vector<QName> EventDefaults{{std::string(NsDav), "getetag"}, {std::string(NsCalDav), "calendar-data"}};

struct TextMatch {
    std::string text;
    bool caseless = true;
    bool negate = false;
};

struct PropertyTest {
    std::string name;          // upper case
    bool mustBeAbsent = false;
    std::optional<TextMatch> match;
};

// What a calendar-query selects among the events.
struct EventFilter {
    bool nothing = false;
    std::optional<std::pair<std::int64_t, std::int64_t>> range;
    std::vector<PropertyTest> properties;
};

std::string upperAscii(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The filter, or the body of the answer that refuses it.
std::variant<EventFilter, Response> readFilter(const pugi::xml_node &query)
{
    auto refuse = [](const char *condition) { return xmlResponse(403, errorBody(condition)); };
    const pugi::xml_node filter = child(query, NsCalDav, "filter");
    const pugi::xml_node vcal = filter ? child(filter, NsCalDav, "comp-filter") : pugi::xml_node();
    if (!vcal || upperAscii(vcal.attribute("name").value()) != "VCALENDAR")
        return refuse("<C:valid-filter/>");
    EventFilter f;
    for (const pugi::xml_node &n : elements(vcal)) {
        const QName q = qname(n);
        if (q.is(NsCalDav, "is-not-defined")) {
            f.nothing = true;
            continue;
        }
        if (!q.is(NsCalDav, "comp-filter"))
            return refuse("<C:supported-filter/>");
        if (upperAscii(n.attribute("name").value()) != "VEVENT") {
            // Only events live here.
            if (!child(n, NsCalDav, "is-not-defined"))
                f.nothing = true;
            continue;
        }
        for (const pugi::xml_node &e : elements(n)) {
            const QName eq = qname(e);
            if (eq.is(NsCalDav, "is-not-defined")) {
                f.nothing = true;
            } else if (eq.is(NsCalDav, "time-range")) {
                const pugi::xml_attribute s = e.attribute("start"), en = e.attribute("end");
                const auto start = s ? parseUtcTime(s.value()) : std::optional<std::int64_t>(INT64_MIN / 2);
                const auto end = en ? parseUtcTime(en.value()) : std::optional<std::int64_t>(INT64_MAX / 2);
                if (!start || !end || (!s && !en))
                    return refuse("<C:valid-filter/>");
                f.range = std::make_pair(*start, *end);
            } else if (eq.is(NsCalDav, "prop-filter")) {
                PropertyTest p{upperAscii(e.attribute("name").value()), false, std::nullopt};
                for (const pugi::xml_node &c : elements(e)) {
                    const QName cq = qname(c);
                    if (cq.is(NsCalDav, "is-not-defined")) {
                        p.mustBeAbsent = true;
                    } else if (cq.is(NsCalDav, "text-match")) {
                        const std::string collation = c.attribute("collation").as_string("i;ascii-casemap");
                        if (collation != "i;ascii-casemap" && collation != "i;octet" && collation != "i;unicode-casemap")
                            return refuse("<C:supported-collation/>");
                        p.match = TextMatch{c.text().get(), collation != "i;octet",
                                            std::string(c.attribute("negate-condition").value()) == "yes"};
                    } else {
                        return refuse("<C:supported-filter/>");
                    }
                }
                f.properties.push_back(std::move(p));
            } else {
                return refuse("<C:supported-filter/>");
            }
        }
    }
    return f;
}

bool contains(std::string hay, std::string needle, bool caseless)
{
    if (caseless) {
        hay = upperAscii(std::move(hay));
        needle = upperAscii(std::move(needle));
    }
    return hay.find(needle) != std::string::npos;
}

// The values of a property of the resource's main event.
std::vector<std::string> propertyValues(const Resource &res, const std::string &name)
{
    if (name == "UID")
        return {res.event.uid};
    std::vector<std::string> out;
    std::lock_guard lock(libraryLock());
    larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(res.text);
    icalcomponent *ev = cal ? icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT) : nullptr;
    if (!ev)
        return out;
    for (icalproperty *p = icalcomponent_get_first_property(ev, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(ev, ICAL_ANY_PROPERTY)) {
        const char *pname = icalproperty_get_property_name(p);
        if (!pname || upperAscii(pname) != name)
            continue;
        larkspur::ics::IcalString v(icalproperty_get_value_as_string_r(p));
        out.emplace_back(v ? v.get() : "");
    }
    return out;
}

bool selects(const EventFilter &f, const Resource &res)
{
    if (f.nothing)
        return false;
    if (f.range && !overlaps(res, f.range->first, f.range->second))
        return false;
    for (const PropertyTest &p : f.properties) {
        const std::vector<std::string> values = propertyValues(res, p.name);
        if (p.mustBeAbsent != values.empty())
            return false;
        if (p.match) {
            bool any = false;
            for (const std::string &v : values)
                any = any || contains(v, p.match->text, p.match->caseless);
            if (any == p.match->negate)
                return false;
        }
    }
    return true;
}

std::vector<QName> propNames(const pugi::xml_node &root)
{
    const pugi::xml_node prop = child(root, NsDav, "prop");
    return prop ? requestedNames(prop) : EventDefaults;
}

Target member(const Call &call, const Resource &res)
{
    return Target{Place::Event, call.target.calendar, res.name, eventHref(call.account, *call.target.calendar, res.name)};
}

Response multiget(const Call &call, const pugi::xml_node &root)
{
    const std::vector<QName> names = propNames(root);
    const auto state = call.snapshot.state(*call.target.calendar);
    Multistatus out;
    for (const pugi::xml_node &h : children(root, NsDav, "href")) {
        const std::string sent = text(h);
        const auto t = resolveHref(sent, call.account, call.calendars);
        const Resource *res = nullptr;
        if (t && t->place == Place::Event && t->calendar->key == call.target.calendar->key)
            res = state->find(t->resource);
        if (res)
            addProperties(out, call, *t, res, names, {});
        else
            out.addStatus(sent, 404);
    }
    return xmlResponse(207, out.finish());
}

Response query(const Call &call, const pugi::xml_node &root)
{
    auto filter = readFilter(root);
    if (auto *refused = std::get_if<Response>(&filter))
        return std::move(*refused);
    const EventFilter &f = std::get<EventFilter>(filter);
    const std::vector<QName> names = propNames(root);
    const auto state = call.snapshot.state(*call.target.calendar);
    Multistatus out;
    for (const Resource &res : state->resources)
        if (selects(f, res))
            addProperties(out, call, member(call, res), &res, names, {});
    return xmlResponse(207, out.finish());
}

Response sync(const Call &call, const pugi::xml_node &root)
{
    const std::string level = text(child(root, NsDav, "sync-level"));
    if (level != "1" && level != "infinite" && level != "infinity")
        return badXml("DAV:sync-level must be 1");
    const std::vector<QName> names = propNames(root);
    const Calendar &cal = *call.target.calendar;
    const auto state = call.snapshot.state(cal);
    const std::string token = text(child(root, NsDav, "sync-token"));
    Multistatus out;
    if (token.empty()) {
        for (const Resource &res : state->resources)
            addProperties(out, call, member(call, res), &res, names, {});
        return xmlResponse(207, out.finish(syncToken(cal, state->revision)));
    }
    const auto revision = revisionOfToken(cal, token);
    if (!revision)
        return xmlResponse(403, errorBody("<D:valid-sync-token/>"));
    if (*revision != state->revision) {
        const Changes changes = call.snapshot.changesSince(cal, *revision, *state);
        if (!changes.known)
            return xmlResponse(403, errorBody("<D:valid-sync-token/>"));
        for (const Resource *res : changes.changed)
            addProperties(out, call, member(call, *res), res, names, {});
        for (const std::string &name : changes.removed)
            out.addStatus(eventHref(call.account, cal, name), 404);
    }
    return xmlResponse(207, out.finish(syncToken(cal, state->revision)));
}

} // namespace

Response handleReport(const Call &call)
{
    if (call.target.place != Place::Calendar)
        return xmlResponse(403, errorBody("<D:supported-report/>"));
    std::string why;
    auto doc = parseXml(call.request.body, why);
    if (!doc)
        return badXml(why);
    const pugi::xml_node root = doc->document_element();
    const QName report = qname(root);
    if (report.is(NsCalDav, "calendar-multiget"))
        return multiget(call, root);
    if (report.is(NsCalDav, "calendar-query"))
        return query(call, root);
    if (report.is(NsDav, "sync-collection"))
        return sync(call, root);
    return xmlResponse(403, errorBody("<D:supported-report/>"));
}

} // namespace dav
