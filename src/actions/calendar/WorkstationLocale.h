// The workstation's number format, for the day numbers of the calendar copy's stamp.
#pragma once

#include <locale>

namespace calendar {

// The classic C++ locale with the decimal separator of the workstation (LC_ALL,
// LC_NUMERIC, LANG, read the way Qt reads them), also where the C library has no such
// locale installed. A separator outside ASCII falls back to ".".
std::locale workstationLocale();

} // namespace calendar
