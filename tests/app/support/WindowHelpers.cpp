#include "WindowHelpers.h"

#include <QCoreApplication>
#include <QEvent>

namespace testsupport {

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void click(const QWidget *window, const char *button)
{
    QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
    flushDeletes();
}

QWidget *findWindow(const QString &objectName)
{
    flushDeletes();
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == objectName)
            return widget;
    }
    return nullptr;
}

QStringList liveTopLevels()
{
    flushDeletes();
    QStringList names;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        // A combo box's popup is a window of its own but belongs to its combo box.
        if (widget->parentWidget())
            continue;
        names.append(widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                                    : widget->objectName());
    }
    return names;
}

QStringList closeLeakedWindows()
{
    const QStringList leaked = liveTopLevels();
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->parentWidget())
            delete widget;
    }
    flushDeletes();
    return leaked;
}

RecordedTopLevelErrors::RecordedTopLevelErrors()
    : m_codes(std::make_shared<QList<int>>())
{
    app::resetUnhandledError();
    auto codes = m_codes;
    m_previous = app::setEndProgram([codes](int exitCode) { codes->append(exitCode); });
}

RecordedTopLevelErrors::~RecordedTopLevelErrors()
{
    app::setEndProgram(std::move(m_previous));
    app::resetUnhandledError();
}

QStringList WindowFixture::leftovers()
{
    QStringList left = boxes.problems();
    for (const QString &window : closeLeakedWindows())
        left << QStringLiteral("left open: ") + window;
    if (dialog.unexpected() > 0)
        left << QStringLiteral("unexpected file dialogs: %1").arg(dialog.unexpected());
    return left;
}

} // namespace testsupport
