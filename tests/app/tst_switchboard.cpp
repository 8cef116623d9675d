// The switchboard on a real store, offscreen: its layout in twips, fonts and tab order,
// the dispatch of every option, one page object per type, pages outliving the
// switchboard, and the folder-identifier action end to end.
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include "app/ActionPage.h"
#include "app/Twips.h"
#include "app/frmSwitchboard.h"
#include "messaging/Error.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Session.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>

using testsupport::ScriptedMessageBoxes;

class SwitchboardTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowAndFonts();
    void tabOrderAndFocus();
    void backAndFinishStayDisabled();

    void dispatch_data();
    void dispatch();
    void nextWithNothingSelectedDoesNothing();
    void secondNextReusesTheOpenPage();
    void pageIsCreatedAfreshAfterBack();
    void pagesOfTwoOptionsAtOnce();
    void closeLeavesAnOpenPageUsable();

    void folderIdentifierEndToEnd();
    void folderIdentifierFailureIsTheTopLevelReport();

private:
    app::frmSwitchboard *showSwitchboard();
    void choose(const char *option);
    void clickNext();

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
    QPointer<app::frmSwitchboard> m_switchboard;
};

void SwitchboardTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_boxes = std::make_unique<ScriptedMessageBoxes>();
}

void SwitchboardTest::cleanup()
{
    if (m_switchboard)
        m_switchboard->close();
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("left open: ") + leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

app::frmSwitchboard *SwitchboardTest::showSwitchboard()
{
    m_switchboard = new app::frmSwitchboard;
    m_switchboard->show();
    return m_switchboard;
}

void SwitchboardTest::choose(const char *option)
{
    auto *radio = m_switchboard->findChild<QRadioButton *>(QString::fromLatin1(option));
    QVERIFY2(radio, option);
    QTest::mouseClick(radio, Qt::LeftButton);
    QVERIFY(radio->isChecked());
}

void SwitchboardTest::clickNext()
{
    QTest::mouseClick(m_switchboard->findChild<QPushButton *>(QStringLiteral("cmdNext")), Qt::LeftButton);
}

void SwitchboardTest::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("lblTitle") << "lblTitle" << "Choose Administrative Action" << QRect(240, 120, 6855, 435);
    QTest::newRow("Frame1") << "Frame1" << "" << QRect(180, 540, 6975, 5235);
    QTest::newRow("cmdCancel") << "cmdCancel" << "Close" << QRect(180, 6060, 1335, 495);
    QTest::newRow("cmdFinish") << "cmdFinish" << "Finish" << QRect(2060, 6060, 1335, 495);
    QTest::newRow("cmdBack") << "cmdBack" << "Back" << QRect(3940, 6060, 1335, 495);
    QTest::newRow("cmdNext") << "cmdNext" << "Next" << QRect(5820, 6060, 1335, 495);
    // The options sit inside Frame1.
    const struct {
        const char *name;
        const char *caption;
        int top;
        int height;
    } options[] = {
        {"optDeleteAllItemsOnLarkspurCalendar", "Delete All Items On The Larkspur Calendar", 300, 315},
        {"optDeleteOneUsersLarkspurCalendarItems", "Delete A Single User's Items From The Larkspur Calendar", 817, 315},
        {"optCopyAPersonalCalendarToLarkspurCalendar", "Copy A Personal Calendar To The Larkspur Calendar", 1334, 315},
        {"optCopyAllPersonalCalendarsToLarkspurCalendar", "Copy All Personal Calendars To The Larkspur Calendar", 1851,
         315},
        {"optAddEventScriptToOneUsersPersonalCalendar", "Add Event Script To One User's Personal Calendar", 2368, 270},
        {"optAddEventScriptToAllPersonalCalendars", "Add Event Script To All Personal Calendars", 2840, 270},
        {"optDeleteScriptFromOneFolderInOneMailbox", "Delete Script From One Folder In One Mailbox", 3312, 270},
        {"optDeleteAllScriptsInAMailbox", "Delete All Scripts In A Mailbox", 3784, 270},
        {"optDeleteAllScriptsInAllMailboxes", "Delete All Scripts In All Mailboxes", 4260, 270},
        {"optGetLarkspurCalendarFolderID", "Get Larkspur Calendar Folder ID", 4740, 270},
    };
    for (const auto &option : options)
        QTest::newRow(option.name) << option.name << option.caption << QRect(180, option.top, 6495, option.height);
}

void SwitchboardTest::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    app::frmSwitchboard *window = showSwitchboard();
    QWidget *control = window->findChild<QWidget *>(name);
    QVERIFY(control);
    const QRect expected = app::twipsRect(window, twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(control->geometry(), expected);
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        QCOMPARE(button->text(), caption);
    else if (auto *label = qobject_cast<QLabel *>(control))
        QCOMPARE(label->text(), caption);
    else if (auto *frame = qobject_cast<QGroupBox *>(control))
        QCOMPARE(frame->title(), caption);
    if (name.startsWith(QLatin1String("opt")))
        QCOMPARE(control->parentWidget()->objectName(), QStringLiteral("Frame1"));
    // 15 twips to the pixel at 96 DPI, to the nearest pixel.
    if (window->logicalDpiX() == 96 && window->logicalDpiY() == 96) {
        const auto px = [](int t) { return qRound(t / 15.0); };
        QCOMPARE(control->geometry(), QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
    }
}

void SwitchboardTest::windowAndFonts()
{
    app::frmSwitchboard *window = showSwitchboard();
    QCOMPARE(window->objectName(), QStringLiteral("frmSwitchboard"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Larkspur Calendar Administration"));
    QCOMPARE(window->size(), app::twipsSize(window, 7260, 6675));
    QCOMPARE(window->font().family(), QStringLiteral("Tahoma"));
    QCOMPARE(window->font().pointSizeF(), 12.0);
    QVERIFY(window->font().bold());
    auto *title = window->findChild<QLabel *>(QStringLiteral("lblTitle"));
    QCOMPARE(title->font().pointSizeF(), 15.75);
    QVERIFY(title->font().bold());
    QVERIFY(title->alignment() & Qt::AlignHCenter);
    const QList<QRadioButton *> options = window->findChildren<QRadioButton *>();
    QCOMPARE(options.size(), 10);
    for (QRadioButton *option : options) {
        QCOMPARE(option->font().family(), QStringLiteral("Tahoma"));
        QCOMPARE(option->font().pointSizeF(), 11.25);
        QVERIFY(option->font().bold());
        QVERIFY2(!option->isChecked(), "no option is set at the start");
    }
}

void SwitchboardTest::tabOrderAndFocus()
{
    app::frmSwitchboard *window = showSwitchboard();
    const QStringList expected{
        "optDeleteAllItemsOnLarkspurCalendar",       "optDeleteOneUsersLarkspurCalendarItems",
        "optCopyAPersonalCalendarToLarkspurCalendar", "optCopyAllPersonalCalendarsToLarkspurCalendar",
        "optAddEventScriptToOneUsersPersonalCalendar", "optAddEventScriptToAllPersonalCalendars",
        "optDeleteScriptFromOneFolderInOneMailbox",   "optDeleteAllScriptsInAMailbox",
        "optDeleteAllScriptsInAllMailboxes",          "optGetLarkspurCalendarFolderID",
        "cmdCancel",                                  "cmdFinish",
        "cmdBack",                                    "cmdNext"};
    QStringList chain;
    QWidget *start = window->findChild<QWidget *>(expected.first());
    QWidget *widget = start;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->window() == window)
            chain.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != start && chain.size() < 40);
    QCOMPARE(chain, expected);
    QCOMPARE(window->focusWidget(), start);
}

void SwitchboardTest::backAndFinishStayDisabled()
{
    app::frmSwitchboard *window = showSwitchboard();
    auto button = [&](const char *name) { return window->findChild<QPushButton *>(QString::fromLatin1(name)); };
    QVERIFY(!button("cmdBack")->isEnabled());
    QVERIFY(!button("cmdFinish")->isEnabled());
    QVERIFY(button("cmdNext")->isEnabled());
    QVERIFY(button("cmdCancel")->isEnabled());
    choose("optDeleteAllItemsOnLarkspurCalendar");
    clickNext();
    QVERIFY(!button("cmdBack")->isEnabled());
    QVERIFY(!button("cmdFinish")->isEnabled());
    testsupport::findWindow(QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar"))->close();
}

void SwitchboardTest::dispatch_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("mailboxes"); // entries the page's mailbox picker shows, -1: none

    QTest::newRow("delete all items") << "optDeleteAllItemsOnLarkspurCalendar" << "frmDeleteAllItemsFromLarkspurCalendar" << -1;
    QTest::newRow("delete user items") << "optDeleteOneUsersLarkspurCalendarItems"
                         << "frmDeleteSingleUsersItemsFromLarkspurCalendar" << 2;
    QTest::newRow("copy one") << "optCopyAPersonalCalendarToLarkspurCalendar"
                         << "frmAUserPersonalCalendarToLarkspurCalendar" << 2;
    QTest::newRow("copy all") << "optCopyAllPersonalCalendarsToLarkspurCalendar"
                         << "frmCopyAllPersonalCalendarsLarkspurCalendar" << -1;
    QTest::newRow("add script") << "optAddEventScriptToOneUsersPersonalCalendar"
                         << "frmAddAnEventScriptToOneUsersPersonalFolder" << 2;
    QTest::newRow("add script for all") << "optAddEventScriptToAllPersonalCalendars" << "frmAddEventToAPersonalFolderForAllUsers"
                         << -1;
    QTest::newRow("delete folder scripts") << "optDeleteScriptFromOneFolderInOneMailbox" << "frmDeleteScriptsFromOneFolderForMailbox"
                         << 2;
    QTest::newRow("delete mailbox scripts") << "optDeleteAllScriptsInAMailbox" << "frmDeleteAllScriptsFromOneMailbox" << 2;
    QTest::newRow("delete all scripts") << "optDeleteAllScriptsInAllMailboxes" << "frmDeleteAllScriptsForAllMailboxes" << -1;
}

void SwitchboardTest::dispatch()
{
    QFETCH(QString, option);
    QFETCH(QString, page);
    QFETCH(int, mailboxes);
    m_store->addUser("Alice", "AL");
    showSwitchboard();
    choose(option.toLatin1().constData());
    clickNext();

    QWidget *opened = testsupport::findWindow(page);
    QVERIFY2(opened, qPrintable(page));
    QVERIFY(opened->isVisible());
    QVERIFY(m_switchboard->isVisible());
    QCOMPARE(opened->parentWidget(), nullptr);
    QCOMPARE(app::frmSwitchboard::openPage(page), opened);
    QCOMPARE(opened->windowTitle(), QStringLiteral("Larkspur Calendar Administration"));
    // Page opening: Back and Finish on, Next off, Close on.
    auto button = [&](const char *name) { return opened->findChild<QPushButton *>(QString::fromLatin1(name)); };
    QVERIFY(button("cmdBack")->isEnabled());
    QVERIFY(button("cmdFinish")->isEnabled());
    QVERIFY(!button("cmdNext")->isEnabled());
    QVERIFY(button("cmdCancel")->isEnabled());
    auto *picker = opened->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
    QCOMPARE(picker ? picker->count() : -1, mailboxes);
    // Only this page opened, and no box was shown.
    QCOMPARE(testsupport::liveTopLevels().size(), 2);
    QVERIFY(m_boxes->shown().isEmpty());
    opened->close();
}

void SwitchboardTest::nextWithNothingSelectedDoesNothing()
{
    showSwitchboard();
    clickNext();
    QCOMPARE(testsupport::liveTopLevels(), QStringList{QStringLiteral("frmSwitchboard")});
    QVERIFY(m_boxes->shown().isEmpty());
    QVERIFY(!QFile::exists(m_store->driveC() + QStringLiteral("/Larkspur Calendar ID.Txt")));
}

void SwitchboardTest::secondNextReusesTheOpenPage()
{
    showSwitchboard();
    choose("optDeleteAllScriptsInAMailbox");
    clickNext();
    QWidget *first = testsupport::findWindow(QStringLiteral("frmDeleteAllScriptsFromOneMailbox"));
    QVERIFY(first);
    auto *picker = first->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
    picker->setCurrentIndex(0);
    m_store->addUser("Bob", "BO"); // not shown: the open page is not filled again
    first->setWindowState(Qt::WindowMinimized);
    clickNext();
    QVERIFY(!first->isMinimized()); // brought forward
    QCOMPARE(testsupport::liveTopLevels().size(), 2);
    QCOMPARE(testsupport::findWindow(QStringLiteral("frmDeleteAllScriptsFromOneMailbox")), first);
    QCOMPARE(picker->count(), 1);
    QCOMPARE(picker->currentIndex(), 0);
    first->close();
}

void SwitchboardTest::pageIsCreatedAfreshAfterBack()
{
    showSwitchboard();
    choose("optDeleteOneUsersLarkspurCalendarItems");
    clickNext();
    QPointer<QWidget> first = testsupport::findWindow(QStringLiteral("frmDeleteSingleUsersItemsFromLarkspurCalendar"));
    QVERIFY(first);
    QTest::mouseClick(first->findChild<QPushButton *>(QStringLiteral("cmdBack")), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY(first.isNull());
    m_store->addUser("Carol", "CA");
    clickNext();
    QWidget *second = testsupport::findWindow(QStringLiteral("frmDeleteSingleUsersItemsFromLarkspurCalendar"));
    QVERIFY(second);
    auto *picker = second->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
    QCOMPARE(picker->count(), 2); // filled anew: Carol's mailbox is there now
    QCOMPARE(picker->itemText(1), QStringLiteral("Mailbox - Carol"));
    second->close();
}

void SwitchboardTest::pagesOfTwoOptionsAtOnce()
{
    showSwitchboard();
    choose("optDeleteAllItemsOnLarkspurCalendar");
    clickNext();
    choose("optDeleteAllScriptsInAllMailboxes");
    clickNext();
    QWidget *calendarPage = testsupport::findWindow(QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar"));
    QWidget *scriptsPage = testsupport::findWindow(QStringLiteral("frmDeleteAllScriptsForAllMailboxes"));
    QVERIFY(calendarPage && scriptsPage);
    QVERIFY(calendarPage->isVisible() && scriptsPage->isVisible() && m_switchboard->isVisible());
    // Each is usable on its own: Back on one leaves the other.
    QTest::mouseClick(calendarPage->findChild<QPushButton *>(QStringLiteral("cmdBack")), Qt::LeftButton);
    QCOMPARE(testsupport::findWindow(QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar")), nullptr);
    QVERIFY(scriptsPage->isVisible());
    scriptsPage->close();
}

void SwitchboardTest::closeLeavesAnOpenPageUsable()
{
    showSwitchboard();
    choose("optDeleteScriptFromOneFolderInOneMailbox");
    clickNext();
    QWidget *page = testsupport::findWindow(QStringLiteral("frmDeleteScriptsFromOneFolderForMailbox"));
    QVERIFY(page);
    QTest::mouseClick(m_switchboard->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY(m_switchboard.isNull());
    QVERIFY(m_boxes->shown().isEmpty()); // no question on the switchboard
    QVERIFY(page->isVisible());
    // The page still works: Close asks, No keeps it, Yes unloads it.
    m_boxes->expectNo().expectYes();
    QTest::mouseClick(page->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QVERIFY(testsupport::findWindow(QStringLiteral("frmDeleteScriptsFromOneFolderForMailbox")));
    QTest::mouseClick(page->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QCOMPARE(testsupport::liveTopLevels(), QStringList());
    QVERIFY(m_boxes->allAnswered());
}

void SwitchboardTest::folderIdentifierEndToEnd()
{
    std::string id;
    {
        messaging::Session session;
        session.Logon("Administrator");
        id = session.InfoStores()
                 .Item("Public Folders")
                 .RootFolder()
                 .Folders()
                 .Item(2)
                 .Folders()
                 .Item("Larkspur Calendar")
                 .ID();
        session.Logoff();
    }
    const QString file = m_store->driveC() + QStringLiteral("/Larkspur Calendar ID.Txt");
    {
        QFile earlier(file);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("\"earlier\"\r\n");
    }
    showSwitchboard();
    choose("optGetLarkspurCalendarFolderID");
    bool writtenBeforeBox = false;
    m_boxes->expectOk([&] {
        QFile written(file);
        writtenBeforeBox = written.open(QIODevice::ReadOnly) && written.size() > 11;
    });
    clickNext();
    m_boxes->expectOk();
    clickNext();

    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QVERIFY(writtenBeforeBox);
    QCOMPARE(m_boxes->shown().size(), 2);
    const testsupport::ShownBox &box = m_boxes->shown().first();
    QCOMPARE(box.text, QStringLiteral("Larkspur Calendar ID ") + QString::fromStdString(id)
                           + QStringLiteral("\r\n has been written to the text file C:\\Larkspur Calendar ID.Txt"));
    QCOMPARE(box.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QCOMPARE(box.style, 0);
    QCOMPARE(box.icon, app::MsgIcon::None);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray line = "\"" + QByteArray::fromStdString(id) + "\"\r\n";
    QCOMPARE(written.readAll(), QByteArray("\"earlier\"\r\n") + line + line);
    QCOMPARE(testsupport::liveTopLevels(), QStringList{QStringLiteral("frmSwitchboard")});
}

void SwitchboardTest::folderIdentifierFailureIsTheTopLevelReport()
{
    // The logon fails: there is no store file where LARKSPUR_STORE points.
    qputenv("LARKSPUR_STORE", (m_store->dir() + QStringLiteral("/no-such-store.db")).toLocal8Bit());
    testsupport::RecordedTopLevelErrors reports;
    showSwitchboard();
    choose("optGetLarkspurCalendarFolderID");
    m_boxes->expectOk();
    clickNext();
    QCOMPARE(reports.exitCodes(), QList<int>{1});
    QVERIFY(m_boxes->allAnswered());
    const testsupport::ShownBox &box = m_boxes->shown().first();
    QCOMPARE(box.icon, app::MsgIcon::Critical);
    QVERIFY2(box.text.contains(QString::number(messaging::ErrorCode::LogonFailed)), qPrintable(box.text));
    QVERIFY(!QFile::exists(m_store->driveC() + QStringLiteral("/Larkspur Calendar ID.Txt")));
}

QTEST_MAIN(SwitchboardTest)
#include "tst_switchboard.moc"
