// One calendar event as the store models it, between a VEVENT and a store item.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace larkspur::ics {

struct IcsEvent {
    std::string uid;                                   // empty: none (export derives one)
    int line = 0;                                      // line of its BEGIN:VEVENT (import)
    std::string summary;                               // SUMMARY  <-> Subject
    std::string description;                           // DESCRIPTION <-> Text
    std::optional<std::string> location;               // LOCATION
    std::optional<std::vector<std::string>> categories; // CATEGORIES, every value in order
    int sensitivity = 0;                               // CLASS
    std::optional<double> start;                       // local day numbers
    std::optional<double> end;
    bool allDay = false;                               // DTSTART;VALUE=DATE
    std::optional<std::string> stamp;                  // X-LARKSPUR-STAMP
    std::int64_t changedAt = 0;                        // last change in the store (UTC seconds):
                                                       // the DTSTAMP when the source has none
    // The original text: VTIMEZONEs the event uses, then its VEVENT(s) (the master and
    // the overridden instances sharing its UID). Empty for an item made in the store.
    std::string source;
};

struct IcsReadResult {
    std::vector<IcsEvent> events;
    std::map<std::string, int> skipped;   // other components by name, counted
    std::vector<std::string> warnings;    // "<file>:<line>: ..." lines
};

// CLASS value for a sensitivity and back (PUBLIC 0, PERSONAL 1, PRIVATE 2, CONFIDENTIAL 3;
// anything else reads as 0).
std::string classForSensitivity(int sensitivity);
int sensitivityForClass(const std::string &classValue);

} // namespace larkspur::ics
