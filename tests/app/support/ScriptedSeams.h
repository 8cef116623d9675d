// Scripted message boxes and file dialogs for GUI tests (larkspur_test_support): each
// installs itself as the program's presenter for its lifetime, so no real modal box or
// dialog is ever shown.
//
//   testsupport::ScriptedMessageBoxes boxes;
//   boxes.expectYes().expectOk();               // the confirmation, the result
//   QTest::mouseClick(page->cmdFinish(), Qt::LeftButton);
//   QVERIFY2(boxes.allAnswered(), qPrintable(boxes.problems().join('\n')));
//   QCOMPARE(boxes.shown().at(1).text, "...");
//
// A box nobody expected, or one offering other buttons than expected, is recorded as a
// problem and answered with its last button (No / OK), so a test never blocks. A file
// dialog takes the next scripted answer (a path, or "Cancel"); one nobody scripted is
// cancelled and counted in unexpected().
#pragma once

#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace testsupport {

// One box the program showed.
struct ShownBox {
    QString text;
    int style = 0;
    QString title;
    app::MsgIcon icon = app::MsgIcon::None;
    int answer = 0;
};

class ScriptedMessageBoxes {
public:
    ScriptedMessageBoxes();
    ~ScriptedMessageBoxes();
    ScriptedMessageBoxes(const ScriptedMessageBoxes &) = delete;
    ScriptedMessageBoxes &operator=(const ScriptedMessageBoxes &) = delete;

    // The next box must offer `buttons` (app::MsgStyle::OKOnly, YesNo ...); it is
    // answered with `answer`. `whileShown` runs while the box is "on screen", so a test
    // can look at the windows at that moment (the wait cursor, for one).
    ScriptedMessageBoxes &expect(int buttons, int answer, std::function<void()> whileShown = {});
    ScriptedMessageBoxes &expectOk(std::function<void()> whileShown = {});
    ScriptedMessageBoxes &expectYes() { return expect(app::MsgStyle::YesNo, app::MsgAnswer::Yes); }
    ScriptedMessageBoxes &expectNo() { return expect(app::MsgStyle::YesNo, app::MsgAnswer::No); }

    const QList<ShownBox> &shown() const { return m_shown; }
    // Boxes nobody expected and boxes with other buttons than expected.
    const QStringList &problems() const { return m_problems; }
    // No problem and no expected box left unshown.
    bool allAnswered() const { return m_problems.isEmpty() && m_expected.isEmpty(); }
    void reset();

    int present(const app::MessageBoxRequest &request);

private:
    struct Expected {
        int buttons;
        int answer;
        std::function<void()> whileShown;
    };
    QList<Expected> m_expected;
    QList<ShownBox> m_shown;
    QStringList m_problems;
    std::unique_ptr<app::MessageBoxPresenter> m_previous;
};

class ScriptedFileDialog {
public:
    ScriptedFileDialog();
    ~ScriptedFileDialog();
    ScriptedFileDialog(const ScriptedFileDialog &) = delete;
    ScriptedFileDialog &operator=(const ScriptedFileDialog &) = delete;

    ScriptedFileDialog &choose(const QString &path);
    ScriptedFileDialog &cancel();

    const QList<app::FileDialogRequest> &requests() const { return m_requests; }
    int unexpected() const { return m_unexpected; }

    std::optional<QString> present(const app::FileDialogRequest &request);

private:
    QList<std::optional<QString>> m_answers;
    QList<app::FileDialogRequest> m_requests;
    int m_unexpected = 0;
    std::unique_ptr<app::FileDialogPresenter> m_previous;
};

} // namespace testsupport
