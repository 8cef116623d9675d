#include "dav/Access.h"

#include "dav/Http.h"

namespace dav {

namespace {

constexpr std::size_t MaxPath = 2048;

std::string_view segmentOf(CalendarKind kind)
{
    return kind == CalendarKind::Shared ? "larkspur-calendar" : "calendar";
}

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size() || (n == 1 && (c < 0x20 || c == 0x7f)))
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

// "<upper-case hex>.ics": the only resource names there are.
bool resourceName(std::string_view name)
{
    if (name.size() < 5 || name.size() > 80 || name.substr(name.size() - 4) != ".ics")
        return false;
    for (char c : name.substr(0, name.size() - 4))
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

const Calendar *calendarNamed(const std::vector<Calendar> &calendars, std::string_view segment)
{
    for (const Calendar &c : calendars)
        if (segmentOf(c.kind) == segment)
            return &c;
    return nullptr;
}

} // namespace

std::optional<std::vector<std::string>> splitPath(std::string_view raw)
{
    if (raw.empty() || raw.front() != '/' || raw.size() > MaxPath)
        return std::nullopt;
    std::vector<std::string> segments;
    segments.reserve(5);   // the most a path that names anything has
    std::string_view rest = raw.substr(1);
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view seg = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        // An empty segment is only allowed as the trailing slash.
        if (seg.empty())
            return std::nullopt;
        std::optional<std::string> decoded = percentDecode(seg);
        if (!decoded || decoded->empty() || *decoded == "." || *decoded == ".."
            || decoded->find_first_of(std::string_view("/\\\0", 3)) != std::string::npos || !validUtf8(*decoded))
            return std::nullopt;
        segments.push_back(std::move(*decoded));
    }
    return segments;
}

std::optional<Target> resolve(const std::vector<std::string> &s, const Account &account,
                              const std::vector<Calendar> &calendars)
{
    Target t;
    const std::size_t n = s.size();
    if (n == 0 || (n == 1 && s[0] == "dav")) {
        t.place = Place::Root;
        t.href = n == 0 ? "/" : "/dav/";
        return t;
    }
    if (n == 2 && s[0] == ".well-known" && s[1] == "caldav") {
        t.place = Place::WellKnown;
        t.href = "/.well-known/caldav";
        return t;
    }
    if (n == 2 && s[0] == "feeds" && s[1] == "larkspur-calendar.ics") {
        const Calendar *shared = calendarNamed(calendars, segmentOf(CalendarKind::Shared));
        if (!shared)
            return std::nullopt;
        t.place = Place::Feed;
        t.calendar = shared;
        t.href = std::string(FeedPath);
        return t;
    }
    // Everything below names an account: only the account itself gets an answer.
    if (n < 3 || s[0] != "dav" || s[2] != account.name)
        return std::nullopt;
    if (s[1] == "principals" && n == 3) {
        t.place = Place::Principal;
        t.href = principalHref(account);
        return t;
    }
    if (s[1] != "calendars")
        return std::nullopt;
    if (n == 3) {
        t.place = Place::Home;
        t.href = homeHref(account);
        return t;
    }
    const Calendar *cal = calendarNamed(calendars, s[3]);
    if (!cal || n > 5)
        return std::nullopt;
    t.calendar = cal;
    if (n == 4) {
        t.place = Place::Calendar;
        t.href = calendarHref(account, *cal);
        return t;
    }
    if (!resourceName(s[4]))
        return std::nullopt;
    t.place = Place::Event;
    t.resource = s[4];
    t.href = eventHref(account, *cal, s[4]);
    return t;
}

std::optional<Target> resolveHref(std::string_view href, const Account &account,
                                  const std::vector<Calendar> &calendars)
{
    // An absolute URL is taken by its path: the host is the one the client talks to.
    if (const auto scheme = href.find("://"); scheme != std::string_view::npos && scheme < 8) {
        const auto path = href.find('/', scheme + 3);
        href = path == std::string_view::npos ? std::string_view("/") : href.substr(path);
    }
    if (href.find_first_of("?#") != std::string_view::npos)
        return std::nullopt;
    auto segments = splitPath(href);
    if (!segments)
        return std::nullopt;
    return resolve(*segments, account, calendars);
}

std::string principalHref(const Account &account)
{
    return "/dav/principals/" + percentEncode(account.name) + "/";
}

std::string homeHref(const Account &account)
{
    return "/dav/calendars/" + percentEncode(account.name) + "/";
}

std::string calendarHref(const Account &account, const Calendar &calendar)
{
    return homeHref(account) + std::string(segmentOf(calendar.kind)) + "/";
}

std::string eventHref(const Account &account, const Calendar &calendar, std::string_view resource)
{
    return calendarHref(account, calendar) + std::string(resource);
}

} // namespace dav
