// The method handlers of the calendar server, one per method, and what they share.
// The server has authenticated the account and resolved the target (Access.h) before
// any of them runs; they only read, through the request's one snapshot.
#pragma once

#include "dav/Access.h"
#include "dav/CalendarSource.h"
#include "dav/Http.h"
#include "dav/Xml.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dav {

struct Settings {
    unsigned refreshMinutes = 60;   // REFRESH-INTERVAL and X-PUBLISHED-TTL of the feed
};

// Feed bodies as served (with the refresh lines), kept per calendar and window while
// the revision stays.
class FeedCache {
public:
    struct Entry {
        std::string key;
        std::string revision;
        std::shared_ptr<const std::string> body;
    };
    std::shared_ptr<const std::string> find(const std::string &key, const std::string &revision);
    void put(const std::string &key, const std::string &revision, std::shared_ptr<const std::string> body);

private:
    static constexpr std::size_t Kept = 8;
    std::mutex m_lock;
    std::vector<Entry> m_entries;   // most recent first
};

struct Call {
    const Request &request;
    Snapshot &snapshot;
    const Account &account;
    const std::vector<Calendar> &calendars;
    const Target &target;
    const Settings &settings;
    FeedCache &feeds;
};

Response handleOptions(const Call &call);
Response handleGet(const Call &call);       // GET and HEAD
Response handlePropfind(const Call &call);
Response handleReport(const Call &call);
Response handleRefused(const Call &call);   // every write method

// Shared by the handlers.
Response textResponse(unsigned status, std::string text);
Response xmlResponse(unsigned status, std::string xml);
// 400 for a body that is no acceptable XML.
Response badXml(const std::string &why);
inline constexpr const char *AllowedMethods = "OPTIONS, GET, HEAD, PROPFIND, REPORT";

// The properties of a target (and of one of its resources) as PROPFIND and REPORT
// answer them: requested names, or every property for allprop (empty list).
void addProperties(Multistatus &out, const Call &call, const Target &target, const Resource *resource,
                   const std::vector<QName> &names, std::string_view revision);
// The property names a prop element asks for.
std::vector<QName> requestedNames(const pugi::xml_node &prop);

} // namespace dav
