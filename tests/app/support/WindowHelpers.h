// Window helpers for GUI tests (larkspur_test_support).
#pragma once

#include "ScriptedSeams.h"
#include "StoreFixture.h"

#include "app/TopLevelError.h"

#include <QApplication>
#include <QList>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <memory>

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

// Clicks a window's button of that objectName, then lets unloaded windows go.
void click(const QWidget *window, const char *button);

// Deletes the widgets whose deleteLater() is pending (unloaded pages).
void flushDeletes();

// The top-level window of that objectName that is still alive, or nullptr.
QWidget *findWindow(const QString &objectName);

// Names of the top-level widgets alive now (after flushDeletes()).
QStringList liveTopLevels();

// For cleanup(): deletes every top-level widget still alive and returns their names,
// so `QVERIFY2(leaked.isEmpty(), ...)` catches a page or box a test left behind while
// the next test still starts clean.
QStringList closeLeakedWindows();

// Opens a page as the switchboard does: created, page opening run as a handler, shown.
// nullptr when page opening failed (the error went to the top-level report).
template <class Page> Page *openPage()
{
    auto page = std::make_unique<Page>();
    bool opened = false;
    app::runHandler([&] {
        page->openPage();
        opened = true;
    });
    if (!opened)
        return nullptr;
    page->show();
    return page.release();
}

// Records the top-level error report instead of ending the program, for its lifetime.
class RecordedTopLevelErrors {
public:
    RecordedTopLevelErrors();
    ~RecordedTopLevelErrors();
    RecordedTopLevelErrors(const RecordedTopLevelErrors &) = delete;
    RecordedTopLevelErrors &operator=(const RecordedTopLevelErrors &) = delete;

    // Exit codes the program would have ended with, one per report.
    const QList<int> &exitCodes() const { return *m_codes; }
    bool reported() const { return !m_codes->isEmpty(); }

private:
    std::shared_ptr<QList<int>> m_codes;
    app::EndProgram m_previous;
};

// What every window test starts from: a fresh store, scripted boxes and file dialogs.
struct WindowFixture {
    StoreFixture store;
    ScriptedMessageBoxes boxes;
    ScriptedFileDialog dialog;
    // For cleanup(): closes every window still open and returns what went wrong: windows
    // left open, unexpected boxes and dialogs.
    QStringList leftovers();
};

} // namespace testsupport
