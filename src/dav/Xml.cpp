#include "dav/Xml.h"

#include <algorithm>
#include <cctype>

namespace dav {

namespace {

constexpr int MaxDepth = 64;

std::string prefixOf(std::string_view ns)
{
    if (ns == NsDav)
        return "D";
    if (ns == NsCalDav)
        return "C";
    if (ns == NsCalendarServer)
        return "CS";
    return {};
}

bool containsDeclaration(std::string_view body)
{
    // Case does not matter to this check, so "<!doctype" is caught too.
    std::string lowered(body);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered.find("<!doctype") != std::string::npos || lowered.find("<!entity") != std::string::npos;
}

bool tooDeep(const pugi::xml_node &root)
{
    struct Walker : pugi::xml_tree_walker {
        bool deep = false;
        bool for_each(pugi::xml_node &) override
        {
            if (depth() >= MaxDepth)
                deep = true;
            return !deep;
        }
    } walker;
    const_cast<pugi::xml_node &>(root).traverse(walker);
    return walker.deep;
}

} // namespace

std::unique_ptr<pugi::xml_document> parseXml(std::string_view body, std::string &why)
{
    if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        why = "the body is empty";
        return nullptr;
    }
    if (containsDeclaration(body)) {
        why = "document type and entity declarations are not accepted";
        return nullptr;
    }
    auto doc = std::make_unique<pugi::xml_document>();
    const unsigned options = pugi::parse_default | pugi::parse_doctype;
    const pugi::xml_parse_result result = doc->load_buffer(body.data(), body.size(), options, pugi::encoding_utf8);
    if (!result) {
        why = std::string("the body is not well-formed XML: ") + result.description();
        return nullptr;
    }
    for (pugi::xml_node n = doc->first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_doctype) {
            why = "document type declarations are not accepted";
            return nullptr;
        }
    if (!doc->document_element() || tooDeep(doc->document_element())) {
        why = "the body has no element, or elements nested too deep";
        return nullptr;
    }
    return doc;
}

QName qname(const pugi::xml_node &node)
{
    const std::string_view name(node.name());
    const auto colon = name.find(':');
    const std::string prefix(colon == std::string_view::npos ? std::string_view() : name.substr(0, colon));
    const std::string local(colon == std::string_view::npos ? name : name.substr(colon + 1));
    const std::string attr = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent())
        if (pugi::xml_attribute a = n.attribute(attr.c_str()))
            return QName{a.value(), local};
    return QName{std::string(), local};
}

pugi::xml_node child(const pugi::xml_node &node, std::string_view ns, std::string_view local)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && qname(c).is(ns, local))
            return c;
    return {};
}

std::vector<pugi::xml_node> children(const pugi::xml_node &node, std::string_view ns, std::string_view local)
{
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && qname(c).is(ns, local))
            out.push_back(c);
    return out;
}

std::vector<pugi::xml_node> elements(const pugi::xml_node &node)
{
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            out.push_back(c);
    return out;
}

std::string text(const pugi::xml_node &node)
{
    std::string t = node.text().get();
    const auto first = t.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = t.find_last_not_of(" \t\r\n");
    return t.substr(first, last - first + 1);
}

std::string escapeXml(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\r': out += "&#13;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string emptyElement(const QName &name)
{
    return element(name, {});
}

std::string element(const QName &name, std::string_view innerXml)
{
    const std::string prefix = prefixOf(name.ns);
    std::string open, close;
    if (!prefix.empty()) {
        open = prefix + ":" + name.local;
        close = open;
    } else {
        open = "X:" + name.local + " xmlns:X=\"" + escapeXml(name.ns) + "\"";
        close = "X:" + name.local;
    }
    if (innerXml.empty())
        return "<" + open + "/>";
    return "<" + open + ">" + std::string(innerXml) + "</" + close + ">";
}

std::string statusLine(unsigned status)
{
    switch (status) {
    case 200: return "HTTP/1.1 200 OK";
    case 403: return "HTTP/1.1 403 Forbidden";
    case 404: return "HTTP/1.1 404 Not Found";
    default: return "HTTP/1.1 " + std::to_string(status) + " Status";
    }
}

Multistatus::Multistatus()
{
    m_out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:multistatus xmlns:D=\"DAV:\" "
            "xmlns:C=\"urn:ietf:params:xml:ns:caldav\" xmlns:CS=\"http://calendarserver.org/ns/\">";
}

void Multistatus::add(std::string_view href, const std::vector<std::pair<QName, std::string>> &found,
                      const std::vector<QName> &missing)
{
    m_out += "<D:response><D:href>";
    m_out += escapeXml(href);
    m_out += "</D:href>";
    if (!found.empty()) {
        m_out += "<D:propstat><D:prop>";
        for (const auto &[name, value] : found)
            m_out += element(name, value);
        m_out += "</D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>";
    }
    if (!missing.empty()) {
        m_out += "<D:propstat><D:prop>";
        for (const QName &name : missing)
            m_out += emptyElement(name);
        m_out += "</D:prop><D:status>HTTP/1.1 404 Not Found</D:status></D:propstat>";
    }
    m_out += "</D:response>\n";
}

void Multistatus::addStatus(std::string_view href, unsigned status)
{
    m_out += "<D:response><D:href>";
    m_out += escapeXml(href);
    m_out += "</D:href><D:status>" + statusLine(status) + "</D:status></D:response>\n";
}

std::string Multistatus::finish(std::string_view syncToken)
{
    if (!syncToken.empty())
        m_out += "<D:sync-token>" + escapeXml(syncToken) + "</D:sync-token>";
    m_out += "</D:multistatus>\n";
    return std::move(m_out);
}

std::string errorBody(std::string_view conditionXml)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<D:error xmlns:D=\"DAV:\" "
           "xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
           + std::string(conditionXml) + "</D:error>\n";
}

} // namespace dav
