// The fields the two add-script pages share: the folder picker and its effect on the
// script name, the script file name with its button, and the four event boxes; and the
// checks of those pages ("Missing Information", "Choose Events!").
#pragma once

#include "app/FileDialogs.h"

#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace app {
class ActionPage;
}

namespace scripts {

// Where a page places the shared fields (twips). Labels sit at 240 beside their field;
// the left edges and widths are the same on both pages.
struct AddScriptPlace {
    int folderTop;       // Label2 and cboPersonalFolder
    bool folderEditable; // any folder name can be typed as well
    int scriptNameTop;   // Label3 and txtScriptName
    int fileLabelTop;    // Label1
    int fileTop;         // txtFileName
    int fileButtonTop;   // cmdGetFileName
    int eventsTop;       // chkNew, chkChanged, chkDelete, chkSchedule
    int changedLeft;
    int deleteLeft;
};

// Adds the fields to `page` in tab order, with ctlCommonDialog among its controls, and
// connects the folder picker (scriptNameForFolder) and the file button
// (chooseScriptFile) as page handlers.
class AddScriptFields {
public:
    AddScriptFields(app::ActionPage *page, const AddScriptPlace &place);

    // Page opening: the folder list with "Calendar" chosen and its script name.
    void fill();
    // Before the confirmation: a script file name must be entered (requireScriptFile).
    bool inputCheck() const;

    QComboBox *cboPersonalFolder = nullptr;
    QLineEdit *txtScriptName = nullptr;
    QLineEdit *txtFileName = nullptr;
    QPushButton *cmdGetFileName = nullptr;
    QCheckBox *chkNew = nullptr;
    QCheckBox *chkChanged = nullptr;
    QCheckBox *chkDelete = nullptr;
    QCheckBox *chkSchedule = nullptr;
};

// The input check of the script file: "You must enter the file name and path of the
// script file." when txtFileName is empty.
bool requireScriptFile(const QLineEdit *txtFileName);
// The event boxes' check after the confirmation: "You have not checked any events for
// your script" ("Choose Events!") when no box is ticked.
bool requireEvents(int eventMask);

// The script file dialog: all files, text files, batch files, starting on text files,
// without a read-only option.
app::FileDialogRequest scriptFileRequest();

// The file button: shows the script file dialog (all files, text files, batch files,
// starting on text files) and puts the chosen file's full path into txtFileName.
// Cancelling, or any failure of the dialog, leaves txtFileName as it is and shows
// nothing.
void chooseScriptFile(QWidget *page, QLineEdit *txtFileName);

// The folder picker click: "Calendar" sets the script name to "Larkspur Calendar -
// Personal Calendar Folder", "Deleted Items" to "Larkspur Calendar - Deleted Items
// Folder" (exact, case-sensitive names); any other folder leaves it as it is.
void scriptNameForFolder(const QString &folderName, QLineEdit *txtScriptName);

} // namespace scripts
