#include "actions/scripts/frmDeleteAllScriptsForAllMailboxes.h"

#include "actions/scripts/ScriptActions.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"


namespace scripts {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmDeleteAllScriptsForAllMailboxes::WindowName;
    f.title = QStringLiteral("Delete All Scripts For All Mailboxes");
    f.titleTwips = QRect(480, 1320, 6015, 1155);
    f.buttonTopTwips = 5640;
    f.errorTrap = true;
    f.waitCursor = false;
    f.closingStep = true;
    f.icon = app::IconPlace::ApplicationFolder;
    f.progressTwips = QRect(480, 3000, 6015, 375);
    return f;
}

} // namespace

frmDeleteAllScriptsForAllMailboxes::frmDeleteAllScriptsForAllMailboxes(QWidget *parent)
    : app::ActionPage(frame(), parent)
{
}

app::ResultMessage frmDeleteAllScriptsForAllMailboxes::work(messaging::Session &session)
{
    deleteAllMailboxScripts(session, progress());
    return {QStringLiteral("All scripts for the Mailbox have been deleted"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
