// The guard of the pages whose run changes the shared calendar in bulk (copy all, delete
// all, delete one user's items): the shared calendar's lock (CalendarLock.h), taken
// without waiting. When another administrator's run holds it, a box says so and the run
// does not start.
#pragma once

#include <memory>

namespace calendar {

// The held lock, or nothing after the box when another run holds it. Throws
// messaging::Error when the lock cannot be made at all.
std::shared_ptr<void> holdSharedCalendar();

} // namespace calendar
