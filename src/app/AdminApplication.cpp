#include "app/AdminApplication.h"

#include "app/TopLevelError.h"
#include "app/Twips.h"

#include <QDir>
#include <QIcon>

namespace app {

AdminApplication::AdminApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool AdminApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

void setUpApplicationLook()
{
    registerTahoma();
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Tahoma")});
    QApplication::setFont(font);
    const QString icon = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Books05.ICO"));
    if (QFile::exists(icon))
        QApplication::setWindowIcon(QIcon(icon));
}

} // namespace app
