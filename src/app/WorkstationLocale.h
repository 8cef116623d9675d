// The workstation's number format for the calendar copy's day numbers.
#pragma once

#include <locale>

namespace app {

// The classic C++ locale with the decimal separator of the workstation as Qt reads it
// (QLocale::system(): LC_ALL, LC_NUMERIC, LANG), also where the C library has no such
// locale installed. A separator outside ASCII falls back to ".".
std::locale workstationNumberLocale();

} // namespace app
