// Day numbers (the store's local date-times, see messaging/DateTime.h) and the UTC
// instants of iCalendar: conversions through the C library, so TZ is honoured.
#pragma once

#include "messaging/DateTime.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

// A broken-down date-time (local unless said otherwise).
using CivilTime = messaging::LocalDateTime;

// Days from 1970-01-01 to that date (proleptic Gregorian).
std::int64_t daysFromCivil(int year, int month, int day);
bool isValidDate(int year, int month, int day);

using messaging::fromDayNumber; // rounded to the nearest second
using messaging::toDayNumber;

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS" (a space may stand for the T).
// std::nullopt for anything else, out-of-range fields included.
std::optional<CivilTime> parseIso(std::string_view text);
// "YYYY-MM-DDTHH:MM:SS".
std::string formatIso(const CivilTime &t);

// The local date-time of a UTC instant, and back (mktime decides daylight saving time).
CivilTime localFromUtc(std::int64_t unixSeconds);
std::int64_t utcFromLocal(const CivilTime &local);
CivilTime utcFieldsFromUnix(std::int64_t unixSeconds);

} // namespace larkspur
