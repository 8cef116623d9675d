// The WebDAV and CalDAV properties of the server's targets.
#include "dav/Handlers.h"
#include "dav/Tags.h"

namespace dav {

namespace {

const QName ResourceType{std::string(NsDav), "resourcetype"};
const QName DisplayName{std::string(NsDav), "displayname"};
const QName GetEtag{std::string(NsDav), "getetag"};
const QName GetContentType{std::string(NsDav), "getcontenttype"};
const QName GetContentLength{std::string(NsDav), "getcontentlength"};
const QName SyncToken{std::string(NsDav), "sync-token"};
const QName SupportedReportSet{std::string(NsDav), "supported-report-set"};
const QName CurrentUserPrincipal{std::string(NsDav), "current-user-principal"};
const QName CurrentUserPrivilegeSet{std::string(NsDav), "current-user-privilege-set"};
const QName PrincipalUrl{std::string(NsDav), "principal-URL"};
const QName Owner{std::string(NsDav), "owner"};
const QName GetCtag{std::string(NsCalendarServer), "getctag"};
const QName ComponentSet{std::string(NsCalDav), "supported-calendar-component-set"};
const QName HomeSet{std::string(NsCalDav), "calendar-home-set"};
const QName CalendarData{std::string(NsCalDav), "calendar-data"};

std::string href(const std::string &path)
{
    return "<D:href>" + escapeXml(path) + "</D:href>";
}

std::vector<QName> everyProperty(Place place)
{
    std::vector<QName> names{ResourceType, CurrentUserPrincipal, CurrentUserPrivilegeSet};
    switch (place) {
    case Place::Root:
        names.insert(names.end(), {DisplayName, HomeSet});
        break;
    case Place::Principal:
        names.insert(names.end(), {DisplayName, PrincipalUrl, HomeSet, Owner});
        break;
    case Place::Home:
        names.insert(names.end(), {DisplayName, Owner});
        break;
    case Place::Calendar:
        names.insert(names.end(), {DisplayName, GetCtag, SyncToken, SupportedReportSet, ComponentSet, Owner});
        break;
    case Place::Event:
        names.insert(names.end(), {GetEtag, GetContentType, GetContentLength, Owner});
        break;
    default:
        break;
    }
    return names;
}

// The value (inner XML) of one property, or nullopt when the target has none.
std::optional<std::string> value(const Call &call, const Target &t, const Resource *r, const QName &name,
                                 std::string_view revision)
{
    const bool personal = t.calendar && t.calendar->kind == CalendarKind::Personal;
    if (name == ResourceType) {
        switch (t.place) {
        case Place::Root:
        case Place::Home: return "<D:collection/>";
        case Place::Principal: return "<D:principal/>";
        case Place::Calendar: return "<D:collection/><C:calendar/>";
        case Place::Event: return "";
        default: return std::nullopt;
        }
    }
    if (name == CurrentUserPrincipal)
        return href(principalHref(call.account));
    if (name == CurrentUserPrivilegeSet)
        return "<D:privilege><D:read/></D:privilege><D:privilege><D:read-current-user-privilege-set/></D:privilege>";
    if (name == DisplayName) {
        switch (t.place) {
        case Place::Root: return "Larkspur";
        case Place::Principal:
        case Place::Home: return escapeXml(call.account.name);
        case Place::Calendar: return escapeXml(t.calendar->displayName);
        default: return std::nullopt;
        }
    }
    if (name == HomeSet && (t.place == Place::Root || t.place == Place::Principal || t.place == Place::Home))
        return href(homeHref(call.account));
    if (name == PrincipalUrl && t.place == Place::Principal)
        return href(principalHref(call.account));
    // The shared calendar belongs to no account a client can look up.
    if (name == Owner && (t.place == Place::Principal || t.place == Place::Home || personal))
        return href(principalHref(call.account));
    if (t.place == Place::Calendar) {
        if (name == GetCtag || name == SyncToken)
            return escapeXml(syncToken(*t.calendar, revision));
        if (name == SupportedReportSet)
            return "<D:supported-report><D:report><C:calendar-multiget/></D:report></D:supported-report>"
                   "<D:supported-report><D:report><C:calendar-query/></D:report></D:supported-report>"
                   "<D:supported-report><D:report><D:sync-collection/></D:report></D:supported-report>";
        if (name == ComponentSet)
            return "<C:comp name=\"VEVENT\"/>";
    }
    if (t.place == Place::Event && r) {
        if (name == GetEtag)
            return escapeXml(r->etag);
        if (name == GetContentType)
            return "text/calendar; charset=utf-8; component=VEVENT";
        if (name == GetContentLength)
            return std::to_string(r->text.size());
        if (name == CalendarData)
            return escapeXml(r->text);
    }
    return std::nullopt;
}

} // namespace

std::vector<QName> requestedNames(const pugi::xml_node &prop)
{
    std::vector<QName> names;
    for (const pugi::xml_node &n : elements(prop))
        names.push_back(qname(n));
    return names;
}

void addProperties(Multistatus &out, const Call &call, const Target &target, const Resource *resource,
                   const std::vector<QName> &names, std::string_view revision)
{
    const std::vector<QName> wanted = names.empty() ? everyProperty(target.place) : names;
    std::vector<std::pair<QName, std::string>> found;
    std::vector<QName> missing;
    for (const QName &name : wanted) {
        if (auto v = value(call, target, resource, name, revision))
            found.emplace_back(name, std::move(*v));
        else
            missing.push_back(name);
    }
    out.add(target.href, found, missing);
}

} // namespace dav
