#include "dav/Tags.h"

#include <sodium.h>

#include <cstdio>
#include <ctime>

namespace dav {

namespace {

constexpr std::string_view TokenPrefix = "urn:larkspur:sync:";

std::string hexDigest(std::string_view data, std::size_t bytes)
{
    unsigned char out[32];
    crypto_generichash(out, bytes, reinterpret_cast<const unsigned char *>(data.data()), data.size(), nullptr, 0);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, out, bytes);
    return hex;
}

} // namespace

std::string resourceEtag(std::string_view text)
{
    return "\"" + hexDigest(text, 16) + "\"";
}

std::string feedEtag(const CalendarState &state, std::string_view window)
{
    if (window.empty())
        return "\"r" + state.revision + "\"";
    return "\"r" + state.revision + "-" + std::string(window) + "\"";
}

std::string syncToken(const Calendar &calendar, std::string_view revision)
{
    return std::string(TokenPrefix) + calendar.key + ":" + std::string(revision);
}

std::optional<std::string> revisionOfToken(const Calendar &calendar, std::string_view token)
{
    const std::string head = std::string(TokenPrefix) + calendar.key + ":";
    if (token.size() <= head.size() || token.substr(0, head.size()) != head)
        return std::nullopt;
    return std::string(token.substr(head.size()));
}

std::string httpDate(std::int64_t unixSeconds)
{
    // Most answers of a thread name the same date (a calendar's Last-Modified).
    thread_local std::int64_t lastSeconds = -1;
    thread_local std::string last;
    if (unixSeconds == lastSeconds)
        return last;
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    lastSeconds = unixSeconds;
    last = buf;
    return last;
}

std::optional<std::int64_t> parseHttpDate(std::string_view text)
{
    const std::string s(text.substr(0, 64));
    std::tm tm{};
    for (const char *format : {"%a, %d %b %Y %H:%M:%S GMT", "%A, %d-%b-%y %H:%M:%S GMT", "%a %b %d %H:%M:%S %Y"}) {
        tm = {};
        const char *end = strptime(s.c_str(), format, &tm);
        if (end && *end == '\0')
            return static_cast<std::int64_t>(timegm(&tm));
    }
    return std::nullopt;
}

bool etagMatches(std::string_view ifNoneMatch, std::string_view etag)
{
    auto bare = [](std::string_view t) {
        if (t.substr(0, 2) == "W/")
            t.remove_prefix(2);
        return t;
    };
    std::size_t pos = 0;
    while (pos < ifNoneMatch.size()) {
        std::size_t comma = ifNoneMatch.find(',', pos);
        if (comma == std::string_view::npos)
            comma = ifNoneMatch.size();
        std::string_view item = ifNoneMatch.substr(pos, comma - pos);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item == "*" || bare(item) == bare(etag))
            return true;
        pos = comma + 1;
    }
    return false;
}

} // namespace dav
