#include "actions/scripts/frmDeleteAllScriptsFromOneMailbox.h"

#include "actions/scripts/ScriptActions.h"
#include "app/MessageBoxes.h"
#include "app/Pickers.h"
#include "messaging/Session.h"

#include <QComboBox>
#include <QLabel>

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
    : app::ActionPage(frame(), parent)
{
    addLabel("lblMailbox", QStringLiteral("Mailbox Name:"), 240, 300, 1755, 375);
    m_cboMailbox = addComboBox("cboMailbox", false, 2040, 300, 5115);
}

void frmDeleteAllScriptsFromOneMailbox::fillPage()
{
    app::fillMailboxList(m_cboMailbox);
}

bool frmDeleteAllScriptsFromOneMailbox::inputCheck()
{
    return requireMailbox(m_cboMailbox);
}

app::ResultMessage frmDeleteAllScriptsFromOneMailbox::work(messaging::Session &session)
{
    deleteMailboxScripts(session, m_cboMailbox->currentText().toStdString());
    return {QStringLiteral("All scripts for the Mailbox have been deleted"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
