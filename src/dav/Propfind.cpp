// PROPFIND, depth 0 and 1 (RFC 4918, 9.1; infinity is refused as finite-depth).
#include "dav/Handlers.h"

namespace dav {

Response handlePropfind(const Call &call)
{
    const Target &t = call.target;
    if (t.place == Place::Feed) {
        Response r = textResponse(405, "The feed is a file: ask with GET.\n");
        r.headers.emplace_back("Allow", "OPTIONS, GET, HEAD");
        return r;
    }
    const std::string *depthHeader = call.request.header("depth");
    const std::string depth = depthHeader ? *depthHeader : "infinity";
    if (depth != "0" && depth != "1")
        return xmlResponse(403, errorBody("<D:propfind-finite-depth/>"));

    std::vector<QName> names;   // empty: every property
    if (call.request.body.find_first_not_of(" \t\r\n") != std::string::npos) {
        std::string why;
        auto doc = parseXml(call.request.body, why);
        if (!doc)
            return badXml(why);
        const pugi::xml_node root = doc->document_element();
        if (!qname(root).is(NsDav, "propfind"))
            return badXml("the body is no DAV:propfind");
        if (pugi::xml_node prop = child(root, NsDav, "prop"))
            names = requestedNames(prop);
        else if (!child(root, NsDav, "allprop") && !child(root, NsDav, "propname"))
            return badXml("DAV:propfind asks for nothing");
    }

    Multistatus out;
    switch (t.place) {
    case Place::Calendar: {
        // Members need the whole state; the calendar alone only its revision.
        if (depth == "0") {
            addProperties(out, call, t, nullptr, names, call.snapshot.revision(*t.calendar));
            break;
        }
        const auto state = call.snapshot.state(*t.calendar);
        addProperties(out, call, t, nullptr, names, state->revision);
        for (const Resource &res : state->resources) {
            const Target member{Place::Event, t.calendar, res.name, eventHref(call.account, *t.calendar, res.name)};
            addProperties(out, call, member, &res, names, {});
        }
        break;
    }
    case Place::Event: {
        const auto state = call.snapshot.state(*t.calendar);
        const Resource *res = state->find(t.resource);
        if (!res)
            return textResponse(404, "Not found.\n");
        addProperties(out, call, t, res, names, {});
        break;
    }
    case Place::Home:
        addProperties(out, call, t, nullptr, names, {});
        if (depth == "1")
            for (const Calendar &cal : call.calendars) {
                const Target member{Place::Calendar, &cal, {}, calendarHref(call.account, cal)};
                addProperties(out, call, member, nullptr, names, call.snapshot.revision(cal));
            }
        break;
    default:
        addProperties(out, call, t, nullptr, names, {});
        break;
    }
    return xmlResponse(207, out.finish());
}

} // namespace dav
