#include "ical/PrivateMask.h"

#include <algorithm>
#include <array>

namespace ical {

namespace {

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// Physical lines (CRLF, LF or a lone CR end one) joined into content lines: a line that
// begins with a space or a tab continues the one before.
std::vector<std::string> unfold(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view physical = text.substr(i, end - i);
        if (!physical.empty() && (physical.front() == ' ' || physical.front() == '\t') && !lines.empty())
            lines.back().append(physical.substr(1));
        else if (!physical.empty())
            lines.emplace_back(physical);
        i = end;
        if (i < text.size() && text[i] == '\r')
            ++i;
        if (i < text.size() && text[i] == '\n')
            ++i;
    }
    return lines;
}

// One content line, folded at 75 octets (never inside a UTF-8 sequence), CRLF-ended.
void appendFolded(std::string &out, std::string_view line)
{
    std::size_t limit = 75;
    while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        limit = 74; // the leading space counts
    }
    out.append(line);
    out += "\r\n";
}

// A content line split as NAME *(;PARAM=VALUE) : VALUE. `params` holds only the TZID and
// VALUE parameters, as written (";TZID=..."), the names in upper case.
struct Line {
    std::string name;
    std::string params;
    std::string_view value;
};

bool parseLine(std::string_view text, Line &out)
{
    std::size_t i = 0;
    while (i < text.size() && isNameChar(text[i]))
        ++i;
    if (i == 0)
        return false;
    out.name = upper(text.substr(0, i));
    out.params.clear();
    while (i < text.size() && text[i] == ';') {
        const std::size_t nameBegin = ++i;
        while (i < text.size() && isNameChar(text[i]))
            ++i;
        if (i == nameBegin || i >= text.size() || text[i] != '=')
            return false;
        const std::string paramName = upper(text.substr(nameBegin, i - nameBegin));
        const std::size_t valuesBegin = ++i;
        for (;;) {
            if (i < text.size() && text[i] == '"') {
                const std::size_t close = text.find('"', i + 1);
                if (close == std::string_view::npos)
                    return false;
                i = close + 1;
            } else {
                while (i < text.size() && text[i] != ';' && text[i] != ':' && text[i] != ',' && text[i] != '"')
                    ++i;
            }
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        if (i >= text.size() || (text[i] != ';' && text[i] != ':'))
            return false;
        if (paramName == "TZID" || paramName == "VALUE")
            out.params += ";" + paramName + "=" + std::string(text.substr(valuesBegin, i - valuesBegin));
    }
    if (i >= text.size() || text[i] != ':')
        return false;
    out.value = text.substr(i + 1);
    return true;
}

enum class Kind { Dropped, Calendar, Event, Zone, Observance };

struct Open {
    std::string name;
    Kind kind;
};

bool kept(Kind kind) { return kind == Kind::Event || kind == Kind::Zone || kind == Kind::Observance; }

template <std::size_t N>
bool listed(const std::array<std::string_view, N> &names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr std::array<std::string_view, 10> EventProperties = {
    "UID", "DTSTART", "DTEND", "DURATION", "RRULE", "EXRULE", "RDATE", "EXDATE", "RECURRENCE-ID", "CLASS"};
constexpr std::array<std::string_view, 1> ZoneProperties = {"TZID"};
constexpr std::array<std::string_view, 6> ObservanceProperties = {"DTSTART", "TZOFFSETFROM", "TZOFFSETTO",
                                                                  "RRULE",   "RDATE",        "TZNAME"};

bool allowed(Kind kind, std::string_view name)
{
    switch (kind) {
    case Kind::Event:
        return listed(EventProperties, name);
    case Kind::Zone:
        return listed(ZoneProperties, name);
    case Kind::Observance:
        return listed(ObservanceProperties, name);
    default:
        return false;
    }
}

// What a component opened inside the given ones is: events and time zones count only at
// the top (or in a VCALENDAR), observances only directly in a kept time zone.
Kind kindOf(const std::string &name, const std::vector<Open> &open)
{
    const bool top = std::all_of(open.begin(), open.end(), [](const Open &o) { return o.kind == Kind::Calendar; });
    if (name == "VCALENDAR" && open.empty())
        return Kind::Calendar;
    if (name == "VEVENT" && top)
        return Kind::Event;
    if (name == "VTIMEZONE" && top)
        return Kind::Zone;
    if ((name == "STANDARD" || name == "DAYLIGHT") && !open.empty() && open.back().kind == Kind::Zone)
        return Kind::Observance;
    return Kind::Dropped;
}

// A day number as the stamp writes it: digits, perhaps a minus sign in front and one
// decimal separator (whatever the workstation's locale uses) between digits.
bool isDayNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    bool separator = false;
    bool digitBefore = false;
    bool digitAfter = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            (separator ? digitAfter : digitBefore) = true;
        } else if (!separator && digitBefore && !isNameChar(c) && c != ' ' && c != ':') {
            separator = true;
        } else {
            return false;
        }
    }
    return digitBefore && (!separator || digitAfter);
}

} // namespace

std::string timeStructure(std::string_view source)
{
    std::string out;
    std::vector<Open> open;
    auto close = [&](std::size_t downTo) {
        while (open.size() > downTo) {
            if (kept(open.back().kind))
                appendFolded(out, "END:" + open.back().name);
            open.pop_back();
        }
    };
    for (const std::string &text : unfold(source)) {
        Line line;
        if (!parseLine(text, line))
            continue;
        if (line.name == "BEGIN") {
            const std::string name = upper(line.value);
            const Kind kind = kindOf(name, open);
            open.push_back({name, kind});
            if (kept(kind))
                appendFolded(out, "BEGIN:" + name);
        } else if (line.name == "END") {
            const std::string name = upper(line.value);
            const auto it = std::find_if(open.rbegin(), open.rend(), [&](const Open &o) { return o.name == name; });
            if (it != open.rend())
                close(static_cast<std::size_t>(open.rend() - it) - 1);
        } else if (!open.empty() && allowed(open.back().kind, line.name)) {
            appendFolded(out, line.name + line.params + ":" + std::string(line.value));
        }
    }
    close(0);
    return out;
}

std::string maskedSubject(std::string_view subject, const std::vector<std::string> &ownerTags)
{
    const std::string *best = nullptr;
    for (const std::string &tag : ownerTags) {
        const std::string prefix = tag + "- ";
        if (subject.substr(0, prefix.size()) == prefix && (!best || tag.size() > best->size()))
            best = &tag;
    }
    return best ? *best + "- " + std::string(PrivateText) : std::string(PrivateText);
}

std::string maskedStamp(std::string_view stamp, std::string_view detail, bool allDay)
{
    const std::size_t flagEnd = stamp.find(':');
    const std::string_view flag = stamp.substr(0, flagEnd);
    std::string_view rest = flagEnd == std::string_view::npos ? std::string_view() : stamp.substr(flagEnd + 1);

    std::string_view day;
    bool found = false;
    const std::string detailPart = std::string(detail) + ":";
    if (rest.substr(0, detailPart.size()) == detailPart) {
        const std::string_view after = rest.substr(detailPart.size());
        const std::string_view candidate = after.substr(0, after.find(':'));
        if (candidate.empty() || isDayNumber(candidate)) {
            day = candidate;
            found = true;
        }
    }
    // The detail changed since the stamp was written: the first part that reads as a day
    // number is taken.
    while (!found && !rest.empty()) {
        const std::size_t end = rest.find(':');
        const std::string_view part = rest.substr(0, end);
        if (isDayNumber(part)) {
            day = part;
            found = true;
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    std::string masked = flag == "Y" || flag == "N" ? std::string(flag) : std::string(allDay ? "Y" : "N");
    masked += "::";
    masked += day;
    masked += ':';
    masked += PrivateText;
    return masked;
}

} // namespace ical
