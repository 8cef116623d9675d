// GET and HEAD: a calendar as one iCalendar file (the feed, or a calendar collection),
// and one event resource. The library leaves the body out of a HEAD answer.
#include "dav/Handlers.h"
#include "dav/Tags.h"
#include "dav/TimeRange.h"

#include "ical/IcsWriter.h"

namespace dav {

namespace {

std::string duration(unsigned minutes)
{
    return minutes % 60 == 0 ? "PT" + std::to_string(minutes / 60) + "H" : "PT" + std::to_string(minutes) + "M";
}

// How often subscribers should look again, in the calendar's own header.
std::string withRefresh(const std::string &ics, unsigned minutes)
{
    const std::string lines = "REFRESH-INTERVAL;VALUE=DURATION:" + duration(minutes) + "\r\nX-PUBLISHED-TTL:"
                              + duration(minutes) + "\r\n";
    std::size_t at = ics.find("\r\nCALSCALE:GREGORIAN\r\n");
    at = at == std::string::npos ? ics.find("\r\n") : at + std::string_view("\r\nCALSCALE:GREGORIAN").size();
    if (at == std::string::npos)
        return ics;
    return ics.substr(0, at + 2) + lines + ics.substr(at + 2);
}

// True when the request's validators say the client's copy is current.
bool notModified(const Request &req, const std::string &etag, std::int64_t lastModified)
{
    if (const std::string *inm = req.header("if-none-match"))
        return etagMatches(*inm, etag);
    if (const std::string *ims = req.header("if-modified-since"))
        if (auto since = parseHttpDate(*ims))
            return lastModified <= *since;
    return false;
}

Response calendarFile(const Call &call)
{
    const Request &req = call.request;
    const auto startText = req.queryValue("start");
    const auto endText = req.queryValue("end");
    std::optional<std::int64_t> start, end;
    std::string window;
    if (startText || endText) {
        start = startText ? parseLocalDate(*startText) : std::nullopt;
        end = endText ? parseLocalDate(*endText) : std::nullopt;
        if ((startText && !start) || (endText && !end))
            return textResponse(400, "start and end are dates: YYYYMMDD.\n");
        // The end day is part of the window.
        if (end)
            end = parseLocalDate(*endText, 1);
        if (start && end && *end <= *start)
            return textResponse(400, "end comes before start.\n");
        window = startText.value_or("") + "-" + endText.value_or("");
    }

    const auto state = call.snapshot.state(*call.target.calendar);
    Response r;
    const std::string etag = feedEtag(*state, window);
    r.headers.reserve(4);
    r.headers.emplace_back("ETag", etag);
    r.headers.emplace_back("Cache-Control", "private, no-cache");
    // A 304 carries what a cache updates its copy with; the date the client had already.
    if (notModified(req, etag, state->lastModified)) {
        r.status = 304;
        return r;
    }
    r.headers.emplace_back("Last-Modified", httpDate(state->lastModified));
    const std::string key = call.target.calendar->key + "|" + window;
    auto body = call.feeds.find(key, state->revision);
    if (!body) {
        std::string ics;
        if (window.empty()) {
            ics = state->feed;
        } else {
            std::vector<larkspur::ics::IcsEvent> events;
            const std::int64_t from = start.value_or(INT64_MIN / 2), to = end.value_or(INT64_MAX / 2);
            for (const Resource &res : state->resources)
                if (overlaps(res, from, to))
                    events.push_back(res.event);
            std::vector<std::string> warnings;
            std::lock_guard lock(libraryLock());
            ics = larkspur::ics::writeIcs(events, warnings);
        }
        body = std::make_shared<const std::string>(withRefresh(ics, call.settings.refreshMinutes));
        call.feeds.put(key, state->revision, body);
    }
    r.headers.emplace_back("Content-Type", "text/calendar; charset=utf-8");
    r.sharedBody = std::move(body);
    return r;
}

Response eventFile(const Call &call)
{
    const auto state = call.snapshot.state(*call.target.calendar);
    const Resource *res = state->find(call.target.resource);
    if (!res)
        return textResponse(404, "Not found.\n");
    Response r;
    r.headers = {{"ETag", res->etag}, {"Cache-Control", "private, no-cache"}};
    if (const std::string *inm = call.request.header("if-none-match"); inm && etagMatches(*inm, res->etag)) {
        r.status = 304;
        return r;
    }
    r.headers.emplace_back("Content-Type", "text/calendar; charset=utf-8; component=VEVENT");
    r.body = res->text;
    return r;
}

} // namespace

Response handleGet(const Call &call)
{
    switch (call.target.place) {
    case Place::Feed:
    case Place::Calendar:
        return calendarFile(call);
    case Place::Event:
        return eventFile(call);
    default: {
        Response r = textResponse(405, "This is a collection: ask with PROPFIND.\n");
        r.headers.emplace_back("Allow", "OPTIONS, PROPFIND, REPORT");
        return r;
    }
    }
}

} // namespace dav
