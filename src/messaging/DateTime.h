// Day numbers and local date-times.
//
// The store keeps a calendar item's times as day numbers: whole days since
// 30 December 1899 00:00, with the time of day as the fraction (9:00 is .375). These
// helpers convert between day numbers, a broken-down local date-time and ISO-8601 text
// ("YYYY-MM-DDTHH:MM:SS" or "YYYY-MM-DD"). Conversions round to the nearest second.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace messaging {

struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;

    bool operator==(const LocalDateTime &) const = default;
};

// True for a real calendar date and a time of day 00:00:00 to 23:59:59.
bool isValid(const LocalDateTime &dt);
double toDayNumber(const LocalDateTime &dt);
LocalDateTime fromDayNumber(double dayNumber);

// "YYYY-MM-DDTHH:MM:SS", or "YYYY-MM-DD" with dateOnly.
std::string toIsoText(double dayNumber, bool dateOnly = false);
// Reads "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS" (a space may stand for
// the T); nullopt for anything else or an impossible date.
std::optional<LocalDateTime> parseIsoText(std::string_view text);
std::optional<double> parseIsoDayNumber(std::string_view text);

} // namespace messaging
