// Window helpers for GUI tests: the fixture every window test starts from, finding and
// clicking controls by objectName, the windows alive, and the top-level error report
// recorded instead of ending the program.
#pragma once

#include "ScriptedSeams.h"
#include "StoreFixture.h"

#include "app/TopLevelError.h"

#include <QApplication>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QWidget>

namespace testsupport {

inline QString qpath(const std::filesystem::path &path)
{
    return QString::fromStdString(path.string());
}

inline QStringList qstrings(const std::vector<std::string> &texts)
{
    QStringList list;
    for (const std::string &text : texts)
        list << QString::fromStdString(text);
    return list;
}

// The child control of that objectName (nullptr when the window has none).
template <class T = QWidget> T *child(const QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

// Deletes the widgets whose deleteLater() is pending (unloaded pages).
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Clicks a window's button of that objectName, then lets unloaded windows go.
inline void click(const QWidget *window, const char *button)
{
    QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
    flushDeletes();
}

// The top-level windows alive now (a combo box's popup belongs to its combo box).
inline QList<QWidget *> windows()
{
    flushDeletes();
    QList<QWidget *> list;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->parentWidget())
            list << widget;
    }
    return list;
}

inline QStringList liveTopLevels()
{
    QStringList names;
    for (const QWidget *widget : windows())
        names << (widget->objectName().isEmpty() ? widget->metaObject()->className() : widget->objectName());
    return names;
}

// The top-level window of that objectName that is still alive, or nullptr.
inline QWidget *findWindow(const QString &objectName)
{
    for (QWidget *widget : windows()) {
        if (widget->objectName() == objectName)
            return widget;
    }
    return nullptr;
}

// Records the top-level error report instead of ending the program, for its lifetime.
class RecordedTopLevelErrors {
public:
    RecordedTopLevelErrors() : m_previous(app::setEndProgram([this](int exitCode) { m_codes << exitCode; }))
    {
        app::resetUnhandledError();
    }
    ~RecordedTopLevelErrors()
    {
        app::setEndProgram(std::move(m_previous));
        app::resetUnhandledError();
    }
    RecordedTopLevelErrors(const RecordedTopLevelErrors &) = delete;
    RecordedTopLevelErrors &operator=(const RecordedTopLevelErrors &) = delete;

    // Exit codes the program would have ended with, one per report.
    const QList<int> &exitCodes() const { return m_codes; }
    bool reported() const { return !m_codes.isEmpty(); }

private:
    QList<int> m_codes;
    app::EndProgram m_previous;
};

// What every window test starts from: a fresh store, scripted boxes and file dialogs.
struct WindowFixture {
    StoreFixture store;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialog dialog;

    // For cleanup(): closes every window still open and returns what went wrong: windows
    // left open, unexpected boxes and dialogs, expected boxes never shown.
    QStringList leftovers()
    {
        QStringList left = boxes.problems();
        if (boxes.pending() > 0)
            left << QStringLiteral("expected boxes not shown: %1").arg(boxes.pending());
        for (QWidget *window : windows()) {
            left << QStringLiteral("left open: ") + window->objectName();
            delete window;
        }
        if (dialog.unexpected() > 0)
            left << QStringLiteral("unexpected file dialogs: %1").arg(dialog.unexpected());
        return left;
    }
};

} // namespace testsupport
