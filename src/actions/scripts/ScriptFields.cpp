#include "actions/scripts/ScriptFields.h"

#include "actions/scripts/ScriptActions.h"
#include "app/ActionPage.h"
#include "app/MessageBoxes.h"
#include "app/Pickers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <exception>

namespace scripts {

AddScriptFields::AddScriptFields(app::ActionPage *page, const AddScriptPlace &place)
{
    page->addLabel("Label2", QStringLiteral("Personal Folder:"), 240, place.folderTop, 1755, 375);
    cboPersonalFolder = page->addComboBox("cboPersonalFolder", place.folderEditable, 2040, place.folderTop, 5115);
    page->addLabel("Label3", QStringLiteral("Script Name:"), 240, place.scriptNameTop, 1755, 375);
    txtScriptName = page->addTextBox("txtScriptName", 2040, place.scriptNameTop, 5115, 405);
    page->addLabel("Label1", QStringLiteral("Script File Name:"), 240, place.fileLabelTop, 1935, 375);
    txtFileName = page->addTextBox("txtFileName", 240, place.fileTop, 6375, 1155);
    cmdGetFileName = page->addButton("cmdGetFileName", QStringLiteral("..."), 6720, place.fileButtonTop, 435, 375);
    chkNew = page->addCheckBox("chkNew", QStringLiteral("New"), 240, place.eventsTop, 975, 315);
    chkChanged = page->addCheckBox("chkChanged", QStringLiteral("Changed"), place.changedLeft, place.eventsTop, 1515, 315);
    chkDelete = page->addCheckBox("chkDelete", QStringLiteral("Delete"), place.deleteLeft, place.eventsTop, 1155, 315);
    chkSchedule = page->addCheckBox("chkSchedule", QStringLiteral("Schedule"), 5160, place.eventsTop, 1455, 315);

    // The file dialog itself is made when the file button asks for it (app::FileDialogs);
    // this object only carries its name among the page's controls.
    (new QObject(page))->setObjectName(QStringLiteral("ctlCommonDialog"));

    QComboBox *folder = cboPersonalFolder;
    QLineEdit *scriptName = txtScriptName;
    QLineEdit *fileName = txtFileName;
    QObject::connect(folder, &QComboBox::activated, page, [page, folder, scriptName] {
        page->runPageHandler([folder, scriptName] { scriptNameForFolder(folder->currentText(), scriptName); });
    });
    QObject::connect(cmdGetFileName, &QPushButton::clicked, page,
                     [page, fileName] { page->runPageHandler([page, fileName] { chooseScriptFile(page, fileName); }); });
}

void AddScriptFields::fill()
{
    app::fillFolderList(cboPersonalFolder);
    app::setPickerText(cboPersonalFolder, QStringLiteral("Calendar"));
    txtScriptName->setText(QString::fromLatin1(CalendarScriptName));
}

bool AddScriptFields::inputCheck() const
{
    return requireScriptFile(txtFileName);
}

bool requireScriptFile(const QLineEdit *txtFileName)
{
    if (!txtFileName->text().isEmpty())
        return true;
    app::msgBox(QStringLiteral("You must enter the file name and path of the script file."),
                app::MsgStyle::OKOnly | app::MsgStyle::Critical, QStringLiteral("Missing Information"));
    return false;
}

bool requireEvents(int eventMask)
{
    if (eventMask != 0)
        return true;
    app::msgBox(QStringLiteral("You have not checked any events for your script"),
                app::MsgStyle::OKOnly | app::MsgStyle::Critical, QStringLiteral("Choose Events!"));
    return false;
}

app::FileDialogRequest scriptFileRequest()
{
    app::FileDialogRequest request;
    request.filters = QStringList{QStringLiteral("All Files (*.*)"), QStringLiteral("Text Files (*.txt)"),
                                  QStringLiteral("Batch Files (*.bat)")};
    request.initialFilter = 1;
    request.hideReadOnly = true;
    return request;
}

void chooseScriptFile(QWidget *page, QLineEdit *txtFileName)
{
    try {
        const std::optional<QString> chosen = app::openFileName(page, scriptFileRequest());
        if (chosen)
            txtFileName->setText(*chosen);
    } catch (const std::exception &) {
        // The dialog's failures end the handler silently, as cancelling does.
    }
}

void scriptNameForFolder(const QString &folderName, QLineEdit *txtScriptName)
{
    if (folderName == QLatin1String("Calendar"))
        txtScriptName->setText(QString::fromLatin1(CalendarScriptName));
    else if (folderName == QLatin1String("Deleted Items"))
        txtScriptName->setText(QString::fromLatin1(DeletedItemsScriptName));
}

} // namespace scripts
