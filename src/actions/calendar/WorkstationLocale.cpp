#include "actions/calendar/WorkstationLocale.h"

#include <QLocale>

namespace calendar {

namespace {

class DecimalPoint : public std::numpunct<char> {
public:
    explicit DecimalPoint(char point) : m_point(point) {}

protected:
    char do_decimal_point() const override { return m_point; }

private:
    char m_point;
};

} // namespace

std::locale workstationLocale()
{
    // Qt knows every locale's separator; the C library only those installed here.
    const QString point = QLocale::system().decimalPoint();
    const char16_t first = point.isEmpty() ? u'.' : point.at(0).unicode();
    const char separator = first > 0x20 && first < 0x7f ? static_cast<char>(first) : '.';
    // The locale takes ownership of the facet.
    return std::locale(std::locale::classic(), new DecimalPoint(separator));
}

} // namespace calendar
