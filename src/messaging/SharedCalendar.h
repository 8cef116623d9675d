// sharedCalendar: the one walk to the shared calendar (see core/StoreLayout.h).
#pragma once

#include "Folder.h"
#include "Session.h"

namespace messaging {

// "Public Folders", its root, the root's second subfolder, in it "Larkspur Calendar".
// NotFound (or InvalidArgument for a missing second subfolder) names the step that
// failed, as each collection's Item does.
Folder sharedCalendar(const Session &session);

} // namespace messaging
