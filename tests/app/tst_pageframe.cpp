// The frame every action page shares, on a real store, offscreen, with scripted boxes:
// Back, Close, the input checks, the confirmation, the checks after it, logon, result,
// closing step, the error report against the top-level report, the wait cursor, the
// minimise icon, the add-script pages' file button and folder picker, and the layout of
// two pages in twips.
#include "PageTable.h"
#include "ScriptedFileDialog.h"
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include "app/Twips.h"
#include "messaging/Error.h"
#include "messaging/FaultInjection.h"
#include "ScriptStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using testsupport::ShownBox;

namespace {

const QString ConfirmationText = QStringLiteral(
    "Make sure you are logged in as Administrator on the Server. Also, all Mailboxes must be shared to the "
    "Admministrator profile for this application to work correctly. Do you want to continue?");
const QString AliceMailbox = QStringLiteral("Mailbox - Alice");

template <class T = QWidget> T *child(QWidget *page, const char *name)
{
    return page->findChild<T *>(QString::fromLatin1(name));
}

void click(QWidget *page, const char *button)
{
    QTest::mouseClick(child<QPushButton>(page, button), Qt::LeftButton);
}

int calls(const char *operation)
{
    return messaging::faults::callCount(operation);
}

// Runs `onPaint` whenever the watched widget is painted.
struct PaintWatch : QObject {
    std::function<void()> onPaint;
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Paint && (onPaint(), false); }
};

} // namespace

class PageFrameTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void pages_data();
    void answersNoAndBack_data() { pages_data(); }
    void answersNoAndBack();
    void finishRunsTheFrame_data() { pages_data(); }
    void finishRunsTheFrame();
    void errorsFollowThePageDiscipline_data() { pages_data(); }
    void errorsFollowThePageDiscipline();
    void inputChecks_data();
    void inputChecks();
    void errorReportOnAMailboxThatWentAway();
    void minimiseIcon_data();
    void minimiseIcon();
    void addScriptFields_data();
    void addScriptFields();
    void layout_data();
    void layout();
    void progressDuringRun_data();
    void progressDuringRun();

private:
    // Opens the page and fills what its input check asks for; the call counts start
    // from zero afterwards (page opening logs on for its mailbox picker).
    QPointer<app::ActionPage> openFilled(const PageInfo &info, bool fill = true);

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<testsupport::ScriptedMessageBoxes> m_boxes;
    QString m_scriptFile;
    QPointer<app::ActionPage> m_page; // closed by cleanup() when still open
};

void PageFrameTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_store->addUser("Alice", "AL");
    m_boxes = std::make_unique<testsupport::ScriptedMessageBoxes>();
    m_scriptFile = m_store->dir() + QStringLiteral("/script.txt");
    QFile script(m_scriptFile);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("Sub Folder_OnMessageCreated\r\nEnd Sub\r\n");
}

void PageFrameTest::cleanup()
{
    messaging::faults::clear();
    if (m_page)
        m_page->close();
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("left open: ") + leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void PageFrameTest::pages_data()
{
    QTest::addColumn<QString>("page");
    for (const PageInfo &info : pageTable())
        QTest::newRow(qPrintable(info.name)) << info.name;
}

QPointer<app::ActionPage> PageFrameTest::openFilled(const PageInfo &info, bool fill)
{
    QPointer<app::ActionPage> page = info.open();
    if (page && fill && info.mailboxPicker) {
        auto *picker = child<QComboBox>(page, "cboMailbox");
        picker->setCurrentIndex(picker->findText(AliceMailbox));
    }
    if (page && fill && info.scriptFile) {
        child<QLineEdit>(page, "txtFileName")->setText(m_scriptFile);
        child<QCheckBox>(page, "chkNew")->setChecked(true);
    }
    messaging::faults::clear();
    m_page = page;
    return page;
}

void PageFrameTest::finishRunsTheFrame()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = openFilled(info);
    QVERIFY(window);
    bool waitCursorDuringResult = false;
    m_boxes->expectYes().expectOk([&] {
        waitCursorDuringResult = window && window->testAttribute(Qt::WA_SetCursor)
                                 && window->cursor().shape() == Qt::WaitCursor;
    });
    click(window, "cmdFinish");

    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 2);
    const ShownBox &result = m_boxes->shown().at(1);
    QCOMPARE(result.text, info.resultText);
    QCOMPARE(result.style, info.resultStyle);
    QCOMPARE(result.title, info.resultTitle);
    QCOMPARE(calls("Session.Logon"), 1);
    QCOMPARE(calls("Session.Logoff"), 1);
    QCOMPARE(waitCursorDuringResult, info.waitCursor);
    testsupport::flushDeletes();
    QCOMPARE(window.isNull(), info.closes);
    if (window)
        QVERIFY(!window->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(m_store->check(), QStringList());
}

void PageFrameTest::errorsFollowThePageDiscipline()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = openFilled(info);
    QVERIFY(window);
    testsupport::RecordedTopLevelErrors reports;
    messaging::faults::failCall("Session.Logon", 1, messaging::ErrorCode::LogonFailed);
    m_boxes->expectYes().expectOk();
    click(window, "cmdFinish");

    QVERIFY(m_boxes->allAnswered());
    const ShownBox &box = m_boxes->shown().at(1);
    QCOMPARE(box.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    if (!info.errorTrap) {
        // No trap: the top-level report shows the number and ends the program.
        QCOMPARE(reports.exitCodes(), QList<int>{1});
        QCOMPARE(box.icon, app::MsgIcon::Critical);
        QVERIFY2(box.text.contains(QStringLiteral("-2147221231")), qPrintable(box.text));
        return;
    }
    // The page's error report: no logoff, no result, no closing step.
    QVERIFY2(box.text.startsWith(QStringLiteral("Error: ")) && box.text.endsWith(QStringLiteral(" (-2147221231)")),
             qPrintable(box.text));
    QCOMPARE(box.style, 0);
    QVERIFY(!reports.reported());
    testsupport::flushDeletes();
    QVERIFY(window);
    // Finish again: a new session, and this time the work runs.
    m_boxes->reset();
    m_boxes->expectYes().expectOk();
    click(window, "cmdFinish");
    QVERIFY(m_boxes->allAnswered());
    QCOMPARE(calls("Session.Logon"), 2);
    QCOMPARE(m_boxes->shown().at(1).text, info.resultText);
    testsupport::flushDeletes();
    QCOMPARE(window.isNull(), info.closes);
}

void PageFrameTest::answersNoAndBack()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = openFilled(info);
    QVERIFY(window);
    const auto mailboxKept = [&] {
        return !info.mailboxPicker || child<QComboBox>(window, "cboMailbox")->currentText() == AliceMailbox;
    };
    // Close asks; No keeps the page as it is.
    m_boxes->expectNo();
    click(window, "cmdCancel");
    testsupport::flushDeletes();
    QVERIFY(window && mailboxKept());
    // No in the confirmation touches nothing and unloads the page, except on the pages
    // that stay open.
    m_boxes->expectNo();
    click(window, "cmdFinish");
    QVERIFY(m_boxes->allAnswered());
    QCOMPARE(m_boxes->shown().size(), 2);
    const ShownBox &confirmation = m_boxes->shown().at(1);
    QCOMPARE(confirmation.text, ConfirmationText);
    QCOMPARE(confirmation.title, QStringLiteral("Application Warning!"));
    QCOMPARE(confirmation.style, 4);
    QCOMPARE(confirmation.icon, app::MsgIcon::None);
    QCOMPARE(calls("Session.Logon"), 0);
    testsupport::flushDeletes();
    QCOMPARE(window.isNull(), info.closes);
    if (window) {
        QVERIFY(mailboxKept());
        m_boxes->expectYes(); // Close, Yes: unloaded
        click(window, "cmdCancel");
        testsupport::flushDeletes();
        QVERIFY(window.isNull());
    }
    // Back unloads without a question, also with fields filled in.
    const qsizetype shown = m_boxes->shown().size();
    window = openFilled(info);
    click(window, "cmdBack");
    testsupport::flushDeletes();
    QVERIFY(window.isNull());
    QCOMPARE(m_boxes->shown().size(), shown);
    QVERIFY(m_boxes->allAnswered());
    for (const ShownBox &box : m_boxes->shown()) {
        if (box.text == ConfirmationText)
            continue;
        QCOMPARE(box.text, QStringLiteral("You have not completed the administrative action. Do you want to shut down?"));
        QCOMPARE(box.title, QStringLiteral("Action Not Completed!"));
        QCOMPARE(box.style, 4);
    }
}

void PageFrameTest::inputChecks_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("chooseMailbox");
    QTest::addColumn<bool>("enterFile");
    QTest::addColumn<QString>("text"); // after the confirmation when both are given
    QTest::addColumn<QString>("title");

    const QString mailbox = QStringLiteral("You must choose a Mailbox from the list");
    const QString file = QStringLiteral("You must enter the file name and path of the script file.");
    const QString events = QStringLiteral("You have not checked any events for your script");
    const QString addOne = QStringLiteral("frmAddAnEventScriptToOneUsersPersonalFolder");
    const QString addAll = QStringLiteral("frmAddEventToAPersonalFolderForAllUsers");
    for (const char *page : {"frmAUserPersonalCalendarToLarkspurCalendar", "frmDeleteSingleUsersItemsFromLarkspurCalendar",
                             "frmDeleteScriptsFromOneFolderForMailbox", "frmDeleteAllScriptsFromOneMailbox"})
        QTest::newRow(page) << page << false << false << mailbox << "Choose Mailbox";
    QTest::newRow("add script: nothing") << addOne << false << false << mailbox << "Choose Mailbox";
    QTest::newRow("add script: no mailbox") << addOne << false << true << mailbox << "Choose Mailbox";
    QTest::newRow("add script: no file") << addOne << true << false << file << "Missing Information";
    QTest::newRow("add script: no events") << addOne << true << true << events << "Choose Events!";
    QTest::newRow("add for all: no file") << addAll << false << false << file << "Missing Information";
    QTest::newRow("add for all: no events") << addAll << false << true << events << "Choose Events!";
}

void PageFrameTest::inputChecks()
{
    QFETCH(QString, page);
    QFETCH(bool, chooseMailbox);
    QFETCH(bool, enterFile);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QPointer<app::ActionPage> window = openFilled(pageInfo(page), false);
    QVERIFY(window);
    auto *mailbox = child<QComboBox>(window, "cboMailbox");
    if (mailbox && chooseMailbox)
        mailbox->setCurrentIndex(0);
    auto *fileName = child<QLineEdit>(window, "txtFileName");
    if (fileName && enterFile)
        fileName->setText(m_scriptFile);
    const QString scriptName = fileName ? child<QLineEdit>(window, "txtScriptName")->text() : QString();
    // The events are checked after the confirmation; the other checks come before it.
    const bool afterConfirmation = (!mailbox || chooseMailbox) && (!fileName || enterFile);
    if (afterConfirmation)
        m_boxes->expectYes();
    m_boxes->expectOk();
    click(window, "cmdFinish");

    QVERIFY(m_boxes->allAnswered());
    QCOMPARE(m_boxes->shown().size(), afterConfirmation ? 2 : 1);
    if (afterConfirmation)
        QCOMPARE(m_boxes->shown().first().text, ConfirmationText);
    const ShownBox &box = m_boxes->shown().last();
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, title);
    QCOMPARE(box.style, 16);
    QCOMPARE(box.icon, app::MsgIcon::Critical);
    QCOMPARE(calls("Session.Logon"), 0);
    // The page stays open with its fields as they were.
    testsupport::flushDeletes();
    QVERIFY(window);
    if (mailbox)
        QCOMPARE(mailbox->currentIndex(), chooseMailbox ? 0 : -1);
    if (fileName) {
        QCOMPARE(fileName->text(), enterFile ? m_scriptFile : QString());
        QCOMPARE(child<QLineEdit>(window, "txtScriptName")->text(), scriptName);
    }
}

void PageFrameTest::errorReportOnAMailboxThatWentAway()
{
    QPointer<app::ActionPage> window = openFilled(pageInfo(QStringLiteral("frmDeleteAllScriptsFromOneMailbox")));
    m_store->unshare("Mailbox - Alice");
    m_boxes->expectYes().expectOk().expectYes().expectOk();
    click(window, "cmdFinish");
    click(window, "cmdFinish");
    QVERIFY(m_boxes->allAnswered());
    for (int i : {1, 3}) {
        const ShownBox &box = m_boxes->shown().at(i);
        QVERIFY2(box.text.startsWith(QStringLiteral("Error: ")) && box.text.contains(AliceMailbox)
                     && box.text.endsWith(QStringLiteral(" (-2147221233)")) && box.style == 0,
                 qPrintable(box.text));
    }
    // Each press logged on anew; the sessions were released without a logoff.
    QCOMPARE(calls("Session.Logon"), 2);
    QCOMPARE(calls("Session.Logoff"), 0);
    QVERIFY(window);
}

void PageFrameTest::minimiseIcon_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("iconFile"); // "good", "garbage" or "missing"
    const QString tessel = QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar");
    QTest::newRow("existing") << tessel << "good";
    QTest::newRow("missing") << tessel << "missing";
    QTest::newRow("unreadable") << tessel << "garbage";
    QTest::newRow("beside the program") << "frmDeleteAllScriptsForAllMailboxes" << "good";
}

void PageFrameTest::minimiseIcon()
{
    QFETCH(QString, page);
    QFETCH(QString, iconFile);
    const PageInfo &info = pageInfo(page);
    const QString target = m_store->driveC() + QStringLiteral("/Tessel/Books05.ICO");
    QDir(m_store->driveC()).mkpath(QStringLiteral("Tessel"));
    if (iconFile == QLatin1String("good") && info.tesselIcon)
        QVERIFY(QFile::copy(QStringLiteral(LARKSPUR_ICON_FILE), target));
    QFile garbage(target);
    if (iconFile == QLatin1String("garbage"))
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("not an icon at all") > 0 && garbage.flush());
    testsupport::RecordedTopLevelErrors reports;
    QPointer<app::ActionPage> window = openFilled(info);
    // The application's folder: the build copies the icon beside this test program.
    QCOMPARE(window->iconPath(), info.tesselIcon ? QStringLiteral("C:\\Tessel\\Books05.ICO")
                                                 : QCoreApplication::applicationDirPath() + QStringLiteral("\\Books05.ICO"));
    const qint64 before = window->windowIcon().cacheKey();

    window->setWindowState(Qt::WindowMaximized);
    QCOMPARE(window->windowIcon().cacheKey(), before); // only minimising loads it
    window->setWindowState(Qt::WindowMinimized);
    const QIcon minimised = window->windowIcon();
    if (iconFile == QLatin1String("good")) {
        QVERIFY(minimised.cacheKey() != before);
        for (int size : {16, 32, 48})
            QVERIFY2(minimised.availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
    } else {
        QCOMPARE(minimised.cacheKey(), before);
    }
    window->setWindowState(Qt::WindowNoState);
    QCOMPARE(window->windowIcon().cacheKey(), minimised.cacheKey());
    // A missing or unreadable file is no error: nothing shown, the program goes on.
    QVERIFY(!reports.reported());
    QVERIFY(m_boxes->shown().isEmpty());
}

void PageFrameTest::addScriptFields_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("add script") << "frmAddAnEventScriptToOneUsersPersonalFolder";
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers";
}

void PageFrameTest::addScriptFields()
{
    QFETCH(QString, page);
    testsupport::ScriptedFileDialog dialog;
    dialog.choose(m_scriptFile).cancel();
    QPointer<app::ActionPage> window = openFilled(pageInfo(page), false);
    // The file button: the chosen path goes into the field; cancelling leaves it.
    auto *fileName = child<QLineEdit>(window, "txtFileName");
    click(window, "cmdGetFileName");
    QCOMPARE(fileName->text(), m_scriptFile);
    click(window, "cmdGetFileName");
    QCOMPARE(fileName->text(), m_scriptFile);
    QCOMPARE(dialog.requests().size(), 2);
    QCOMPARE(dialog.unexpected(), 0);
    const app::FileDialogRequest &request = dialog.requests().first();
    QCOMPARE(request.filters, (QStringList{"All Files (*.*)", "Text Files (*.txt)", "Batch Files (*.bat)"}));
    QCOMPARE(request.initialFilter, 1);
    QVERIFY(request.hideReadOnly);
    QVERIFY(window->findChild<QObject *>(QStringLiteral("ctlCommonDialog")));

    // The folder picker sets the script name for two folders, as the user picks them.
    auto *folder = child<QComboBox>(window, "cboPersonalFolder");
    auto *scriptName = child<QLineEdit>(window, "txtScriptName");
    const QString calendarName = QStringLiteral("Larkspur Calendar - Personal Calendar Folder");
    QCOMPARE(scriptName->text(), calendarName);
    const auto pick = [&](const char *name) {
        folder->setCurrentIndex(folder->findText(QString::fromLatin1(name)));
        emit folder->activated(folder->currentIndex());
    };
    pick("Deleted Items");
    QCOMPARE(scriptName->text(), QStringLiteral("Larkspur Calendar - Deleted Items Folder"));
    pick("Calendar");
    QCOMPARE(scriptName->text(), calendarName);
    scriptName->setText(QStringLiteral("typed by hand"));
    pick("Inbox");
    QCOMPARE(scriptName->text(), QStringLiteral("typed by hand"));
    QVERIFY(m_boxes->shown().isEmpty());
}

void PageFrameTest::layout_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");

    const auto add = [](const char *page, const char *control, QRect twips, const char *caption) {
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(page, control))) << page << control << twips << caption;
    };
    const char *addOne = "frmAddAnEventScriptToOneUsersPersonalFolder";
    add(addOne, "lblMailbox", {240, 300, 1755, 375}, "Mailbox Name:");
    add(addOne, "cboMailbox", {2040, 300, 5115, 405}, "");
    add(addOne, "Label2", {240, 900, 1755, 375}, "Personal Folder:");
    add(addOne, "cboPersonalFolder", {2040, 900, 5115, 405}, "Calendar");
    add(addOne, "Label3", {240, 1500, 1755, 375}, "Script Name:");
    add(addOne, "txtScriptName", {2040, 1500, 5115, 405}, "Larkspur Calendar - Personal Calendar Folder");
    add(addOne, "Label1", {240, 2100, 1935, 375}, "Script File Name:");
    add(addOne, "txtFileName", {240, 2580, 6375, 1155}, "");
    add(addOne, "cmdGetFileName", {6720, 2880, 435, 375}, "...");
    add(addOne, "chkNew", {240, 3780, 975, 315}, "New");
    add(addOne, "chkChanged", {1880, 3780, 1515, 315}, "Changed");
    add(addOne, "chkDelete", {3700, 3780, 1155, 315}, "Delete");
    add(addOne, "chkSchedule", {5160, 3780, 1455, 315}, "Schedule");
    const char *copyOne = "frmAUserPersonalCalendarToLarkspurCalendar";
    add(copyOne, "lblMailbox", {480, 300, 1695, 375}, "Mailbox Name:");
    add(copyOne, "cboMailbox", {2460, 300, 3975, 405}, "");
    add(copyOne, "lblTitle", {480, 3840, 6015, 1155},
        "All Calendar Items for the User Selected Above Will Be Copied to the Larkspur Calendar");
    // The button row: 1880 twips apart.
    const char *buttons[][2] = {{"cmdCancel", "Close"}, {"cmdFinish", "Finish"}, {"cmdBack", "Back"}, {"cmdNext", "Next"}};
    for (int i = 0; i < 4; ++i) {
        add(addOne, buttons[i][0], {180 + 1880 * i, 5640, 1335, 495}, buttons[i][1]);
        add(copyOne, buttons[i][0], {180 + 1880 * i, 5520, 1335, 495}, buttons[i][1]);
    }
}

void PageFrameTest::layout()
{
    QFETCH(QString, page);
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QPointer<app::ActionPage> window = openFilled(pageInfo(page), false);
    QCOMPARE(window->size(), app::twipsSize(window, 7260, 6270));
    QWidget *widget = window->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), app::twipsRect(window, twips.x(), twips.y(), twips.width(), twips.height()));
    QString text;
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        text = button->text();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        text = label->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        text = edit->text();
    else if (auto *combo = qobject_cast<QComboBox *>(widget))
        text = combo->currentText();
    QCOMPARE(text, caption);
    // Fonts: Tahoma; buttons 12 bold, the title 15.75 bold, fields 12 regular.
    const QFont font = widget->font();
    QCOMPARE(font.family(), QStringLiteral("Tahoma"));
    QCOMPARE(font.pointSizeF(), control == QLatin1String("lblTitle") ? 15.75 : 12.0);
    QCOMPARE(font.bold(), control == QLatin1String("lblTitle") || control.startsWith(QLatin1String("cmd")));
}

void PageFrameTest::progressDuringRun_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("last"); // the progress line when the run ends
    QTest::newRow("copy all") << "frmCopyAllPersonalCalendarsLarkspurCalendar" << "4 of 4 users, 6 items copied";
    QTest::newRow("delete all") << "frmDeleteAllItemsFromLarkspurCalendar" << "3 of 3 items deleted";
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers"
                                        << "3 of 3 users, 3 scripts installed";
    QTest::newRow("delete all scripts") << "frmDeleteAllScriptsForAllMailboxes" << "3 of 3 users, 3 scripts removed";
}

void PageFrameTest::progressDuringRun()
{
    QFETCH(QString, page);
    QFETCH(QString, last);
    m_store->addUser("Bob", "BB");
    m_store->addUser("Cid", "CI");
    messaging::Session s;
    s.Logon("Administrator");
    for (const std::string user : {"Alice", "Bob", "Cid"}) {
        worktest::addItems(worktest::calendarOf(s, "Mailbox - " + user), {{"one"}, {"two"}});
        worktest::addBinding(s, worktest::calendarOf(s, "Mailbox - " + user), "script");
    }
    worktest::addItems(worktest::sharedFolder(s), {{"a"}, {"b"}, {"c"}});
    s.Logoff();
    QPointer<app::ActionPage> window = openFilled(pageInfo(page));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *label = child<QLabel>(window, "lblProgress");

    // The texts painted; at the first, a click and a key on Close and a click on Finish,
    // none of which may act.
    QStringList painted;
    PaintWatch watch;
    watch.onPaint = [&] {
        if (label->text().isEmpty() || (!painted.isEmpty() && painted.last() == label->text()))
            return;
        painted << label->text();
        if (painted.size() == 1) {
            QTest::mouseClick(window->cmdCancel(), Qt::LeftButton);
            QTest::keyClick(window->cmdCancel(), Qt::Key_Space);
            QTest::mouseClick(window->cmdFinish(), Qt::LeftButton);
        }
    };
    label->installEventFilter(&watch);
    QSignalSpy closes(window->cmdCancel(), &QPushButton::clicked);
    m_boxes->expectYes().expectOk();
    click(window, "cmdFinish");

    QVERIFY2(painted.size() >= 3 && painted.last() == last, qPrintable(painted.join(QLatin1Char('|'))));
    QCOMPARE(closes.count(), 0);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 2); // the confirmation and the result, nothing else
}

QTEST_MAIN(PageFrameTest)
#include "tst_pageframe.moc"
