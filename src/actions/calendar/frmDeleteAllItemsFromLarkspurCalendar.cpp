#include "actions/calendar/frmDeleteAllItemsFromLarkspurCalendar.h"

#include "actions/calendar/CalendarActions.h"
#include "actions/calendar/SharedCalendarGuard.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"


namespace calendar {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmDeleteAllItemsFromLarkspurCalendar::WindowName;
    f.title = QStringLiteral("All Items Will Now Be Deleted From The Larkspur Calendar");
    f.titleTwips = QRect(480, 1320, 6015, 1155);
    f.buttonTopTwips = 5520;
    f.errorTrap = false;
    f.waitCursor = true;
    f.closingStep = true;
    f.icon = app::IconPlace::TesselFolder;
    f.progressTwips = QRect(480, 3000, 6015, 375);
    f.runGuard = &holdSharedCalendar;
    return f;
}

} // namespace

frmDeleteAllItemsFromLarkspurCalendar::frmDeleteAllItemsFromLarkspurCalendar(QWidget *parent)
    : app::ActionPage(frame(), parent)
{
}

app::ResultMessage frmDeleteAllItemsFromLarkspurCalendar::work(messaging::Session &session)
{
    calendar::deleteAllItems(session, progress());
    return {QStringLiteral("All Items have been deleted from the Larkspur Calendar"),
            app::MsgStyle::OKOnly | app::MsgStyle::Critical, QStringLiteral("Items Deleted Successfully")};
}

} // namespace calendar
