// The fields the two add-script pages share: the script file button and the folder
// picker's effect on the script name.
#pragma once

#include <QString>

class QLineEdit;
class QWidget;

namespace app {

// The file button: shows the script file dialog (all files, text files, batch files,
// starting on text files) and puts the chosen file's full path into txtFileName.
// Cancelling, or any failure of the dialog, leaves txtFileName as it is and shows
// nothing.
void chooseScriptFile(QWidget *page, QLineEdit *txtFileName);

// The folder picker click: "Calendar" sets the script name to "Larkspur Calendar -
// Personal Calendar Folder", "Deleted Items" to "Larkspur Calendar - Deleted Items
// Folder" (exact, case-sensitive names); any other folder leaves it as it is.
void scriptNameForFolder(const QString &folderName, QLineEdit *txtScriptName);

inline constexpr const char *CalendarScriptName = "Larkspur Calendar - Personal Calendar Folder";
inline constexpr const char *DeletedItemsScriptName = "Larkspur Calendar - Deleted Items Folder";

} // namespace app
