// The text layer of iCalendar: content lines (unfolded, numbered, checked), the
// component tree they form, text escaping and line folding. No libical here: this is
// where a file's line numbers are known, so that every complaint can name its line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace larkspur::ics {

// A file that cannot be read as iCalendar. The message names the file and the line or UID.
class IcsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ContentLine {
    int lineNo = 0;       // physical line where the content line starts (from 1)
    std::string text;     // unfolded
};

struct Param {
    std::string name;                 // upper case
    std::vector<std::string> values;  // quotes removed
};

struct ParsedLine {
    std::string name;                 // upper case
    std::vector<Param> params;
    std::string value;                // raw (still escaped)
};

// Splits and unfolds the data (a UTF-8 BOM, CRLF/LF/CR line ends and folding are
// handled). Empty lines are dropped; those inside a component are reported in
// `warnings`. Throws IcsError("<file>:<line>: ...") for invalid UTF-8 or a content line
// that does not have the form NAME *(;PARAM=VALUE) : VALUE.
std::vector<ContentLine> contentLines(std::string_view data, const std::string &fileName,
                                      std::vector<std::string> &warnings);

// Splits one content line; false when it is malformed (`why` says how).
bool parseContentLine(std::string_view line, ParsedLine &out, std::string &why);

// A component of the file: lines [first, last] of the content-line list, its name
// (upper case) and its direct subcomponents.
struct Component {
    std::string name;
    std::size_t first = 0;
    std::size_t last = 0;
    std::vector<Component> children;
};

// The VCALENDAR objects of the file, in order. Throws IcsError for unbalanced
// BEGIN/END, content outside a VCALENDAR or a file with no VCALENDAR at all.
std::vector<Component> componentTree(const std::vector<ContentLine> &lines, const std::string &fileName);

// The component's lines joined with CRLF (and ending with one).
std::string componentText(const std::vector<ContentLine> &lines, const Component &c);

// Values of the named parameter over all lines of the component.
std::vector<std::string> parameterValues(const std::vector<ContentLine> &lines, const Component &c,
                                         std::string_view paramName);

// TEXT value escaping (backslash, semicolon, comma, newline).
std::string escapeText(std::string_view text);
std::string unescapeText(std::string_view text);

// One content line folded at 75 octets (never inside a UTF-8 sequence), CRLF-terminated.
std::string foldLine(std::string_view line);
// Unfolds a CRLF or LF text into its content lines (no checks).
std::vector<std::string> unfold(std::string_view text);

std::string upper(std::string_view s);

} // namespace larkspur::ics
