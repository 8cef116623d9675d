// The private items of the public store against their masked form.
//
// A private item there is a visible message of sensitivity 2 in any folder of the
// public store. Its masked form (ical/PrivateMask.h) keeps the subject as
// ical::maskedSubject gives it for the owner tags of the address entries, the body
// "Private", the sensitivity, the all-day flag, start and end, the stamp in its masked
// form, and of its fields only the kept event source, reduced to its time structure.
#pragma once

#include "store/Database.h"

#include <string>
#include <vector>

namespace store {

// Rewrites every private item of the public store that shows more than its masked form
// into that form. Runs inside the caller's transaction; returns how many were rewritten.
// Db: either engine's connection (Database, PgDatabase).
template <class Db>
int maskPrivateItems(Db &db);

// One line per private item of the public store that shows more than its masked form,
// naming the message and what it shows, never the private text itself.
template <class Db>
std::vector<std::string> privateItemLeaks(Db &db);

} // namespace store
