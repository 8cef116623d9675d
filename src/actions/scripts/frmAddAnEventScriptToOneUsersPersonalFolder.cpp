#include "actions/scripts/frmAddAnEventScriptToOneUsersPersonalFolder.h"

#include "actions/scripts/ScriptActions.h"
#include "app/MessageBoxes.h"
#include "app/Pickers.h"
#include "app/ScriptFields.h"
#include "messaging/Session.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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

} // namespace

frmAddAnEventScriptToOneUsersPersonalFolder::frmAddAnEventScriptToOneUsersPersonalFolder(QWidget *parent)
    : app::ActionPage(frame(), parent)
{
    addLabel("lblMailbox", QStringLiteral("Mailbox Name:"), 240, 300, 1755, 375);
    m_cboMailbox = addComboBox("cboMailbox", false, 2040, 300, 5115);
    addLabel("Label2", QStringLiteral("Personal Folder:"), 240, 900, 1755, 375);
    m_cboPersonalFolder = addComboBox("cboPersonalFolder", false, 2040, 900, 5115);
    addLabel("Label3", QStringLiteral("Script Name:"), 240, 1500, 1755, 375);
    m_txtScriptName = addTextBox("txtScriptName", 2040, 1500, 5115, 405);
    addLabel("Label1", QStringLiteral("Script File Name:"), 240, 2100, 1935, 375);
    m_txtFileName = addTextBox("txtFileName", 240, 2580, 6375, 1155);
    m_cmdGetFileName = addButton("cmdGetFileName", QStringLiteral("..."), 6720, 2880, 435, 375);
    m_chkNew = addCheckBox("chkNew", QStringLiteral("New"), 240, 3780, 975, 315);
    m_chkChanged = addCheckBox("chkChanged", QStringLiteral("Changed"), 1880, 3780, 1515, 315);
    m_chkDelete = addCheckBox("chkDelete", QStringLiteral("Delete"), 3700, 3780, 1155, 315);
    m_chkSchedule = addCheckBox("chkSchedule", QStringLiteral("Schedule"), 5160, 3780, 1455, 315);

    // The file dialog itself is made when the file button asks for it (app::FileDialogs);
    // this object only carries its name among the page's controls.
    (new QObject(this))->setObjectName(QStringLiteral("ctlCommonDialog"));

    connect(m_cboPersonalFolder, &QComboBox::activated, this, [this] {
        runPageHandler([this] { app::scriptNameForFolder(m_cboPersonalFolder->currentText(), m_txtScriptName); });
    });
    connect(m_cmdGetFileName, &QPushButton::clicked, this,
            [this] { runPageHandler([this] { app::chooseScriptFile(this, m_txtFileName); }); });
}

void frmAddAnEventScriptToOneUsersPersonalFolder::fillPage()
{
    app::fillMailboxList(m_cboMailbox);
    app::fillFolderList(m_cboPersonalFolder);
    app::setPickerText(m_cboPersonalFolder, QStringLiteral("Calendar"));
    m_txtScriptName->setText(QString::fromLatin1(app::CalendarScriptName));
}

bool frmAddAnEventScriptToOneUsersPersonalFolder::inputCheck()
{
    return requireMailbox(m_cboMailbox) && requireScriptFile(m_txtFileName);
}

std::int16_t frmAddAnEventScriptToOneUsersPersonalFolder::eventMask() const
{
    EventBoxes boxes;
    boxes.isNew = m_chkNew->isChecked();
    boxes.changed = m_chkChanged->isChecked();
    boxes.deleted = m_chkDelete->isChecked();
    boxes.schedule = m_chkSchedule->isChecked();
    return oneUserEventMask(boxes);
}

bool frmAddAnEventScriptToOneUsersPersonalFolder::checkAfterConfirmation()
{
    return requireEvents(eventMask());
}

app::ResultMessage frmAddAnEventScriptToOneUsersPersonalFolder::work(messaging::Session &session)
{
    ScriptInstall install;
    install.folderName = m_cboPersonalFolder->currentText().toStdString();
    install.scriptName = m_txtScriptName->text().toStdString();
    install.eventMask = eventMask();
    install.scriptPath = m_txtFileName->text().toStdString();
    installScript(session, m_cboMailbox->currentText().toStdString(), install);
    return {QStringLiteral("The script has been successfully installed"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
