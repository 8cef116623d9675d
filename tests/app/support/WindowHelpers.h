// Window helpers for GUI tests (larkspur_test_support).
#pragma once

#include "app/TopLevelError.h"

#include <QApplication>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace testsupport {

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

} // namespace testsupport
