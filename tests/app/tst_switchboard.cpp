// The switchboard on a real store, offscreen: its layout in twips, fonts and tab order,
// the dispatch of every option, one page object per type, pages outliving the
// switchboard, and the folder-identifier action end to end.
#include "PageTable.h"
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

namespace {

// The ten options in tab order: caption, top and height inside Frame1 (twips) and the
// page each opens.
const struct Option {
    const char *name, *caption;
    int top, height;
    const char *page;
} Options[] = {
    {"optDeleteAllItemsOnLarkspurCalendar", "Delete All Items On The Larkspur Calendar", 300, 315,
     "frmDeleteAllItemsFromLarkspurCalendar"},
    {"optDeleteOneUsersLarkspurCalendarItems", "Delete A Single User's Items From The Larkspur Calendar", 817, 315,
     "frmDeleteSingleUsersItemsFromLarkspurCalendar"},
    {"optCopyAPersonalCalendarToLarkspurCalendar", "Copy A Personal Calendar To The Larkspur Calendar", 1334, 315,
     "frmAUserPersonalCalendarToLarkspurCalendar"},
    {"optCopyAllPersonalCalendarsToLarkspurCalendar", "Copy All Personal Calendars To The Larkspur Calendar", 1851,
     315, "frmCopyAllPersonalCalendarsLarkspurCalendar"},
    {"optAddEventScriptToOneUsersPersonalCalendar", "Add Event Script To One User's Personal Calendar", 2368, 270,
     "frmAddAnEventScriptToOneUsersPersonalFolder"},
    {"optAddEventScriptToAllPersonalCalendars", "Add Event Script To All Personal Calendars", 2840, 270,
     "frmAddEventToAPersonalFolderForAllUsers"},
    {"optDeleteScriptFromOneFolderInOneMailbox", "Delete Script From One Folder In One Mailbox", 3312, 270,
     "frmDeleteScriptsFromOneFolderForMailbox"},
    {"optDeleteAllScriptsInAMailbox", "Delete All Scripts In A Mailbox", 3784, 270, "frmDeleteAllScriptsFromOneMailbox"},
    {"optDeleteAllScriptsInAllMailboxes", "Delete All Scripts In All Mailboxes", 4260, 270,
     "frmDeleteAllScriptsForAllMailboxes"},
    {"optGetLarkspurCalendarFolderID", "Get Larkspur Calendar Folder ID", 4740, 270, nullptr},
};

// Enabled states of cmdCancel, cmdFinish, cmdBack, cmdNext.
QList<bool> buttonStates(QWidget *window)
{
    QList<bool> states;
    for (const char *name : {"cmdCancel", "cmdFinish", "cmdBack", "cmdNext"})
        states.append(window->findChild<QPushButton *>(QString::fromLatin1(name))->isEnabled());
    return states;
}

// Controls whose captions are clipped: as Qt measures them, every text (with its
// indicator; a word-wrapped label's lines) must fit its control, whatever the face.
QString clippedCaptions(QWidget *window)
{
    QStringList clipped;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const auto *label = qobject_cast<QLabel *>(control);
        const auto *button = qobject_cast<QAbstractButton *>(control);
        const QString text = label ? label->text() : button ? button->text() : QString();
        // A push button's size hint has a minimum width of its own: its text is measured.
        const bool fits = qobject_cast<QPushButton *>(control)
                              ? control->fontMetrics().horizontalAdvance(text) + 8 <= control->width()
                          : label && label->wordWrap() ? control->heightForWidth(control->width()) <= control->height()
                                                       : control->sizeHint().width() <= control->width();
        if (!text.isEmpty() && !fits)
            clipped << control->objectName();
    }
    return clipped.join(QLatin1Char(' '));
}

} // namespace

class SwitchboardTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void windowFontsAndTabOrder();

    void dispatch_data();
    void dispatch();
    void nextWithNothingSelectedDoesNothing();
    void secondNextReusesTheOpenPage();
    void pagesOfTwoOptionsAtOnceOutliveTheSwitchboard();

    void folderIdentifierEndToEnd();

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
    const char *buttons[][2] = {{"cmdCancel", "Close"}, {"cmdFinish", "Finish"}, {"cmdBack", "Back"}, {"cmdNext", "Next"}};
    for (int i = 0; i < 4; ++i) // 1880 twips apart
        QTest::newRow(buttons[i][0]) << buttons[i][0] << buttons[i][1] << QRect(180 + 1880 * i, 6060, 1335, 495);
    // The options sit inside Frame1.
    for (const Option &option : Options)
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

void SwitchboardTest::windowFontsAndTabOrder()
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
        QVERIFY(option->font().bold());
        QVERIFY(option->font().pointSizeF() <= 11.25); // smaller where the face is too wide
        QVERIFY2(!option->isChecked(), "no option is set at the start");
    }
    // Back and Finish stay disabled on the switchboard.
    QCOMPARE(buttonStates(window), (QList<bool>{true, false, false, true}));
    // Tab order: the options, then the buttons; the first option has the focus.
    QStringList expected;
    for (const Option &option : Options)
        expected.append(QString::fromLatin1(option.name));
    expected << "cmdCancel" << "cmdFinish" << "cmdBack" << "cmdNext";
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
    QCOMPARE(clippedCaptions(window), QString());
}

void SwitchboardTest::dispatch_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("page");
    for (const Option &option : Options) {
        if (option.page)
            QTest::newRow(option.name) << option.name << option.page;
    }
}

void SwitchboardTest::dispatch()
{
    QFETCH(QString, option);
    QFETCH(QString, page);
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
    // Page opening: Close, Finish and Back on, Next off; the mailbox picker filled.
    QCOMPARE(buttonStates(opened), (QList<bool>{true, true, true, false}));
    QCOMPARE(buttonStates(m_switchboard), (QList<bool>{true, false, false, true}));
    auto *picker = opened->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
    QCOMPARE(picker ? picker->count() : -1, pageInfo(page).mailboxPicker ? 2 : -1);
    QCOMPARE(clippedCaptions(opened), QString());
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
    // After Back the page is created afresh and filled anew: Bob is there now.
    QTest::mouseClick(first->findChild<QPushButton *>(QStringLiteral("cmdBack")), Qt::LeftButton);
    QCOMPARE(testsupport::findWindow(QStringLiteral("frmDeleteAllScriptsFromOneMailbox")), nullptr);
    clickNext();
    QWidget *second = testsupport::findWindow(QStringLiteral("frmDeleteAllScriptsFromOneMailbox"));
    QVERIFY(second);
    QCOMPARE(second->findChild<QComboBox *>(QStringLiteral("cboMailbox"))->itemText(1), QStringLiteral("Mailbox - Bob"));
    second->close();
}

void SwitchboardTest::pagesOfTwoOptionsAtOnceOutliveTheSwitchboard()
{
    showSwitchboard();
    choose("optDeleteAllItemsOnLarkspurCalendar");
    clickNext();
    choose("optDeleteScriptFromOneFolderInOneMailbox");
    clickNext();
    QWidget *calendarPage = testsupport::findWindow(QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar"));
    QWidget *scriptsPage = testsupport::findWindow(QStringLiteral("frmDeleteScriptsFromOneFolderForMailbox"));
    QVERIFY(calendarPage && scriptsPage);
    QVERIFY(calendarPage->isVisible() && scriptsPage->isVisible() && m_switchboard->isVisible());
    // Close unloads the switchboard only, without a question.
    QTest::mouseClick(m_switchboard->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY(m_switchboard.isNull());
    QVERIFY(m_boxes->shown().isEmpty());
    // Each page is usable on its own: Back on one leaves the other, whose Close still
    // asks (No keeps it, Yes unloads it).
    QTest::mouseClick(calendarPage->findChild<QPushButton *>(QStringLiteral("cmdBack")), Qt::LeftButton);
    QCOMPARE(testsupport::liveTopLevels(), QStringList{QStringLiteral("frmDeleteScriptsFromOneFolderForMailbox")});
    m_boxes->expectNo().expectYes();
    QTest::mouseClick(scriptsPage->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
    QVERIFY(testsupport::findWindow(QStringLiteral("frmDeleteScriptsFromOneFolderForMailbox")));
    QTest::mouseClick(scriptsPage->findChild<QPushButton *>(QStringLiteral("cmdCancel")), Qt::LeftButton);
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

QTEST_MAIN(SwitchboardTest)
#include "tst_switchboard.moc"
