#include "actions/calendar/frmDeleteSingleUsersItemsFromLarkspurCalendar.h"

#include "actions/calendar/CalendarActions.h"
#include "actions/calendar/SharedCalendarGuard.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"

namespace calendar {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmDeleteSingleUsersItemsFromLarkspurCalendar::WindowName;
    f.title = QStringLiteral("All Items Will Now Be Deleted From The Larkspur Calendar For The User Selected Above");
    f.titleTwips = QRect(480, 3840, 6015, 1155);
    f.buttonTopTwips = 5520;
    f.errorTrap = false;
    f.waitCursor = true;
    f.closingStep = true;
    f.icon = app::IconPlace::TesselFolder;
    f.runGuard = &holdSharedCalendar;
    return f;
}

} // namespace

frmDeleteSingleUsersItemsFromLarkspurCalendar::frmDeleteSingleUsersItemsFromLarkspurCalendar(QWidget *parent)
    : app::MailboxPage(frame(), app::CalendarMailboxPlace, parent)
{
}

app::ResultMessage frmDeleteSingleUsersItemsFromLarkspurCalendar::work(messaging::Session &session)
{
    calendar::deleteUserItems(session, mailboxName());
    return {QStringLiteral("The selected Items have been deleted from the Larkspur Calendar"),
            app::MsgStyle::OKOnly | app::MsgStyle::Critical, QStringLiteral("Items Deleted Successfully")};
}

} // namespace calendar
