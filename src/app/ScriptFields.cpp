#include "app/ScriptFields.h"

#include "app/FileDialogs.h"

#include <QLineEdit>

#include <exception>

namespace app {

void chooseScriptFile(QWidget *page, QLineEdit *txtFileName)
{
    try {
        const std::optional<QString> chosen = openFileName(page, scriptFileRequest());
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

} // namespace app
