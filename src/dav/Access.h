// The one place that decides what a request may read.
//
// Paths are checked as sent before anything else: no dot segments, no encoded
// separators ("%2F", "%5C") or NULs, no empty segments, valid UTF-8 after decoding. A
// path that passes names one target; the target exists for the account only when the
// account may read it: its own principal, home and calendars, and the shared calendar
// (under its home and as the feed). Every other path, someone else's calendar
// included, is the same "not found", whether it exists or not.
//
//   /                                   root (current-user-principal)
//   /.well-known/caldav                 redirects to the principal
//   /feeds/larkspur-calendar.ics        the shared calendar as one file
//   /dav/principals/NAME/               the account's principal
//   /dav/calendars/NAME/                its calendar home
//   /dav/calendars/NAME/larkspur-calendar/   the shared calendar
//   /dav/calendars/NAME/calendar/            its own "Calendar"
//   /dav/calendars/NAME/CAL/ENTRYID.ics      one event resource
#pragma once

#include "dav/CalendarSource.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dav {

enum class Place { Root, WellKnown, Feed, Principal, Home, Calendar, Event };

struct Target {
    Place place = Place::Root;
    const Calendar *calendar = nullptr;  // one of the calendars given to resolve()
    std::string resource;   // Event: the resource name
    std::string href;       // the canonical path
};

// The decoded segments of a path as sent; nullopt when it is no acceptable path.
std::optional<std::vector<std::string>> splitPath(std::string_view raw);

// What the path names for the account; nullopt when it names nothing it may read.
std::optional<Target> resolve(const std::vector<std::string> &segments, const Account &account,
                              const std::vector<Calendar> &calendars);

// The href of an absolute URL or path a client sent in a body (multiget), resolved the
// same way; nullopt when it is malformed or names nothing the account may read.
std::optional<Target> resolveHref(std::string_view href, const Account &account,
                                  const std::vector<Calendar> &calendars);

std::string principalHref(const Account &account);
std::string homeHref(const Account &account);
std::string calendarHref(const Account &account, const Calendar &calendar);
std::string eventHref(const Account &account, const Calendar &calendar, std::string_view resource);
inline constexpr std::string_view FeedPath = "/feeds/larkspur-calendar.ics";

} // namespace dav
