// What the iCalendar tests and the tool's iCalendar tests share: the sample calendars
// and the check of an exported file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace icstest {

std::string readFile(const std::filesystem::path &path);

// Checks what a calendar client needs of an exported file: valid RFC 5545 for libical,
// CRLF line ends, folding at 75 octets, a VTIMEZONE for every TZID used.
void expectValidExport(const std::string &text);

// The UIDs of a calendar's events in file order; with `masters`, of those without a
// RECURRENCE-ID only.
std::vector<std::string> eventUids(const std::string &text, bool masters = false);

// The sample calendars: the copy in the repository, else the shared folder.
std::filesystem::path sampleDir();
std::filesystem::path sample(const std::string &name);

} // namespace icstest
