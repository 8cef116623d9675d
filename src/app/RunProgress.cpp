#include "app/RunProgress.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>

#include <exception>

namespace app {

namespace {

constexpr qint64 RepaintAfterMs = 100;
constexpr qint64 StepsPerRun = 200;

// Where the run is, in steps that are worth a repaint: every user of a walk over users
// (at most StepsPerRun of them), else every 1/StepsPerRun of the known items.
qint64 stepOf(const actions::Progress &p)
{
    if (p.usersTotal > 0)
        return p.usersDone * StepsPerRun / p.usersTotal;
    if (p.usersTotal == 0)
        return 0;
    if (p.itemsTotal > 0)
        return p.itemsDone * StepsPerRun / p.itemsTotal;
    return -1;
}

bool isUserInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
        return true;
    case QEvent::Close:
        return event->spontaneous(); // the window manager's close button
    default:
        return false;
    }
}

} // namespace

RunProgress::RunProgress(QLabel *label) : m_label(label)
{
    QCoreApplication::instance()->installEventFilter(this);
    if (m_label)
        m_label->clear();
}

RunProgress::~RunProgress()
{
    // Input the window system queued during the run arrives now and is dropped, so a key
    // pressed while waiting does not answer the result box that comes next. Not while an
    // error unwinds the run: it goes straight to its report.
    if (std::uncaught_exceptions() == 0)
        QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(this);
}

actions::ProgressCallback RunProgress::callback()
{
    if (!m_label)
        return {};
    return [this](const actions::Progress &progress) { update(progress); };
}

QString RunProgress::text(const actions::Progress &p)
{
    const QString stage = QString::fromLatin1(p.stage);
    QString done;
    if (stage == QLatin1String("copy"))
        done = QStringLiteral("items copied");
    else if (stage == QLatin1String("delete"))
        done = QStringLiteral("items deleted");
    else if (stage == QLatin1String("install"))
        done = QStringLiteral("scripts installed");
    else
        done = QStringLiteral("scripts removed");
    QString items = QString::number(p.itemsDone);
    if (p.itemsTotal >= 0)
        items += QStringLiteral(" of ") + QString::number(p.itemsTotal);
    if (p.usersTotal < 0 && p.usersDone == 0)
        return items + QLatin1Char(' ') + done;
    QString users = QString::number(p.usersDone);
    if (p.usersTotal >= 0)
        users += QStringLiteral(" of ") + QString::number(p.usersTotal);
    return users + QStringLiteral(" users, ") + items + QLatin1Char(' ') + done;
}

void RunProgress::update(const actions::Progress &progress)
{
    const QString stage = QString::fromLatin1(progress.stage);
    const qint64 step = stepOf(progress);
    const bool due = stage != m_stage || step != m_step || !m_shown.isValid() || m_shown.elapsed() >= RepaintAfterMs;
    if (!due || !m_label)
        return;
    m_stage = stage;
    m_step = step;
    m_shown.start();
    m_label->setText(text(progress));
    m_label->repaint();
    // What the screen needs (exposures, the window system's paint requests); input
    // waits in its queue until the run ends, and the filter drops it then.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool RunProgress::eventFilter(QObject *watched, QEvent *event)
{
    if (isUserInput(event))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace app
