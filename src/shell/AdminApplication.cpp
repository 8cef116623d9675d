#include "shell/AdminApplication.h"

#include "app/TopLevelError.h"
#include "app/Twips.h"

#include <QDir>
#include <QIcon>

namespace shell {

AdminApplication::AdminApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool AdminApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        app::reportCurrentException();
        return false;
    }
}

void setUpApplicationLook()
{
    app::registerTahoma();
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Tahoma")});
    QApplication::setFont(font);
    const QString icon = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Books05.ICO"));
    if (QFile::exists(icon))
        QApplication::setWindowIcon(QIcon(icon));
}

} // namespace shell
