#include "actions/scripts/frmAddEventToAPersonalFolderForAllUsers.h"

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
    f.windowName = frmAddEventToAPersonalFolderForAllUsers::WindowName;
    f.title = QStringLiteral("An Event Script will be Added to the Selected Personal Calendar Folder for All Users");
    f.titleTwips = QRect(480, 4080, 6015, 1155);
    f.buttonTopTwips = 5580;
    f.errorTrap = true;
    f.waitCursor = false;
    f.closingStep = true;
    f.icon = app::IconPlace::TesselFolder;
    return f;
}

} // namespace

frmAddEventToAPersonalFolderForAllUsers::frmAddEventToAPersonalFolderForAllUsers(QWidget *parent)
    : app::ActionPage(frame(), parent)
{
    addLabel("Label2", QStringLiteral("Personal Folder:"), 240, 240, 1755, 375);
    // Any folder name can be typed here as well.
    m_cboPersonalFolder = addComboBox("cboPersonalFolder", true, 2040, 240, 5115);
    addLabel("Label3", QStringLiteral("Script Name:"), 240, 1080, 1755, 375);
    m_txtScriptName = addTextBox("txtScriptName", 2040, 1080, 5115, 405);
    addLabel("Label1", QStringLiteral("Script File Name:"), 240, 1920, 1935, 375);
    m_txtFileName = addTextBox("txtFileName", 240, 2400, 6375, 1155);
    m_cmdGetFileName = addButton("cmdGetFileName", QStringLiteral("..."), 6720, 2760, 435, 375);
    m_chkNew = addCheckBox("chkNew", QStringLiteral("New"), 240, 3600, 975, 315);
    m_chkChanged = addCheckBox("chkChanged", QStringLiteral("Changed"), 1875, 3600, 1515, 315);
    m_chkDelete = addCheckBox("chkDelete", QStringLiteral("Delete"), 3705, 3600, 1155, 315);
    m_chkSchedule = addCheckBox("chkSchedule", QStringLiteral("Schedule"), 5160, 3600, 1455, 315);

    // The file dialog itself is made when the file button asks for it (app::FileDialogs);
    // this object only carries its name among the page's controls.
    (new QObject(this))->setObjectName(QStringLiteral("ctlCommonDialog"));

    connect(m_cboPersonalFolder, &QComboBox::activated, this, [this] {
        runPageHandler([this] { app::scriptNameForFolder(m_cboPersonalFolder->currentText(), m_txtScriptName); });
    });
    connect(m_cmdGetFileName, &QPushButton::clicked, this,
            [this] { runPageHandler([this] { app::chooseScriptFile(this, m_txtFileName); }); });
}

void frmAddEventToAPersonalFolderForAllUsers::fillPage()
{
    app::fillFolderList(m_cboPersonalFolder);
    app::setPickerText(m_cboPersonalFolder, QStringLiteral("Calendar"));
    m_txtScriptName->setText(QString::fromLatin1(app::CalendarScriptName));
}

bool frmAddEventToAPersonalFolderForAllUsers::inputCheck()
{
    return requireScriptFile(m_txtFileName);
}

std::int16_t frmAddEventToAPersonalFolderForAllUsers::eventMask() const
{
    EventBoxes boxes;
    boxes.isNew = m_chkNew->isChecked();
    boxes.changed = m_chkChanged->isChecked();
    boxes.deleted = m_chkDelete->isChecked();
    boxes.schedule = m_chkSchedule->isChecked();
    return allUsersEventMask(boxes);
}

bool frmAddEventToAPersonalFolderForAllUsers::checkAfterConfirmation()
{
    return requireEvents(eventMask());
}

app::ResultMessage frmAddEventToAPersonalFolderForAllUsers::work(messaging::Session &session)
{
    ScriptInstall install;
    install.folderName = m_cboPersonalFolder->currentText().toStdString();
    install.scriptName = m_txtScriptName->text().toStdString();
    install.eventMask = eventMask();
    install.scriptPath = m_txtFileName->text().toStdString();
    installScriptForAllUsers(session, install);
    return {QStringLiteral("The script has been successfully installed"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
