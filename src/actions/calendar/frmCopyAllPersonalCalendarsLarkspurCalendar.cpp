#include "actions/calendar/frmCopyAllPersonalCalendarsLarkspurCalendar.h"

#include "actions/calendar/CalendarActions.h"
#include "actions/calendar/SharedCalendarGuard.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"

namespace calendar {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmCopyAllPersonalCalendarsLarkspurCalendar::WindowName;
    f.title = QStringLiteral("All Personal Calendars Will Now be Copied to the Larkspur Calendar");
    f.titleTwips = QRect(480, 1320, 6015, 1155);
    f.buttonTopTwips = 5520;
    f.errorTrap = false;
    f.waitCursor = false;
    f.closingStep = true;
    f.icon = app::IconPlace::TesselFolder;
    f.progressTwips = QRect(480, 3000, 6015, 375);
    f.runGuard = &holdSharedCalendar;
    return f;
}

} // namespace

frmCopyAllPersonalCalendarsLarkspurCalendar::frmCopyAllPersonalCalendarsLarkspurCalendar(QWidget *parent)
    : app::ActionPage(frame(), parent)
{
}

app::ResultMessage frmCopyAllPersonalCalendarsLarkspurCalendar::work(messaging::Session &session)
{
    const calendar::CopyAllReport report = calendar::copyAllCalendars(session, calendar::workstationLocale(), progress());
    return {QString::fromStdString(calendar::copyAllResultText(report)),
            app::MsgStyle::OKOnly | app::MsgStyle::Critical, QStringLiteral("Import Complete")};
}

} // namespace calendar
