#include "dav/TimeRange.h"

#include "DayNumber.h"
#include "IcalPtr.h"

#include <charconv>

namespace dav {

namespace {

// A DATE or a floating time is a local time; a UTC or zoned one says its instant.
std::int64_t instant(const icaltimetype &t)
{
    if (t.is_date || !t.zone)
        return larkspur::utcFromLocal(larkspur::CivilTime{t.year, t.month, t.day, t.is_date ? 0 : t.hour,
                                                          t.is_date ? 0 : t.minute, t.is_date ? 0 : t.second});
    return static_cast<std::int64_t>(icaltime_as_timet_with_zone(t, t.zone));
}

bool spanOverlaps(std::int64_t s, std::int64_t e, std::int64_t start, std::int64_t end)
{
    if (e <= s)
        return s >= start && s < end;
    return s < end && e > start;
}

bool digits(std::string_view text, std::size_t from, std::size_t count, int &out)
{
    auto res = std::from_chars(text.data() + from, text.data() + from + count, out);
    return res.ec == std::errc() && res.ptr == text.data() + from + count;
}

struct Search {
    std::int64_t start;
    std::int64_t end;
    bool found = false;
};

void noteInstance(icalcomponent *, struct icaltime_span *span, void *data)
{
    auto *search = static_cast<Search *>(data);
    if (spanOverlaps(span->start, span->end, search->start, search->end))
        search->found = true;
}

} // namespace

std::mutex &libraryLock()
{
    static std::mutex lock;
    return lock;
}

void computeSpans(Resource &resource)
{
    resource.spans.clear();
    resource.recurring = false;
    larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(resource.text);
    if (!cal)
        return;
    for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT); ev;
         ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
        if (icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY)
            || icalcomponent_get_first_property(ev, ICAL_RDATE_PROPERTY)) {
            resource.recurring = true;
            continue;
        }
        const icaltimetype start = icalcomponent_get_dtstart(ev);
        if (icaltime_is_null_time(start))
            continue;
        const icaltimetype end = icalcomponent_get_dtend(ev);
        const std::int64_t s = instant(start);
        if (!icaltime_is_null_time(end))
            resource.spans.emplace_back(s, instant(end));
        else
            resource.spans.emplace_back(s, start.is_date ? instant(icaltime_add(start, icaldurationtype_from_int(86400))) : s);
    }
}

bool overlaps(const Resource &resource, std::int64_t start, std::int64_t end)
{
    for (const auto &[s, e] : resource.spans)
        if (spanOverlaps(s, e, start, end))
            return true;
    if (!resource.recurring)
        return false;
    std::lock_guard lock(libraryLock());
    larkspur::ics::ComponentPtr cal = larkspur::ics::parseCalendar(resource.text);
    if (!cal)
        return false;
    icaltimezone *utc = icaltimezone_get_utc_timezone();
    Search search{start, end};
    for (icalcomponent *ev = icalcomponent_get_first_component(cal.get(), ICAL_VEVENT_COMPONENT);
         ev && !search.found; ev = icalcomponent_get_next_component(cal.get(), ICAL_VEVENT_COMPONENT)) {
        if (!icalcomponent_get_first_property(ev, ICAL_RRULE_PROPERTY)
            && !icalcomponent_get_first_property(ev, ICAL_RDATE_PROPERTY))
            continue;
        // The first instance may start before the range and still reach into it.
        icalcomponent_foreach_recurrence(ev, icaltime_from_timet_with_zone(static_cast<time_t>(start - 366 * 86400), 0, utc),
                                         icaltime_from_timet_with_zone(static_cast<time_t>(end), 0, utc), noteInstance,
                                         &search);
    }
    return search.found;
}

std::optional<std::int64_t> parseUtcTime(std::string_view text)
{
    int y, mo, d, h, mi, s;
    if (text.size() != 16 || text[8] != 'T' || text[15] != 'Z' || !digits(text, 0, 4, y) || !digits(text, 4, 2, mo)
        || !digits(text, 6, 2, d) || !digits(text, 9, 2, h) || !digits(text, 11, 2, mi) || !digits(text, 13, 2, s)
        || !larkspur::isValidDate(y, mo, d) || h > 23 || mi > 59 || s > 60)
        return std::nullopt;
    return larkspur::daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

std::optional<std::int64_t> parseLocalDate(std::string_view text, int days)
{
    int y, mo, d;
    if (text.size() != 8 || !digits(text, 0, 4, y) || !digits(text, 4, 2, mo) || !digits(text, 6, 2, d)
        || !larkspur::isValidDate(y, mo, d))
        return std::nullopt;
    larkspur::CivilTime t{};
    t.year = y;
    t.month = mo;
    t.day = d;
    if (days != 0) {
        // Through the day count, so months and years roll over.
        const larkspur::CivilTime next = larkspur::fromDayNumber(larkspur::toDayNumber(t) + days);
        t = next;
    }
    return larkspur::utcFromLocal(t);
}

} // namespace dav
