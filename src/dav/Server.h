// Server: one request from its path to its answer.
//
// The order is fixed: the path is checked (400), the store opened as one snapshot (503
// when it cannot be), the login checked (401), the method known (405), the target
// resolved for the account (404 for anything it may not read), a write refused (403),
// then the method's handler reads and answers.
#pragma once

#include "dav/Auth.h"
#include "dav/CalendarSource.h"
#include "dav/Handlers.h"
#include "dav/Http.h"

namespace dav {

class Server {
public:
    Server(CalendarSource &source, Settings settings);
    Response handle(const Request &request);

private:
    Response answer(const Request &request, const std::vector<std::string> &segments, bool fromMemory);
    CalendarSource &m_source;
    Settings m_settings;
    Authenticator m_auth;
    FeedCache m_feeds;
};

} // namespace dav
