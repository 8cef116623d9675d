#include "actions/calendar/frmAUserPersonalCalendarToLarkspurCalendar.h"

#include "actions/calendar/CalendarActions.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"

namespace calendar {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmAUserPersonalCalendarToLarkspurCalendar::WindowName;
    f.title = QStringLiteral("All Calendar Items for the User Selected Above Will Be Copied to the Larkspur Calendar");
    f.titleTwips = QRect(480, 3840, 6015, 1155);
    f.buttonTopTwips = 5520;
    f.errorTrap = false;
    f.waitCursor = false;
    f.closingStep = true;
    f.icon = app::IconPlace::TesselFolder;
    return f;
}

} // namespace

frmAUserPersonalCalendarToLarkspurCalendar::frmAUserPersonalCalendarToLarkspurCalendar(QWidget *parent)
    : app::MailboxPage(frame(), app::CalendarMailboxPlace, parent)
{
}

app::ResultMessage frmAUserPersonalCalendarToLarkspurCalendar::work(messaging::Session &session)
{
    calendar::copyUserCalendar(session, mailboxName(), calendar::workstationLocale());
    return {QStringLiteral("Larkspur Calendar has been updated"), app::MsgStyle::OKOnly | app::MsgStyle::Critical,
            QStringLiteral("Import Complete")};
}

} // namespace calendar
