// Scripted message boxes and file dialogs for GUI tests: each installs itself as the
// program's presenter for its lifetime, so no real modal box or dialog is ever shown.
//
//   testsupport::ScriptedMessageBoxes boxes;
//   boxes.expectYes().expectOk();               // the confirmation, the result
//   QTest::mouseClick(page->cmdFinish(), Qt::LeftButton);
//   QCOMPARE(boxes.shown().value(1).text, "...");
//   ... and at the end: boxes.problems() empty, boxes.pending() 0.
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
};

class ScriptedMessageBoxes {
public:
    ScriptedMessageBoxes() : m_previous(app::setMessageBoxPresenter(std::make_unique<Presenter>(this))) {}
    ~ScriptedMessageBoxes() { app::setMessageBoxPresenter(std::move(m_previous)); }
    ScriptedMessageBoxes(const ScriptedMessageBoxes &) = delete;
    ScriptedMessageBoxes &operator=(const ScriptedMessageBoxes &) = delete;

    // The next box must offer OK (Yes and No) and is answered so. `whileShown` runs while
    // the box is "on screen", so a test can look at the windows at that moment (the wait
    // cursor, for one).
    ScriptedMessageBoxes &expectOk(std::function<void()> whileShown = {})
    {
        return expect(app::MsgStyle::OKOnly, app::MsgAnswer::OK, std::move(whileShown));
    }
    ScriptedMessageBoxes &expectYes() { return expect(app::MsgStyle::YesNo, app::MsgAnswer::Yes); }
    ScriptedMessageBoxes &expectNo() { return expect(app::MsgStyle::YesNo, app::MsgAnswer::No); }

    const QList<ShownBox> &shown() const { return m_shown; }
    // Boxes nobody expected and boxes with other buttons than expected.
    const QStringList &problems() const { return m_problems; }
    // Expected boxes not shown (yet).
    int pending() const { return int(m_expected.size()); }

private:
    ScriptedMessageBoxes &expect(int buttons, int answer, std::function<void()> whileShown = {})
    {
        m_expected.append({buttons, answer, std::move(whileShown)});
        return *this;
    }
    struct Presenter : app::MessageBoxPresenter {
        explicit Presenter(ScriptedMessageBoxes *owner) : script(owner) {}
        int present(const app::MessageBoxRequest &request) override { return script->present(request); }
        ScriptedMessageBoxes *script;
    };
    int present(const app::MessageBoxRequest &request)
    {
        m_shown.append({request.text, request.style, request.title, request.icon()});
        const QList<int> offered = app::answersOffered(request.buttons());
        if (m_expected.isEmpty()) {
            m_problems << QStringLiteral("unexpected box \"%1\": %2").arg(request.title, request.text);
            return offered.last();
        }
        const Expected next = m_expected.takeFirst();
        if (next.buttons != request.buttons())
            m_problems << QStringLiteral("box \"%1\" offers buttons %2: %3")
                              .arg(request.title, QString::number(request.buttons()), request.text);
        if (next.whileShown)
            next.whileShown();
        return offered.contains(next.answer) ? next.answer : offered.last();
    }

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
    ScriptedFileDialog() : m_previous(app::setFileDialogPresenter(std::make_unique<Presenter>(this))) {}
    ~ScriptedFileDialog() { app::setFileDialogPresenter(std::move(m_previous)); }
    ScriptedFileDialog(const ScriptedFileDialog &) = delete;
    ScriptedFileDialog &operator=(const ScriptedFileDialog &) = delete;

    // The next dialog's answer: a path, or std::nullopt for "Cancel".
    ScriptedFileDialog &answer(std::optional<QString> path)
    {
        m_answers.append(std::move(path));
        return *this;
    }
    const QList<app::FileDialogRequest> &requests() const { return m_requests; }
    int unexpected() const { return m_unexpected; }

private:
    struct Presenter : app::FileDialogPresenter {
        explicit Presenter(ScriptedFileDialog *owner) : script(owner) {}
        std::optional<QString> present(QWidget *, const app::FileDialogRequest &request) override
        {
            script->m_requests.append(request);
            if (script->m_answers.isEmpty())
                ++script->m_unexpected;
            return script->m_answers.isEmpty() ? std::nullopt : script->m_answers.takeFirst();
        }
        ScriptedFileDialog *script;
    };

    QList<std::optional<QString>> m_answers;
    QList<app::FileDialogRequest> m_requests;
    int m_unexpected = 0;
    std::unique_ptr<app::FileDialogPresenter> m_previous;
};

} // namespace testsupport
