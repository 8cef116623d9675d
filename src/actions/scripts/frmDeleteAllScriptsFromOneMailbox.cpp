#include "actions/scripts/frmDeleteAllScriptsFromOneMailbox.h"

#include "actions/scripts/ScriptActions.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"

namespace scripts {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmDeleteAllScriptsFromOneMailbox::WindowName;
    f.title = QStringLiteral("Delete All Scripts For The Mailbox Specified Above");
    f.titleTwips = QRect(480, 3840, 6015, 1155);
    f.buttonTopTwips = 5640;
    f.errorTrap = true;
    f.waitCursor = false;
    f.closingStep = false;
    f.icon = app::IconPlace::ApplicationFolder;
    return f;
}

} // namespace

frmDeleteAllScriptsFromOneMailbox::frmDeleteAllScriptsFromOneMailbox(QWidget *parent)
    : app::MailboxPage(frame(), app::ScriptMailboxPlace, parent)
{
}

app::ResultMessage frmDeleteAllScriptsFromOneMailbox::work(messaging::Session &session)
{
    deleteMailboxScripts(session, mailboxName());
    return {QStringLiteral("All scripts for the Mailbox have been deleted"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
