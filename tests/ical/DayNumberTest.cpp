// Day numbers against std::chrono's calendar (the ISO-8601 forms accepted are tested with
// the messaging library's text), and local time against UTC.
#include "ical/DayNumber.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <random>

using namespace larkspur;
namespace chr = std::chrono;

namespace {

double chronoDayNumber(int y, unsigned m, unsigned d, int hh, int mm, int ss)
{
    const auto days = (chr::sys_days{chr::year{y} / chr::month{m} / chr::day{d}}
                       - chr::sys_days{chr::year{1899} / chr::December / chr::day{30}})
                          .count();
    return static_cast<double>(days) + (hh * 3600 + mm * 60 + ss) / 86400.0;
}

} // namespace

TEST(DayNumber, AgreesWithChronoOnRandomDatesBothWays)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        const int y = 1600 + static_cast<int>(rng() % 700);
        const auto m = static_cast<unsigned>(1 + rng() % 12);
        const auto d = static_cast<unsigned>(1 + rng() % 28);
        const int hh = static_cast<int>(rng() % 24), mm = static_cast<int>(rng() % 60),
                  ss = static_cast<int>(rng() % 60);
        const CivilTime t{y, static_cast<int>(m), static_cast<int>(d), hh, mm, ss};
        const double expected = chronoDayNumber(y, m, d, hh, mm, ss);
        ASSERT_NEAR(toDayNumber(t), expected, 1e-9) << formatIso(t);
        const CivilTime back = fromDayNumber(expected);
        ASSERT_EQ(formatIso(back), formatIso(t));
    }
}

TEST(DayNumber, LocalAndUtcFollowTz)
{
    const char *old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "America/New_York", 1);
    // 2027-01-15 09:00 in New York is 14:00 UTC; in July (daylight time) it is 13:00.
    const std::int64_t winter = utcFromLocal({2027, 1, 15, 9, 0, 0});
    const std::int64_t summer = utcFromLocal({2027, 7, 15, 9, 0, 0});
    EXPECT_EQ(formatIso(utcFieldsFromUnix(winter)), "2027-01-15T14:00:00");
    EXPECT_EQ(formatIso(utcFieldsFromUnix(summer)), "2027-07-15T13:00:00");
    EXPECT_EQ(formatIso(localFromUtc(winter)), "2027-01-15T09:00:00");
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}
