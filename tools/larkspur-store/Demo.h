// Demo data for a new store: realistic users and calendars, the same for the same seed
// and start date.
#pragma once

#include "ical/DayNumber.h"

#include <cstdint>
#include <filesystem>

namespace larkspur {

struct DemoOptions {
    int users = 12;
    int items = 20;
    std::uint32_t seed = 1;
    CivilTime from;     // the first day items fall on (items spread over five weeks)
};

// Adds the demo users (mail users with shared mailboxes and owner tags of two to five
// letters, two of which share their first four letters), a distribution list and a
// remote user, and fills each user's "Calendar": private items, items whose first
// category is "Holiday", items with "Holiday" as a later category, all-day items,
// items with and without a location.
void generateDemo(const std::filesystem::path &store, const DemoOptions &options);

// The Monday of the current week (local time).
CivilTime thisMonday();

} // namespace larkspur
