#include "actions/scripts/frmDeleteScriptsFromOneFolderForMailbox.h"

#include "actions/scripts/ScriptActions.h"
#include "app/MessageBoxes.h"
#include "app/Pickers.h"
#include "messaging/Session.h"

#include <QComboBox>

namespace scripts {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmDeleteScriptsFromOneFolderForMailbox::WindowName;
    f.title = QStringLiteral("Delete All Scripts For The Mailbox and Folder Specified Above");
    f.titleTwips = QRect(480, 3840, 6015, 1155);
    f.buttonTopTwips = 5640;
    f.errorTrap = true;
    f.waitCursor = false;
    f.closingStep = false;
    f.icon = app::IconPlace::ApplicationFolder;
    return f;
}

} // namespace

frmDeleteScriptsFromOneFolderForMailbox::frmDeleteScriptsFromOneFolderForMailbox(QWidget *parent)
    : app::MailboxPage(frame(), app::ScriptMailboxPlace, parent)
{
    addLabel("Label2", QStringLiteral("Personal Folder:"), 240, 900, 1755, 375);
    m_cboPersonalFolder = addComboBox("cboPersonalFolder", false, 2040, 900, 5115);
}

void frmDeleteScriptsFromOneFolderForMailbox::fillPage()
{
    app::MailboxPage::fillPage();
    app::fillFolderList(m_cboPersonalFolder);
    app::setPickerText(m_cboPersonalFolder, QStringLiteral("Calendar"));
}

app::ResultMessage frmDeleteScriptsFromOneFolderForMailbox::work(messaging::Session &session)
{
    deleteFolderScripts(session, mailboxName(),
                        m_cboPersonalFolder->currentText().toStdString());
    return {QStringLiteral("The script has been successfully deleted"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
