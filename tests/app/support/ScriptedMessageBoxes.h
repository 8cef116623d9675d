// Test support for GUI tests of larkspur-admin's windows (library larkspur_test_support).
//
// How to use it from a page test (e.g. tests/calendar, tests/scripts):
//
//   target_link_libraries(my_page_tests PRIVATE larkspur_test_support Qt6::Test)
//   set_tests_properties(... PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
//
//   testsupport::StoreFixture store;             // fresh store, LARKSPUR_STORE and
//   store.addUser("Alice", "AL");                // LARKSPUR_DRIVE_C point at temp dirs
//   testsupport::ScriptedMessageBoxes boxes;     // every box answered from a script
//   boxes.expectYes();                           // the confirmation
//   boxes.expectOk();                            // the result message
//   auto *page = testsupport::openPage<calendar::frmAUserPersonalCalendarToLarkspurCalendar>();
//   ... QTest::mouseClick(page->cmdFinish(), Qt::LeftButton);
//   QVERIFY2(boxes.allAnswered(), qPrintable(boxes.problems().join('\n')));
//   QCOMPARE(boxes.shown().at(1).text, "...");
//
// and in cleanup(): QVERIFY(testsupport::closeAllWindows()); (no leaked top-level
// widget). No real modal box is ever shown: a box nobody expected is recorded as a
// problem and answered with its last button (No / OK), so a test never blocks.
#pragma once

#include "app/MessageBoxes.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace testsupport {

// One box the program showed.
struct ShownBox {
    QString text;
    int style = 0;
    QString title;
    app::MsgIcon icon = app::MsgIcon::None;
    int buttons = 0; // style & 7
    int answer = 0;
};

// Installs itself as the message box presenter for its lifetime.
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
    ScriptedMessageBoxes &expectYes(std::function<void()> whileShown = {});
    ScriptedMessageBoxes &expectNo(std::function<void()> whileShown = {});

    // Every box shown, in order.
    const QList<ShownBox> &shown() const;
    // Boxes nobody expected and boxes with other buttons than expected.
    QStringList problems() const;
    // Expected boxes not shown yet.
    int pending() const;
    // No problem and nothing pending.
    bool allAnswered() const { return problems().isEmpty() && pending() == 0; }
    // Forgets what was shown and expected.
    void reset();

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::unique_ptr<app::MessageBoxPresenter> m_previous;
};

} // namespace testsupport
