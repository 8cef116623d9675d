#include "actions/scripts/frmAddEventToAPersonalFolderForAllUsers.h"

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
    f.windowName = frmAddEventToAPersonalFolderForAllUsers::WindowName;
    f.title = QStringLiteral("An Event Script will be Added to the Selected Personal Calendar Folder for All Users");
    f.titleTwips = QRect(480, 4080, 6015, 1155);
    f.buttonTopTwips = 5580;
    f.errorTrap = true;
    f.waitCursor = false;
    f.closingStep = true;
    f.icon = app::IconPlace::TesselFolder;
    f.progressTwips = QRect(480, 5190, 6015, 375);
    return f;
}

// Where the fields the add-script pages share sit on this page.
constexpr app::AddScriptPlace FieldsPlace{240, true, 1080, 1920, 2400, 2760, 3600, 1875, 3705};

} // namespace

frmAddEventToAPersonalFolderForAllUsers::frmAddEventToAPersonalFolderForAllUsers(QWidget *parent)
    : app::ActionPage(frame(), parent), m_fields(this, FieldsPlace)
{
}

void frmAddEventToAPersonalFolderForAllUsers::fillPage()
{
    m_fields.fill();
}

bool frmAddEventToAPersonalFolderForAllUsers::inputCheck()
{
    return m_fields.inputCheck();
}

std::int16_t frmAddEventToAPersonalFolderForAllUsers::eventMask() const
{
    EventBoxes boxes;
    boxes.isNew = m_fields.chkNew->isChecked();
    boxes.changed = m_fields.chkChanged->isChecked();
    boxes.deleted = m_fields.chkDelete->isChecked();
    boxes.schedule = m_fields.chkSchedule->isChecked();
    return allUsersEventMask(boxes);
}

bool frmAddEventToAPersonalFolderForAllUsers::checkAfterConfirmation()
{
    return requireEvents(eventMask());
}

app::ResultMessage frmAddEventToAPersonalFolderForAllUsers::work(messaging::Session &session)
{
    ScriptInstall install;
    install.folderName = m_fields.cboPersonalFolder->currentText().toStdString();
    install.scriptName = m_fields.txtScriptName->text().toStdString();
    install.eventMask = eventMask();
    install.scriptPath = m_fields.txtFileName->text().toStdString();
    installScriptForAllUsers(session, install, progress());
    return {QStringLiteral("The script has been successfully installed"), app::MsgStyle::OKOnly, QString()};
}

} // namespace scripts
