// Every write method: the server is read-only, so each is refused with the privilege
// it would need (RFC 3744, 7.1.1).
#include "dav/Handlers.h"

namespace dav {

Response handleRefused(const Call &call)
{
    return xmlResponse(403, errorBody("<D:need-privileges><D:resource><D:href>" + escapeXml(call.target.href)
                                      + "</D:href><D:privilege><D:write/></D:privilege></D:resource>"
                                        "</D:need-privileges>"));
}

} // namespace dav
