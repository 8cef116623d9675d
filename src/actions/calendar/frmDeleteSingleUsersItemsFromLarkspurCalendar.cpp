#include "actions/calendar/frmDeleteSingleUsersItemsFromLarkspurCalendar.h"

#include "actions/calendar/CalendarActions.h"
#include "app/MessageBoxes.h"
#include "app/Pickers.h"
#include "messaging/Session.h"

#include <QComboBox>
#include <QLabel>

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
    return f;
}

} // namespace

frmDeleteSingleUsersItemsFromLarkspurCalendar::frmDeleteSingleUsersItemsFromLarkspurCalendar(QWidget *parent)
    : app::ActionPage(frame(), parent)
{
    addLabel("lblMailbox", QStringLiteral("Mailbox Name:"), 480, 300, 1695, 375);
    // The picker's text can also be typed into.
    m_cboMailbox = addComboBox("cboMailbox", true, 2460, 300, 3975);
}

void frmDeleteSingleUsersItemsFromLarkspurCalendar::fillPage()
{
    app::fillMailboxList(m_cboMailbox);
}

bool frmDeleteSingleUsersItemsFromLarkspurCalendar::inputCheck()
{
    return requireMailbox(m_cboMailbox);
}

app::ResultMessage frmDeleteSingleUsersItemsFromLarkspurCalendar::work(messaging::Session &session)
{
    calendar::deleteUserItems(session, m_cboMailbox->currentText().toStdString());
    return {QStringLiteral("The selected Items have been deleted from the Larkspur Calendar"),
            app::MsgStyle::OKOnly | app::MsgStyle::Critical, QStringLiteral("Items Deleted Successfully")};
}

} // namespace calendar
