// The frame every action page shares, on a real store, offscreen, with scripted boxes:
// opening, Back, Close, the input checks, the confirmation, the checks after it, logon,
// result, closing step, the error report against the top-level report, the wait cursor,
// the minimise icon, the add-script pages' file button and folder picker, and the
// layout of two pages in twips.
#include "PageTable.h"
#include "ScriptedFileDialog.h"
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include "app/Twips.h"
#include "messaging/Error.h"
#include "messaging/FaultInjection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>

using testsupport::ScriptedMessageBoxes;

namespace {

const QString ConfirmationText = QStringLiteral(
    "Make sure you are logged in as Administrator on the Server. Also, all Mailboxes must be shared to the "
    "Admministrator profile for this application to work correctly. Do you want to continue?");

template <class T = QWidget> T *child(QWidget *page, const char *name)
{
    return page->findChild<T *>(QString::fromLatin1(name));
}

// Opens the page; the call counts then start from zero (page opening logs on for its
// mailbox picker).
app::ActionPage *open(const PageInfo &info)
{
    app::ActionPage *page = info.open();
    messaging::faults::clear();
    return page;
}

void click(QWidget *page, const char *button)
{
    QTest::mouseClick(child<QPushButton>(page, button), Qt::LeftButton);
}

} // namespace

class PageFrameTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void pages_data();
    void confirmationNo_data() { pages_data(); }
    void confirmationNo();
    void finishRunsTheFrame_data() { pages_data(); }
    void finishRunsTheFrame();
    void errorsFollowThePageDiscipline_data() { pages_data(); }
    void errorsFollowThePageDiscipline();
    void backAndClose_data() { pages_data(); }
    void backAndClose();

    void inputChecks_data();
    void inputChecks();
    void eventsAreCheckedAfterTheConfirmation_data();
    void eventsAreCheckedAfterTheConfirmation();
    void errorReportOnAMailboxThatWentAway();

    void minimiseIcon_data();
    void minimiseIcon();
    void iconPath_data() { pages_data(); }
    void iconPath();

    void scriptFileButton_data();
    void scriptFileButton();
    void folderPickerSetsTheScriptName_data();
    void folderPickerSetsTheScriptName();

    void layout_data();
    void layout();

private:
    // Fills what the page's input check asks for.
    void fillRequired(app::ActionPage *page, const PageInfo &info);

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
    QString m_scriptFile;
};

void PageFrameTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_store->addUser("Alice", "AL");
    m_boxes = std::make_unique<ScriptedMessageBoxes>();
    m_scriptFile = m_store->dir() + QStringLiteral("/script.txt");
    QFile script(m_scriptFile);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("Sub Folder_OnMessageCreated\r\nEnd Sub\r\n");
    messaging::faults::clear();
}

void PageFrameTest::cleanup()
{
    messaging::faults::clear();
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

void PageFrameTest::fillRequired(app::ActionPage *page, const PageInfo &info)
{
    if (info.mailboxPicker) {
        auto *picker = child<QComboBox>(page, "cboMailbox");
        picker->setCurrentIndex(picker->findText(QStringLiteral("Mailbox - Alice")));
        QCOMPARE(picker->currentText(), QStringLiteral("Mailbox - Alice"));
    }
    if (info.scriptFile) {
        child<QLineEdit>(page, "txtFileName")->setText(m_scriptFile);
        child<QCheckBox>(page, "chkNew")->setChecked(true);
    }
}

void PageFrameTest::confirmationNo()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(info);
    QVERIFY(window);
    fillRequired(window, info);
    m_boxes->expectNo();
    click(window, "cmdFinish");

    QVERIFY(m_boxes->allAnswered());
    QCOMPARE(m_boxes->shown().size(), 1);
    const testsupport::ShownBox &box = m_boxes->shown().first();
    QCOMPARE(box.text, ConfirmationText);
    QCOMPARE(box.title, QStringLiteral("Application Warning!"));
    QCOMPARE(box.style, 4);
    QCOMPARE(box.icon, app::MsgIcon::None);
    // No touches nothing and unloads the page, except on the pages that stay open.
    QCOMPARE(messaging::faults::callCount("Session.Logon"), 0);
    testsupport::flushDeletes();
    QCOMPARE(window.isNull(), info.closes);
    if (window) {
        if (info.mailboxPicker)
            QCOMPARE(child<QComboBox>(window, "cboMailbox")->currentText(), QStringLiteral("Mailbox - Alice"));
        window->close();
    }
}

void PageFrameTest::finishRunsTheFrame()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(info);
    QVERIFY(window);
    fillRequired(window, info);
    bool waitCursorDuringResult = false;
    m_boxes->expectYes().expectOk([&] {
        waitCursorDuringResult = window && window->testAttribute(Qt::WA_SetCursor)
                                 && window->cursor().shape() == Qt::WaitCursor;
    });
    click(window, "cmdFinish");

    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 2);
    const testsupport::ShownBox &result = m_boxes->shown().at(1);
    QCOMPARE(result.text, info.resultText);
    QCOMPARE(result.style, info.resultStyle);
    QCOMPARE(result.title, info.resultTitle);
    QCOMPARE(messaging::faults::callCount("Session.Logon"), 1);
    QCOMPARE(messaging::faults::callCount("Session.Logoff"), 1);
    QCOMPARE(waitCursorDuringResult, info.waitCursor);
    testsupport::flushDeletes();
    QCOMPARE(window.isNull(), info.closes);
    if (window) {
        QVERIFY(!window->testAttribute(Qt::WA_SetCursor));
        window->close();
    }
    QCOMPARE(m_store->check(), QStringList());
}

void PageFrameTest::errorsFollowThePageDiscipline()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(info);
    QVERIFY(window);
    fillRequired(window, info);
    testsupport::RecordedTopLevelErrors reports;
    messaging::faults::failCall("Session.Logon", 1, messaging::ErrorCode::LogonFailed);
    m_boxes->expectYes().expectOk();
    click(window, "cmdFinish");

    QVERIFY(m_boxes->allAnswered());
    const testsupport::ShownBox &box = m_boxes->shown().at(1);
    QCOMPARE(box.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    if (info.errorTrap) {
        // The page's error report: no logoff, no result, no closing step.
        QVERIFY2(box.text.startsWith(QStringLiteral("Error: ")), qPrintable(box.text));
        QVERIFY2(box.text.endsWith(QStringLiteral(" (-2147221231)")), qPrintable(box.text));
        QCOMPARE(box.style, 0);
        QVERIFY(!reports.reported());
        testsupport::flushDeletes();
        QVERIFY(window);
        // Finish again: a new session, and this time the work runs.
        m_boxes->reset();
        m_boxes->expectYes().expectOk();
        click(window, "cmdFinish");
        QVERIFY(m_boxes->allAnswered());
        QCOMPARE(messaging::faults::callCount("Session.Logon"), 2);
        QCOMPARE(m_boxes->shown().at(1).text, info.resultText);
        testsupport::flushDeletes();
        QCOMPARE(window.isNull(), info.closes);
    } else {
        // No trap: the top-level report shows the number and ends the program.
        QCOMPARE(reports.exitCodes(), QList<int>{1});
        QCOMPARE(box.icon, app::MsgIcon::Critical);
        QVERIFY2(box.text.contains(QStringLiteral("-2147221231")), qPrintable(box.text));
    }
    if (window)
        window->close();
}

void PageFrameTest::backAndClose()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    // Back unloads without a question, also with fields filled in.
    QPointer<app::ActionPage> window = open(info);
    fillRequired(window, info);
    click(window, "cmdBack");
    testsupport::flushDeletes();
    QVERIFY(window.isNull());
    QVERIFY(m_boxes->shown().isEmpty());

    // Close asks; No keeps the page as it is, Yes unloads it.
    window = open(info);
    fillRequired(window, info);
    m_boxes->expectNo().expectYes();
    click(window, "cmdCancel");
    testsupport::flushDeletes();
    QVERIFY(window);
    if (info.mailboxPicker)
        QCOMPARE(child<QComboBox>(window, "cboMailbox")->currentText(), QStringLiteral("Mailbox - Alice"));
    click(window, "cmdCancel");
    testsupport::flushDeletes();
    QVERIFY(window.isNull());
    QVERIFY(m_boxes->allAnswered());
    for (const testsupport::ShownBox &box : m_boxes->shown()) {
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
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");

    const QString mailbox = QStringLiteral("You must choose a Mailbox from the list");
    const QString file = QStringLiteral("You must enter the file name and path of the script file.");
    QTest::newRow("copy one no mailbox") << "frmAUserPersonalCalendarToLarkspurCalendar" << false << false << mailbox
                                    << "Choose Mailbox";
    QTest::newRow("delete user items no mailbox") << "frmDeleteSingleUsersItemsFromLarkspurCalendar" << false << false << mailbox
                                    << "Choose Mailbox";
    QTest::newRow("add script nothing") << "frmAddAnEventScriptToOneUsersPersonalFolder" << false << false << mailbox
                                 << "Choose Mailbox";
    QTest::newRow("add script no mailbox") << "frmAddAnEventScriptToOneUsersPersonalFolder" << false << true << mailbox
                                    << "Choose Mailbox";
    QTest::newRow("add script no file") << "frmAddAnEventScriptToOneUsersPersonalFolder" << true << false << file
                                 << "Missing Information";
    QTest::newRow("add script for all no file") << "frmAddEventToAPersonalFolderForAllUsers" << false << false << file
                                 << "Missing Information";
    QTest::newRow("delete folder scripts no mailbox") << "frmDeleteScriptsFromOneFolderForMailbox" << false << false << mailbox
                                    << "Choose Mailbox";
    QTest::newRow("delete mailbox scripts no mailbox") << "frmDeleteAllScriptsFromOneMailbox" << false << false << mailbox
                                    << "Choose Mailbox";
}

void PageFrameTest::inputChecks()
{
    QFETCH(QString, page);
    QFETCH(bool, chooseMailbox);
    QFETCH(bool, enterFile);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QPointer<app::ActionPage> window = open(pageInfo(page));
    QVERIFY(window);
    auto *mailbox = child<QComboBox>(window, "cboMailbox");
    if (mailbox && chooseMailbox)
        mailbox->setCurrentIndex(0);
    auto *fileName = child<QLineEdit>(window, "txtFileName");
    if (fileName && enterFile)
        fileName->setText(m_scriptFile);
    const QString scriptName = fileName ? child<QLineEdit>(window, "txtScriptName")->text() : QString();
    m_boxes->expectOk();
    click(window, "cmdFinish");

    QVERIFY(m_boxes->allAnswered());
    QCOMPARE(m_boxes->shown().size(), 1); // no confirmation after a failed check
    const testsupport::ShownBox &box = m_boxes->shown().first();
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, title);
    QCOMPARE(box.style, 16);
    QCOMPARE(box.icon, app::MsgIcon::Critical);
    QCOMPARE(messaging::faults::callCount("Session.Logon"), 0);
    // The page stays open with its fields as they were.
    testsupport::flushDeletes();
    QVERIFY(window);
    if (mailbox)
        QCOMPARE(mailbox->currentIndex(), chooseMailbox ? 0 : -1);
    if (fileName) {
        QCOMPARE(fileName->text(), enterFile ? m_scriptFile : QString());
        QCOMPARE(child<QLineEdit>(window, "txtScriptName")->text(), scriptName);
    }
    window->close();
}

void PageFrameTest::eventsAreCheckedAfterTheConfirmation_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("add script") << "frmAddAnEventScriptToOneUsersPersonalFolder";
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers";
}

void PageFrameTest::eventsAreCheckedAfterTheConfirmation()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(info);
    fillRequired(window, info);
    child<QCheckBox>(window, "chkNew")->setChecked(false);
    m_boxes->expectYes().expectOk();
    click(window, "cmdFinish");

    QVERIFY(m_boxes->allAnswered());
    QCOMPARE(m_boxes->shown().size(), 2);
    QCOMPARE(m_boxes->shown().at(0).text, ConfirmationText);
    const testsupport::ShownBox &box = m_boxes->shown().at(1);
    QCOMPARE(box.text, QStringLiteral("You have not checked any events for your script"));
    QCOMPARE(box.title, QStringLiteral("Choose Events!"));
    QCOMPARE(box.style, 16);
    QCOMPARE(messaging::faults::callCount("Session.Logon"), 0);
    testsupport::flushDeletes();
    QVERIFY(window); // no closing step
    window->close();
}

void PageFrameTest::errorReportOnAMailboxThatWentAway()
{
    QPointer<app::ActionPage> window = open(pageInfo(QStringLiteral("frmDeleteAllScriptsFromOneMailbox")));
    auto *mailbox = child<QComboBox>(window, "cboMailbox");
    mailbox->setCurrentIndex(mailbox->findText(QStringLiteral("Mailbox - Alice")));
    m_store->unshare("Mailbox - Alice");
    m_boxes->expectYes().expectOk().expectYes().expectOk();
    click(window, "cmdFinish");
    click(window, "cmdFinish");
    QVERIFY(m_boxes->allAnswered());
    for (int i : {1, 3}) {
        const testsupport::ShownBox &box = m_boxes->shown().at(i);
        QVERIFY2(box.text.startsWith(QStringLiteral("Error: ")) && box.text.contains(QStringLiteral("Mailbox - Alice"))
                     && box.text.endsWith(QStringLiteral(" (-2147221233)")),
                 qPrintable(box.text));
        QCOMPARE(box.style, 0);
        QCOMPARE(box.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    }
    // Each press logged on anew; the sessions were released without a logoff.
    QCOMPARE(messaging::faults::callCount("Session.Logon"), 2);
    QCOMPARE(messaging::faults::callCount("Session.Logoff"), 0);
    QVERIFY(window);
    window->close();
}

void PageFrameTest::minimiseIcon_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("iconFile"); // "good", "garbage" or "missing"

    QTest::newRow("delete all items existing") << "frmDeleteAllItemsFromLarkspurCalendar" << "good";
    QTest::newRow("delete all items missing") << "frmDeleteAllItemsFromLarkspurCalendar" << "missing";
    QTest::newRow("delete all items unreadable") << "frmDeleteAllItemsFromLarkspurCalendar" << "garbage";
    QTest::newRow("add script for all existing") << "frmAddEventToAPersonalFolderForAllUsers" << "good";
    QTest::newRow("delete all scripts beside the program") << "frmDeleteAllScriptsForAllMailboxes" << "good";
}

void PageFrameTest::minimiseIcon()
{
    QFETCH(QString, page);
    QFETCH(QString, iconFile);
    const PageInfo &info = pageInfo(page);
    if (info.tesselIcon) {
        QDir(m_store->driveC()).mkpath(QStringLiteral("Tessel"));
        const QString target = m_store->driveC() + QStringLiteral("/Tessel/Books05.ICO");
        if (iconFile == QLatin1String("good"))
            QVERIFY(QFile::copy(QStringLiteral(LARKSPUR_ICON_FILE), target));
        if (iconFile == QLatin1String("garbage")) {
            QFile garbage(target);
            QVERIFY(garbage.open(QIODevice::WriteOnly));
            garbage.write("not an icon at all");
        }
    } else {
        // The application's folder: the build copies the icon beside this test program.
        QVERIFY(QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/Books05.ICO")));
    }
    testsupport::RecordedTopLevelErrors reports;
    QPointer<app::ActionPage> window = open(info);
    const qint64 before = window->windowIcon().cacheKey();

    window->setWindowState(Qt::WindowMaximized);
    QCOMPARE(window->windowIcon().cacheKey(), before); // only minimising loads it
    window->setWindowState(Qt::WindowMinimized);
    const QIcon minimised = window->windowIcon();
    if (iconFile == QLatin1String("good")) {
        QVERIFY(minimised.cacheKey() != before);
        const QList<QSize> sizes = minimised.availableSizes();
        for (int size : {16, 32, 48})
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
    } else {
        QCOMPARE(minimised.cacheKey(), before);
    }
    window->setWindowState(Qt::WindowNoState);
    QCOMPARE(window->windowIcon().cacheKey(), minimised.cacheKey());
    // A missing or unreadable file is no error: nothing shown, the program goes on.
    QVERIFY(!reports.reported());
    QVERIFY(m_boxes->shown().isEmpty());
    window->close();
}

void PageFrameTest::iconPath()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(info);
    const QString expected = info.tesselIcon
                                 ? QStringLiteral("C:\\Tessel\\Books05.ICO")
                                 : QCoreApplication::applicationDirPath() + QStringLiteral("\\Books05.ICO");
    QCOMPARE(window->iconPath(), expected);
    window->close();
}

void PageFrameTest::scriptFileButton_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("add script") << "frmAddAnEventScriptToOneUsersPersonalFolder";
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers";
}

void PageFrameTest::scriptFileButton()
{
    QFETCH(QString, page);
    testsupport::ScriptedFileDialog dialog;
    dialog.choose(m_scriptFile).cancel();
    QPointer<app::ActionPage> window = open(pageInfo(page));
    auto *fileName = child<QLineEdit>(window, "txtFileName");
    click(window, "cmdGetFileName");
    QCOMPARE(fileName->text(), m_scriptFile);
    click(window, "cmdGetFileName"); // cancelled: the name stays
    QCOMPARE(fileName->text(), m_scriptFile);
    QCOMPARE(dialog.requests().size(), 2);
    QCOMPARE(dialog.unexpected(), 0);
    const app::FileDialogRequest &request = dialog.requests().first();
    QCOMPARE(request.filters, (QStringList{"All Files (*.*)", "Text Files (*.txt)", "Batch Files (*.bat)"}));
    QCOMPARE(request.initialFilter, 1);
    QVERIFY(request.hideReadOnly);
    QVERIFY(window->findChild<QObject *>(QStringLiteral("ctlCommonDialog")));
    QVERIFY(m_boxes->shown().isEmpty());
    window->close();
}

void PageFrameTest::folderPickerSetsTheScriptName_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("add script") << "frmAddAnEventScriptToOneUsersPersonalFolder";
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers";
}

void PageFrameTest::folderPickerSetsTheScriptName()
{
    QFETCH(QString, page);
    QPointer<app::ActionPage> window = open(pageInfo(page));
    auto *folder = child<QComboBox>(window, "cboPersonalFolder");
    auto *scriptName = child<QLineEdit>(window, "txtScriptName");
    const QString calendarName = QStringLiteral("Larkspur Calendar - Personal Calendar Folder");
    QCOMPARE(scriptName->text(), calendarName);
    // Picks as the user makes them: the picker's activation.
    const auto pick = [&](const QString &name) {
        const int index = folder->findText(name);
        folder->setCurrentIndex(index);
        emit folder->activated(index);
    };
    pick(QStringLiteral("Deleted Items"));
    QCOMPARE(scriptName->text(), QStringLiteral("Larkspur Calendar - Deleted Items Folder"));
    pick(QStringLiteral("Calendar"));
    QCOMPARE(scriptName->text(), calendarName);
    scriptName->setText(QStringLiteral("typed by hand"));
    pick(QStringLiteral("Inbox"));
    QCOMPARE(scriptName->text(), QStringLiteral("typed by hand"));
    window->close();
}

void PageFrameTest::layout_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips"); // height 0: the control keeps its own height
    QTest::addColumn<QString>("caption");

    const QString p41 = QStringLiteral("frmAddAnEventScriptToOneUsersPersonalFolder");
    const struct {
        const char *control;
        QRect twips;
        const char *caption;
    } rows41[] = {
        {"lblMailbox", QRect(240, 300, 1755, 375), "Mailbox Name:"},
        {"cboMailbox", QRect(2040, 300, 5115, 405), ""},
        {"Label2", QRect(240, 900, 1755, 375), "Personal Folder:"},
        {"cboPersonalFolder", QRect(2040, 900, 5115, 405), "Calendar"},
        {"Label3", QRect(240, 1500, 1755, 375), "Script Name:"},
        {"txtScriptName", QRect(2040, 1500, 5115, 405), "Larkspur Calendar - Personal Calendar Folder"},
        {"Label1", QRect(240, 2100, 1935, 375), "Script File Name:"},
        {"txtFileName", QRect(240, 2580, 6375, 1155), ""},
        {"cmdGetFileName", QRect(6720, 2880, 435, 375), "..."},
        {"chkNew", QRect(240, 3780, 975, 315), "New"},
        {"chkChanged", QRect(1880, 3780, 1515, 315), "Changed"},
        {"chkDelete", QRect(3700, 3780, 1155, 315), "Delete"},
        {"chkSchedule", QRect(5160, 3780, 1455, 315), "Schedule"},
        {"cmdCancel", QRect(180, 5640, 1335, 495), "Close"},
        {"cmdFinish", QRect(2060, 5640, 1335, 495), "Finish"},
        {"cmdBack", QRect(3940, 5640, 1335, 495), "Back"},
        {"cmdNext", QRect(5820, 5640, 1335, 495), "Next"},
    };
    for (const auto &row : rows41)
        QTest::newRow(qPrintable(QStringLiteral("add script ") + QString::fromLatin1(row.control)))
            << p41 << row.control << row.twips << row.caption;

    const QString p31 = QStringLiteral("frmAUserPersonalCalendarToLarkspurCalendar");
    const struct {
        const char *control;
        QRect twips;
        const char *caption;
    } rows31[] = {
        {"lblMailbox", QRect(480, 300, 1695, 375), "Mailbox Name:"},
        {"cboMailbox", QRect(2460, 300, 3975, 405), ""},
        {"lblTitle", QRect(480, 3840, 6015, 1155),
         "All Calendar Items for the User Selected Above Will Be Copied to the Larkspur Calendar"},
        {"cmdCancel", QRect(180, 5520, 1335, 495), "Close"},
        {"cmdFinish", QRect(2060, 5520, 1335, 495), "Finish"},
        {"cmdBack", QRect(3940, 5520, 1335, 495), "Back"},
        {"cmdNext", QRect(5820, 5520, 1335, 495), "Next"},
    };
    for (const auto &row : rows31)
        QTest::newRow(qPrintable(QStringLiteral("copy one ") + QString::fromLatin1(row.control)))
            << p31 << row.control << row.twips << row.caption;
}

void PageFrameTest::layout()
{
    QFETCH(QString, page);
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QPointer<app::ActionPage> window = open(pageInfo(page));
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
    // Fonts: the window and its buttons Tahoma 12 bold, the title 15.75 bold, fields 12.
    QCOMPARE(widget->font().family(), QStringLiteral("Tahoma"));
    if (control == QLatin1String("lblTitle")) {
        QCOMPARE(widget->font().pointSizeF(), 15.75);
        QVERIFY(widget->font().bold());
    } else if (control.startsWith(QLatin1String("cmd"))) {
        QCOMPARE(widget->font().pointSizeF(), 12.0);
        QVERIFY(widget->font().bold());
    } else {
        QCOMPARE(widget->font().pointSizeF(), 12.0);
        QVERIFY(!widget->font().bold());
    }
    window->close();
}

QTEST_MAIN(PageFrameTest)
#include "tst_pageframe.moc"
