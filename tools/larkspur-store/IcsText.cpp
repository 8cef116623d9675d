#include "IcsText.h"

#include <algorithm>

namespace larkspur::ics {

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when invalid.
std::size_t utf8Length(std::string_view s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned int min = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    unsigned int cp = c & (0xFFu >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
        const auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8Length(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

std::string quoted(std::string_view s)
{
    std::string shown(s.substr(0, 60));
    if (s.size() > 60)
        shown += "...";
    return "\"" + shown + "\"";
}

} // namespace

std::string upper(std::string_view s)
{
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return r;
}

bool parseContentLine(std::string_view line, ParsedLine &out, std::string &why)
{
    std::size_t i = 0;
    while (i < line.size() && isNameChar(line[i]))
        ++i;
    if (i == 0) {
        why = "no property name";
        return false;
    }
    out = ParsedLine{};
    out.name = upper(line.substr(0, i));
    while (i < line.size() && line[i] == ';') {
        ++i;
        const std::size_t start = i;
        while (i < line.size() && isNameChar(line[i]))
            ++i;
        if (i == start) {
            why = "empty parameter name";
            return false;
        }
        Param p;
        p.name = upper(line.substr(start, i - start));
        if (i >= line.size() || line[i] != '=') {
            why = "parameter " + p.name + " has no '='";
            return false;
        }
        ++i;
        for (;;) {
            std::string value;
            if (i < line.size() && line[i] == '"') {
                const std::size_t close = line.find('"', i + 1);
                if (close == std::string_view::npos) {
                    why = "unterminated quoted parameter value";
                    return false;
                }
                value = std::string(line.substr(i + 1, close - i - 1));
                i = close + 1;
            } else {
                const std::size_t start2 = i;
                while (i < line.size() && line[i] != ';' && line[i] != ':' && line[i] != ','
                       && line[i] != '"')
                    ++i;
                value = std::string(line.substr(start2, i - start2));
            }
            p.values.push_back(std::move(value));
            if (i < line.size() && line[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        out.params.push_back(std::move(p));
    }
    if (i >= line.size() || line[i] != ':') {
        why = "no ':' after the property name and parameters";
        return false;
    }
    out.value = std::string(line.substr(i + 1));
    return true;
}

std::vector<ContentLine> contentLines(std::string_view data, const std::string &fileName,
                                      std::vector<std::string> &warnings)
{
    if (data.substr(0, 3) == "\xEF\xBB\xBF")
        data.remove_prefix(3);
    std::vector<ContentLine> lines;
    int lineNo = 0;
    int depth = 0;
    std::size_t pos = 0;
    auto finish = [&](ContentLine &cl) {
        if (cl.text.empty())
            return;
        // Checked after unfolding: some writers fold inside a UTF-8 sequence.
        if (!validUtf8(cl.text))
            throw IcsError(fileName + ":" + std::to_string(cl.lineNo) + ": the text is not valid UTF-8");
        ParsedLine pl;
        std::string why;
        if (!parseContentLine(cl.text, pl, why) && lines.empty())
            throw IcsError(fileName + ": not an iCalendar file (line " + std::to_string(cl.lineNo)
                           + " is not BEGIN:VCALENDAR)");
        if (!parseContentLine(cl.text, pl, why))
            throw IcsError(fileName + ":" + std::to_string(cl.lineNo) + ": malformed content line ("
                           + why + "): " + quoted(cl.text));
        if (pl.name == "BEGIN" && ++depth > kMaxNesting)
            throw IcsError(fileName + ":" + std::to_string(cl.lineNo) + ": components nested more than "
                           + std::to_string(kMaxNesting) + " deep");
        if (pl.name == "END" && depth > 0)
            --depth;
        lines.push_back(std::move(cl));
    };
    ContentLine current;
    bool haveCurrent = false;
    while (pos < data.size()) {
        std::size_t end = data.find_first_of("\r\n", pos);
        std::string_view physical = data.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (end == std::string_view::npos)
            pos = data.size();
        else if (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n')
            pos = end + 2;
        else
            pos = end + 1;
        ++lineNo;
        if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t')) {
            if (!haveCurrent)
                throw IcsError(fileName + ":" + std::to_string(lineNo)
                               + ": a continuation line with no content line before it");
            current.text.append(physical.substr(1));
            continue;
        }
        if (haveCurrent)
            finish(current);
        haveCurrent = false;
        if (physical.empty()) {
            if (depth > 0)
                warnings.push_back(fileName + ":" + std::to_string(lineNo) + ": empty line ignored");
            continue;
        }
        current = ContentLine{lineNo, std::string(physical)};
        haveCurrent = true;
    }
    if (haveCurrent)
        finish(current);
    return lines;
}

std::vector<Component> componentTree(const std::vector<ContentLine> &lines, const std::string &fileName)
{
    std::vector<Component> top;
    std::vector<Component> stack;
    auto where = [&](std::size_t i) { return fileName + ":" + std::to_string(lines[i].lineNo) + ": "; };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ParsedLine pl;
        std::string why;
        parseContentLine(lines[i].text, pl, why);
        if (pl.name == "BEGIN") {
            Component c;
            c.name = upper(pl.value);
            c.first = i;
            if (c.name.empty())
                throw IcsError(where(i) + "BEGIN without a component name");
            if (stack.empty() && c.name != "VCALENDAR")
                throw IcsError(where(i) + "BEGIN:" + c.name + " outside a VCALENDAR");
            stack.push_back(std::move(c));
        } else if (pl.name == "END") {
            if (stack.empty())
                throw IcsError(where(i) + "END:" + pl.value + " without a matching BEGIN");
            if (upper(pl.value) != stack.back().name)
                throw IcsError(where(i) + "END:" + pl.value + " does not close BEGIN:" + stack.back().name
                               + " of line " + std::to_string(lines[stack.back().first].lineNo));
            Component done = std::move(stack.back());
            stack.pop_back();
            done.last = i;
            if (stack.empty())
                top.push_back(std::move(done));
            else
                stack.back().children.push_back(std::move(done));
        } else if (stack.empty()) {
            if (top.empty() && i == 0)
                throw IcsError(fileName + ": not an iCalendar file (line " + std::to_string(lines[i].lineNo)
                               + " is not BEGIN:VCALENDAR)");
            throw IcsError(where(i) + "content outside a VCALENDAR: " + quoted(lines[i].text));
        }
    }
    if (!stack.empty())
        throw IcsError(fileName + ":" + std::to_string(lines[stack.front().first].lineNo) + ": BEGIN:"
                       + stack.back().name + " is never closed");
    if (top.empty())
        throw IcsError(fileName + ": not an iCalendar file (no BEGIN:VCALENDAR)");
    return top;
}

std::string componentText(const std::vector<ContentLine> &lines, const Component &c)
{
    std::string text;
    for (std::size_t i = c.first; i <= c.last; ++i) {
        text += lines[i].text;
        text += "\r\n";
    }
    return text;
}

std::vector<std::pair<std::size_t, ParsedLine>> ownProperties(const std::vector<ContentLine> &lines,
                                                             const Component &c)
{
    std::vector<std::pair<std::size_t, ParsedLine>> found;
    int depth = 0;
    for (std::size_t i = c.first + 1; i < c.last; ++i) {
        ParsedLine pl;
        std::string why;
        if (!parseContentLine(lines[i].text, pl, why))
            continue;
        if (pl.name == "BEGIN")
            ++depth;
        else if (pl.name == "END")
            --depth;
        else if (depth == 0)
            found.emplace_back(i, std::move(pl));
    }
    return found;
}

std::vector<std::string> parameterValues(const std::vector<ContentLine> &lines, const Component &c,
                                         std::string_view paramName)
{
    std::vector<std::string> values;
    for (std::size_t i = c.first; i <= c.last; ++i) {
        ParsedLine pl;
        std::string why;
        if (!parseContentLine(lines[i].text, pl, why))
            continue;
        for (const Param &p : pl.params)
            if (p.name == paramName)
                values.insert(values.end(), p.values.begin(), p.values.end());
    }
    return values;
}

std::string escapeText(std::string_view text, std::string *breaks)
{
    std::string r;
    r.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': r += "\\\\"; break;
        case ';': r += "\\;"; break;
        case ',': r += "\\,"; break;
        case '\r':
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            r += "\\n";
            if (breaks)
                *breaks += text[i] == '\n' ? 'C' : 'R';
            break;
        case '\n':
            r += "\\n";
            if (breaks)
                *breaks += 'L';
            break;
        default:
            if ((static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) || c == '\t')
                r += c;
        }
    }
    return r;
}

std::string restoreBreaks(std::string text, std::string_view breaks)
{
    if (breaks.find_first_not_of("LCR") != std::string_view::npos
        || static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) != breaks.size())
        return text;
    std::string r;
    r.reserve(text.size() + breaks.size());
    std::size_t k = 0;
    for (const char c : text) {
        if (c != '\n') {
            r += c;
            continue;
        }
        const char kind = breaks[k++];
        r += kind == 'L' ? "\n" : kind == 'C' ? "\r\n" : "\r";
    }
    return r;
}

std::vector<std::string_view> splitList(std::string_view value)
{
    std::vector<std::string_view> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\')
            ++i;
        else if (value[i] == ',') {
            items.push_back(value.substr(start, i - start));
            start = i + 1;
        }
    }
    items.push_back(value.substr(start));
    return items;
}

std::string unescapeText(std::string_view text)
{
    std::string r;
    r.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char n = text[++i];
            r += (n == 'n' || n == 'N') ? '\n' : n;
        } else {
            r += text[i];
        }
    }
    return r;
}

std::string foldLine(std::string_view line)
{
    std::string out;
    std::size_t lineOctets = 0;
    std::size_t limit = 75;
    for (std::size_t i = 0; i < line.size();) {
        std::size_t n = utf8Length(line, i);
        if (n == 0)
            n = 1;
        if (lineOctets + n > limit) {
            out += "\r\n ";
            lineOctets = 1;
        }
        out.append(line.substr(i, n));
        lineOctets += n;
        i += n;
    }
    out += "\r\n";
    return out;
}

std::vector<std::string> unfold(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string_view physical = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        if (!physical.empty() && physical.back() == '\r')
            physical.remove_suffix(1);
        if (!physical.empty() && (physical[0] == ' ' || physical[0] == '\t') && !lines.empty())
            lines.back().append(physical.substr(1));
        else if (!physical.empty())
            lines.emplace_back(physical);
    }
    return lines;
}

} // namespace larkspur::ics
