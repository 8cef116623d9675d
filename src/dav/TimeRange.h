// When event resources happen, for time-range queries and windowed feeds.
//
// Times of the store are local times of this machine (TZ); a floating or all-day time
// is taken in that zone, a UTC or zoned time as what it says. Ranges are UTC instants,
// half open: [start, end).
#pragma once

#include "dav/CalendarSource.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

namespace dav {

// libical and the object model keep process-wide state: every use of either from the
// server's threads holds this lock.
std::mutex &libraryLock();

// Fills resource.spans and resource.recurring from resource.text (library lock held).
void computeSpans(Resource &resource);

// True when any instance of the resource overlaps the range (RFC 4791, 9.9). Takes the
// library lock itself for a recurring resource.
bool overlaps(const Resource &resource, std::int64_t start, std::int64_t end);

// "YYYYMMDDTHHMMSSZ" as UTC seconds; nullopt for anything else.
std::optional<std::int64_t> parseUtcTime(std::string_view text);
// "YYYYMMDD" as the UTC instant of that local midnight (or of the midnight `days`
// later); nullopt for anything else.
std::optional<std::int64_t> parseLocalDate(std::string_view text, int days = 0);

} // namespace dav
