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

// Components may nest this deep (VCALENDAR, VEVENT, VALARM is 3); deeper nesting is
// refused before anything builds a tree of it.
inline constexpr int kMaxNesting = 32;

// Splits and unfolds the data (a UTF-8 BOM, CRLF/LF/CR line ends and folding are
// handled). Empty lines are dropped; those inside a component are reported in
// `warnings`. Throws IcsError("<file>:<line>: ...") for invalid UTF-8, a content line
// that does not have the form NAME *(;PARAM=VALUE) : VALUE, or a BEGIN nested deeper
// than kMaxNesting.
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

// The component's own properties (not those of its subcomponents, such as a VALARM's),
// parsed, with the index of their line, in order.
std::vector<std::pair<std::size_t, ParsedLine>> ownProperties(const std::vector<ContentLine> &lines,
                                                             const Component &c);

// Values of the named parameter over all lines of the component.
std::vector<std::string> parameterValues(const std::vector<ContentLine> &lines, const Component &c,
                                         std::string_view paramName);

// TEXT value escaping (backslash, semicolon, comma, newline). A line break (LF, CR LF or
// a lone CR) is written as \n; the other control characters, which a TEXT value cannot
// hold, are dropped (a tab stays). `breaks`, when given, receives one letter for each
// line break: L (LF), C (CR LF) or R (CR), so that a reader that knows it can restore
// them.
std::string escapeText(std::string_view text, std::string *breaks = nullptr);
std::string unescapeText(std::string_view text);
// Puts back the line breaks `breaks` (as escapeText gave them) into an unescaped text;
// the text stays as it is when they do not fit it.
std::string restoreBreaks(std::string text, std::string_view breaks);
// The items of a list value (CATEGORIES) split at the commas that are not escaped, each
// still escaped.
std::vector<std::string_view> splitList(std::string_view value);

// One content line folded at 75 octets (never inside a UTF-8 sequence), CRLF-terminated.
std::string foldLine(std::string_view line);
// Unfolds a CRLF or LF text into its content lines (no checks).
std::vector<std::string> unfold(std::string_view text);

std::string upper(std::string_view s);

} // namespace larkspur::ics
