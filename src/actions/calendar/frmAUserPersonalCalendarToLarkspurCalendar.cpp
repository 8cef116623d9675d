#include "actions/calendar/frmAUserPersonalCalendarToLarkspurCalendar.h"

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
    : app::ActionPage(frame(), parent)
{
    addLabel("lblMailbox", QStringLiteral("Mailbox Name:"), 480, 300, 1695, 375);
    // The picker's text can also be typed into.
    m_cboMailbox = addComboBox("cboMailbox", true, 2460, 300, 3975);
}

void frmAUserPersonalCalendarToLarkspurCalendar::fillPage()
{
    app::fillMailboxList(m_cboMailbox);
}

bool frmAUserPersonalCalendarToLarkspurCalendar::inputCheck()
{
    return requireMailbox(m_cboMailbox);
}

app::ResultMessage frmAUserPersonalCalendarToLarkspurCalendar::work(messaging::Session &session)
{
    calendar::copyUserCalendar(session, m_cboMailbox->currentText().toStdString());
    return {QStringLiteral("Larkspur Calendar has been updated"), app::MsgStyle::OKOnly | app::MsgStyle::Critical,
            QStringLiteral("Import Complete")};
}

} // namespace calendar
