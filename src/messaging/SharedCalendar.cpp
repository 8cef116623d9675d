#include "SharedCalendar.h"

#include "InfoStores.h"
#include "core/StoreLayout.h"

namespace messaging {

Folder sharedCalendar(const Session &session)
{
    return session.InfoStores()
        .Item(core::PublicStoreName)
        .RootFolder()
        .Folders()
        .Item(core::SharedCalendarParentPosition)
        .Folders()
        .Item(core::SharedCalendarName);
}

} // namespace messaging
