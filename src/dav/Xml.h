// XML of WebDAV requests and answers: pugixml with namespaces resolved by hand, and the
// multistatus writer.
//
// Request bodies with a document type declaration or an entity declaration are refused
// outright (pugixml never expands them, but nothing that asks for it is read at all).
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dav {

inline constexpr std::string_view NsDav = "DAV:";
inline constexpr std::string_view NsCalDav = "urn:ietf:params:xml:ns:caldav";
inline constexpr std::string_view NsCalendarServer = "http://calendarserver.org/ns/";

struct QName {
    std::string ns;
    std::string local;
    bool operator==(const QName &) const = default;
    bool is(std::string_view n, std::string_view l) const { return ns == n && local == l; }
};

// The parsed body; nullptr (with `why`) for no XML, broken XML, a DTD or an entity,
// or elements nested deeper than 64.
std::unique_ptr<pugi::xml_document> parseXml(std::string_view body, std::string &why);
QName qname(const pugi::xml_node &node);
// The first child element of that name; an empty node when there is none.
pugi::xml_node child(const pugi::xml_node &node, std::string_view ns, std::string_view local);
std::vector<pugi::xml_node> children(const pugi::xml_node &node, std::string_view ns, std::string_view local);
std::vector<pugi::xml_node> elements(const pugi::xml_node &node);
// The element's text, trimmed.
std::string text(const pugi::xml_node &node);

std::string escapeXml(std::string_view text);
// An empty element of that name, with the prefixes every answer declares (D, C, CS)
// or a declaration of its own.
std::string emptyElement(const QName &name);
std::string element(const QName &name, std::string_view innerXml);

// A 207 multistatus body, built response by response.
class Multistatus {
public:
    Multistatus();
    // A response with the properties found (name, inner XML) and those not found.
    void add(std::string_view href, const std::vector<std::pair<QName, std::string>> &found,
             const std::vector<QName> &missing);
    // A response that is only a status ("HTTP/1.1 404 Not Found").
    void addStatus(std::string_view href, unsigned status);
    // The body; with a token, a sync-token element ends it.
    std::string finish(std::string_view syncToken = {});

private:
    std::string m_out;
};

// "HTTP/1.1 404 Not Found".
std::string statusLine(unsigned status);

// A DAV error body (RFC 4918, 16) with one condition element (inner XML given).
std::string errorBody(std::string_view conditionXml);

} // namespace dav
