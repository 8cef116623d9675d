#include "app/AdminApplication.h"

#include "app/TopLevelError.h"
#include "app/Twips.h"

#include <QAbstractButton>
#include <QDir>
#include <QIcon>
#include <QTimer>

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

namespace {

QAbstractButton *findButton(const QString &window, const QString &control)
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() != window || !top->isVisible())
            continue;
        if (auto *button = top->findChild<QAbstractButton *>(control))
            return button;
    }
    return nullptr;
}

void clickNext(QStringList remaining)
{
    if (remaining.isEmpty() || unhandledErrorReported())
        return;
    const QString entry = remaining.takeFirst().trimmed();
    if (entry == QLatin1String("quit")) {
        QApplication::closeAllWindows();
    } else {
        const qsizetype dot = entry.indexOf(QLatin1Char('.'));
        QAbstractButton *button = dot > 0 ? findButton(entry.left(dot), entry.mid(dot + 1)) : nullptr;
        if (button)
            button->click();
        else
            qWarning("scripted click: no button %s", qPrintable(entry));
    }
    QTimer::singleShot(0, qApp, [remaining] { clickNext(remaining); });
}

} // namespace

void runScriptedClicks()
{
    const QString script = qEnvironmentVariable("LARKSPUR_SCRIPTED_CLICKS");
    if (script.isEmpty())
        return;
    const QStringList entries = script.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QTimer::singleShot(0, qApp, [entries] { clickNext(entries); });
}

} // namespace app
