// Day numbers: the store's date-time format, a count of days since 30 December 1899
// 00:00 with the time of day as the fraction (09:00 = .375). They hold local time of the
// workstation; these helpers convert between day numbers, calendar fields, ISO-8601
// text and UTC instants (the latter through the C library, so TZ is honoured).
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace larkspur {

struct CivilTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Days from 1970-01-01 to that date (proleptic Gregorian).
std::int64_t daysFromCivil(int year, int month, int day);
bool isValidDate(int year, int month, int day);

double toDayNumber(const CivilTime &t);
// Rounded to the nearest second.
CivilTime fromDayNumber(double dayNumber);

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
