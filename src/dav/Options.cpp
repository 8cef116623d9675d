// OPTIONS: what the target takes (RFC 4918, 10.1; RFC 4791, 5.1).
#include "dav/Handlers.h"

namespace dav {

Response handleOptions(const Call &call)
{
    Response r;
    r.headers = {{"DAV", "1, calendar-access"},
                 {"Allow", call.target.place == Place::Feed ? "OPTIONS, GET, HEAD" : AllowedMethods}};
    return r;
}

} // namespace dav
