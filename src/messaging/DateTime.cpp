#include "DateTime.h"

#include <cmath>
#include <cstdio>

namespace messaging {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int &y, int &m, int &d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

const long long kEpoch = daysFromCivil(1899, 12, 30);

int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0))
        return 29;
    return days[m - 1];
}

} // namespace

bool isValid(const LocalDateTime &dt)
{
    return dt.year >= 1 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
           dt.day <= daysInMonth(dt.year, dt.month) && dt.hour >= 0 && dt.hour <= 23 && dt.minute >= 0 &&
           dt.minute <= 59 && dt.second >= 0 && dt.second <= 59;
}

double toDayNumber(const LocalDateTime &dt)
{
    long long days = daysFromCivil(dt.year, static_cast<unsigned>(dt.month), static_cast<unsigned>(dt.day)) - kEpoch;
    double seconds = dt.hour * 3600.0 + dt.minute * 60.0 + dt.second;
    return static_cast<double>(days) + seconds / 86400.0;
}

LocalDateTime fromDayNumber(double dayNumber)
{
    long long totalSeconds = std::llround(dayNumber * 86400.0);
    long long days = totalSeconds >= 0 ? totalSeconds / 86400 : -((-totalSeconds + 86399) / 86400);
    long long rest = totalSeconds - days * 86400;
    LocalDateTime dt;
    civilFromDays(days + kEpoch, dt.year, dt.month, dt.day);
    dt.hour = static_cast<int>(rest / 3600);
    dt.minute = static_cast<int>(rest % 3600 / 60);
    dt.second = static_cast<int>(rest % 60);
    return dt;
}

std::string toIsoText(double dayNumber, bool dateOnly)
{
    LocalDateTime dt = fromDayNumber(dayNumber);
    char buf[48];
    if (dateOnly)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", dt.year, dt.month, dt.day);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", dt.year, dt.month, dt.day, dt.hour,
                      dt.minute, dt.second);
    return buf;
}

std::optional<LocalDateTime> parseIsoText(std::string_view text)
{
    auto digits = [&](std::size_t pos, std::size_t count, int &out) {
        if (pos + count > text.size())
            return false;
        out = 0;
        for (std::size_t i = pos; i < pos + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    LocalDateTime dt;
    if (!digits(0, 4, dt.year) || text.size() < 10 || text[4] != '-' || !digits(5, 2, dt.month) || text[7] != '-' ||
        !digits(8, 2, dt.day))
        return std::nullopt;
    dt.hour = dt.minute = dt.second = 0;
    if (text.size() > 10) {
        if ((text[10] != 'T' && text[10] != ' ') || text.size() < 16 || !digits(11, 2, dt.hour) || text[13] != ':' ||
            !digits(14, 2, dt.minute))
            return std::nullopt;
        if (text.size() > 16) {
            if (text.size() != 19 || text[16] != ':' || !digits(17, 2, dt.second))
                return std::nullopt;
        }
    }
    if (!isValid(dt))
        return std::nullopt;
    return dt;
}

std::optional<double> parseIsoDayNumber(std::string_view text)
{
    auto dt = parseIsoText(text);
    if (!dt)
        return std::nullopt;
    return toDayNumber(*dt);
}

} // namespace messaging
