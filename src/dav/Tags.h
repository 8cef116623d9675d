// The one place where store revisions become what clients see: ETags, sync tokens,
// collection tags and Last-Modified dates.
#pragma once

#include "dav/CalendarSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dav {

// A strong ETag (quoted) of a resource's bytes.
std::string resourceEtag(std::string_view text);
// The ETag of a calendar's feed at a revision; a window gives another entity.
std::string feedEtag(const CalendarState &state, std::string_view window = {});
// The sync token (a URI, RFC 6578) of a calendar at a revision; also its getctag.
std::string syncToken(const Calendar &calendar, std::string_view revision);
// The revision a token names, when it is a token of this calendar.
std::optional<std::string> revisionOfToken(const Calendar &calendar, std::string_view token);

// RFC 7231 HTTP-date, and back (nullopt for anything that is not one of its three forms).
std::string httpDate(std::int64_t unixSeconds);
std::optional<std::int64_t> parseHttpDate(std::string_view text);

// True when an If-None-Match header value names this ETag (or is "*"); weak
// comparison, as RFC 7232 asks for GET and HEAD.
bool etagMatches(std::string_view ifNoneMatch, std::string_view etag);

} // namespace dav
