#include "dav/Server.h"

#include <array>
#include <thread>

namespace dav {

namespace {

constexpr std::array<std::string_view, 5> ReadMethods{"OPTIONS", "GET", "HEAD", "PROPFIND", "REPORT"};
constexpr std::array<std::string_view, 12> WriteMethods{"PUT",  "DELETE", "MKCOL", "MKCALENDAR", "PROPPATCH", "MOVE",
                                                        "COPY", "LOCK",   "UNLOCK", "POST",     "PATCH",     "ACL"};

template <std::size_t N>
bool among(const std::array<std::string_view, N> &list, std::string_view method)
{
    for (std::string_view m : list)
        if (m == method)
            return true;
    return false;
}

Response unauthorized()
{
    Response r = textResponse(401, "Log in with your name as the address list shows it and your calendar password.\n");
    r.headers.emplace_back("WWW-Authenticate", "Basic realm=\"Larkspur Calendar\", charset=\"UTF-8\"");
    return r;
}

Response unavailable()
{
    Response r = textResponse(503, "The calendar store cannot be read just now.\n");
    r.headers.emplace_back("Retry-After", "10");
    return r;
}

} // namespace

Response textResponse(unsigned status, std::string text)
{
    Response r;
    r.status = status;
    r.body = std::move(text);
    r.headers.emplace_back("Content-Type", "text/plain; charset=utf-8");
    return r;
}

Response xmlResponse(unsigned status, std::string xml)
{
    Response r;
    r.status = status;
    r.body = std::move(xml);
    r.headers.emplace_back("Content-Type", "application/xml; charset=utf-8");
    return r;
}

Response badXml(const std::string &why)
{
    return textResponse(400, "The request body was not accepted: " + why + ".\n");
}

std::shared_ptr<const std::string> FeedCache::find(const std::string &key, const std::string &revision)
{
    std::lock_guard lock(m_lock);
    for (const Entry &e : m_entries)
        if (e.key == key && e.revision == revision)
            return e.body;
    return nullptr;
}

void FeedCache::put(const std::string &key, const std::string &revision, std::shared_ptr<const std::string> body)
{
    std::lock_guard lock(m_lock);
    std::erase_if(m_entries, [&](const Entry &e) { return e.key == key; });
    m_entries.insert(m_entries.begin(), Entry{key, revision, std::move(body)});
    if (m_entries.size() > Kept)
        m_entries.pop_back();
}

Server::Server(CalendarSource &source, Settings settings) : m_source(source), m_settings(settings) {}

Response Server::handle(const Request &request)
{
    const auto segments = splitPath(request.path);
    if (!segments)
        return textResponse(400, "This path is not accepted.\n");
    // First from what is kept in memory while the store is unchanged; anything not kept
    // sends the request to the store itself. Handlers only read, so starting again is safe.
    try {
        return answer(request, *segments, true);
    } catch (const SnapshotMissed &) {
        return answer(request, *segments, false);
    }
}

Response Server::answer(const Request &request, const std::vector<std::string> &segments, bool fromMemory)
{
    try {
        std::unique_ptr<Snapshot> snapshot = m_source.open(fromMemory);
        const Authenticator::Result login = m_auth.check(request, *snapshot);
        if (login.outcome != Authenticator::Outcome::Accepted) {
            snapshot.reset();
            std::this_thread::sleep_for(login.delay);
            Response r = unauthorized();
            r.user = login.login.empty() ? std::string() : "(refused) " + login.login;
            return r;
        }
        const Account &account = login.account;
        const bool writes = among(WriteMethods, request.method);
        Response r;
        if (!writes && !among(ReadMethods, request.method)) {
            r = textResponse(405, "This server does not know that method.\n");
            r.headers.emplace_back("Allow", AllowedMethods);
        } else {
            const std::vector<Calendar> &calendars = snapshot->calendars(account);
            const std::optional<Target> target = resolve(segments, account, calendars);
            if (!target) {
                r = textResponse(404, "Not found.\n");
            } else if (writes) {
                r = handleRefused(Call{request, *snapshot, account, calendars, *target, m_settings, m_feeds});
            } else if (target->place == Place::WellKnown) {
                r = textResponse(301, "See " + principalHref(account) + "\n");
                r.headers.emplace_back("Location", principalHref(account));
            } else {
                const Call call{request, *snapshot, account, calendars, *target, m_settings, m_feeds};
                if (request.method == "OPTIONS")
                    r = handleOptions(call);
                else if (request.method == "GET" || request.method == "HEAD")
                    r = handleGet(call);
                else if (request.method == "PROPFIND")
                    r = handlePropfind(call);
                else
                    r = handleReport(call);
            }
        }
        r.user = account.name;
        return r;
    } catch (const Unavailable &e) {
        Response r = unavailable();
        r.note = e.what();
        return r;
    }
}

} // namespace dav
