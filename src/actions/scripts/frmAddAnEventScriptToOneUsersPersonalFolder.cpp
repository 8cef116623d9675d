#include "actions/scripts/frmAddAnEventScriptToOneUsersPersonalFolder.h"

#include "actions/scripts/ScriptActions.h"
#include "app/MessageBoxes.h"
#include "messaging/Session.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

namespace scripts {

namespace {

app::PageFrame frame()
{
    app::PageFrame f;
    f.windowName = frmAddAnEventScriptToOneUsersPersonalFolder::WindowName;
    f.title = QStringLiteral("An Event Script will be Added to the Personal Calendar Folder for the User Selected Above");
    f.titleTwips = QRect(480, 4200, 6015, 1155);
    f.buttonTopTwips = 5640;
    f.errorTrap = true;
    f.waitCursor = false;
    f.closingStep = true;
    f.icon = app::IconPlace::ApplicationFolder;
    return f;
}

// Where the fields the add-script pages share sit on this page.
constexpr AddScriptPlace FieldsPlace{900, false, 1500, 2100, 2580, 2880, 3780, 1880, 3700};

} // namespace

frmAddAnEventScriptToOneUsersPersonalFolder::frmAddAnEventScriptToOneUsersPersonalFolder(QWidget *parent)
    : app::MailboxPage(frame(), app::ScriptMailboxPlace, parent), m_fields(this, FieldsPlace)
{
}

void frmAddAnEventScriptToOneUsersPersonalFolder::fillPage()
{
    app::MailboxPage::fillPage();
    m_fields.fill();
}

bool frmAddAnEventScriptToOneUsersPersonalFolder::inputCheck()
{
    return app::MailboxPage::inputCheck() && m_fields.inputCheck();
}

std::int16_t frmAddAnEventScriptToOneUsersPersonalFolder::eventMask() const
{
    EventBoxes boxes;
    boxes.isNew = m_fields.chkNew->isChecked();
    boxes.changed = m_fields.chkChanged->isChecked();
    boxes.deleted = m_fields.chkDelete->isChecked();
    boxes.schedule = m_fields.chkSchedule->isChecked();
    return oneUserEventMask(boxes);
}

bool frmAddAnEventScriptToOneUsersPersonalFolder::checkAfterConfirmation()
{
    return requireEvents(eventMask());
}

app::ResultMessage frmAddAnEventScriptToOneUsersPersonalFolder::work(messaging::Session &session)
{
    ScriptInstall install;
    install.folderName = m_fields.cboPersonalFolder->currentText().toStdString();
    install.scriptName = m_fields.txtScriptName->text().toStdString();
    install.eventMask = eventMask();
    install.scriptPath = m_fields.txtFileName->text().toStdString();
    installScript(session, mailboxName(), install);
    return {QStringLiteral("The script has been successfully installed"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
