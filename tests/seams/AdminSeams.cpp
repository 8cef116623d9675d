// The scripted message boxes and clicks of larkspur-admin-test, the test build of
// larkspur-admin, so that a test runs the whole program without anyone at the screen.
// They are set up from the environment while the application object is made:
//
//   LARKSPUR_SCRIPTED_BOXES="6,1" answers the message boxes in order with these codes
//     (6 Yes, 7 No, 1 OK); a box beyond the list, or one that does not offer the code,
//     gets its first button. Every box is printed on standard error as
//     "BOX style=<n> title=<title> text=<text, CR LF written \r\n> answer=<code>".
//   LARKSPUR_SCRIPTED_CLICKS="frmSwitchboard.optGetLarkspurCalendarFolderID,
//     frmSwitchboard.cmdNext,quit" clicks the named buttons ("window.control", object
//     names) of visible windows in order once the event loop runs; "quit" closes every
//     window. The clicks stop after the top-level error report.
#include "app/MessageBoxes.h"
#include "app/TopLevelError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

namespace {

class EnvironmentPresenter : public app::MessageBoxPresenter {
public:
    explicit EnvironmentPresenter(const QByteArray &script)
    {
        for (const QByteArray &part : script.split(',')) {
            bool ok = false;
            const int answer = part.trimmed().toInt(&ok);
            if (ok)
                m_answers.append(answer);
        }
    }
    int present(const app::MessageBoxRequest &request) override
    {
        const QList<int> offered = app::answersOffered(request.buttons());
        int answer = offered.first();
        if (!m_answers.isEmpty() && offered.contains(m_answers.first()))
            answer = m_answers.takeFirst();
        else if (!m_answers.isEmpty())
            m_answers.removeFirst();
        QString line;
        QTextStream(&line) << "BOX style=" << request.style << " title=" << request.title
                           << " text=" << QString(request.text).replace(QLatin1String("\r\n"), QLatin1String("\\r\\n"))
                           << " answer=" << answer << '\n';
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
        return answer;
    }

private:
    QList<int> m_answers;
};

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
    if (remaining.isEmpty() || app::unhandledErrorReported())
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

void installScriptedSeams()
{
    const QByteArray boxes = qgetenv("LARKSPUR_SCRIPTED_BOXES");
    if (!boxes.isNull())
        app::setMessageBoxPresenter(std::make_unique<EnvironmentPresenter>(boxes));
    const QStringList clicks =
        qEnvironmentVariable("LARKSPUR_SCRIPTED_CLICKS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    // Queued now, run once main() has shown the switchboard and started the event loop.
    if (!clicks.isEmpty())
        QTimer::singleShot(0, qApp, [clicks] { clickNext(clicks); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installScriptedSeams)
