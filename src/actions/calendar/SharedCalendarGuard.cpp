#include "actions/calendar/SharedCalendarGuard.h"

#include "actions/calendar/CalendarLock.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"

namespace calendar {

std::shared_ptr<void> holdSharedCalendar()
{
    std::shared_ptr<CalendarLock> lock = calendarLockFor(messaging::Session::defaultStorePath());
    if (lock->acquire(std::chrono::milliseconds(0)))
        return lock;
    app::msgBox(QStringLiteral("Another administrator is changing the Larkspur Calendar right now. Nothing was done; "
                               "try again when their run has ended."),
                app::MsgStyle::OKOnly | app::MsgStyle::Exclamation, QStringLiteral("Larkspur Calendar Busy"));
    return nullptr;
}

} // namespace calendar
