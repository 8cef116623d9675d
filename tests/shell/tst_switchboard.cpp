// The switchboard on a real store, offscreen: each option opens its page beside it with
// every caption fitting its control, one page object per type, pages outliving the
// switchboard, and the folder-identifier action end to end.
#include "PageTable.h"

#include "app/Twips.h"
#include "messaging/Folder.h"
#include "messaging/SharedCalendar.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QtTest>

using testsupport::child;
using testsupport::click;
using testsupport::findWindow;
using testsupport::liveTopLevels;

namespace {

// Enabled states of cmdCancel, cmdFinish, cmdBack, cmdNext.
QList<bool> buttonStates(const QWidget *window)
{
    QList<bool> states;
    for (const char *name : {"cmdCancel", "cmdFinish", "cmdBack", "cmdNext"})
        states.append(child<QPushButton>(window, name)->isEnabled());
    return states;
}

// Controls whose captions are clipped: as Qt measures them, every text (with its
// indicator; a word-wrapped label's lines) must fit its control, whatever the face.
QString clippedCaptions(const QWidget *window)
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

    void nextOpensTheChosenPageWithCaptionsThatFit_data();
    void nextOpensTheChosenPageWithCaptionsThatFit();
    void pagesAreOneWindowPerTypeAndOutliveTheSwitchboard();
    void folderIdentifierAppendedThenShown();

private:
    void choose(const char *option) { child<QRadioButton>(m_switchboard, option)->setChecked(true); }
    void clickNext() { click(m_switchboard, "cmdNext"); }

    std::unique_ptr<testsupport::WindowFixture> m_fx;
    QPointer<shell::frmSwitchboard> m_switchboard;
};

void SwitchboardTest::init()
{
    m_fx = std::make_unique<testsupport::WindowFixture>();
    m_fx->store.addUser("Alice", "AL");
    m_switchboard = new shell::frmSwitchboard;
    m_switchboard->show();
}

void SwitchboardTest::cleanup()
{
    if (m_switchboard)
        m_switchboard->close();
    const QStringList left = m_fx->leftovers();
    m_fx.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
}

void SwitchboardTest::nextOpensTheChosenPageWithCaptionsThatFit_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("page");
    QTest::newRow("nothing chosen") << QString() << QString();
    for (const PageInfo &page : pageTable())
        QTest::newRow(page.name) << page.option << page.name;
}

void SwitchboardTest::nextOpensTheChosenPageWithCaptionsThatFit()
{
    QFETCH(QString, option);
    QFETCH(QString, page);
    // Nothing is chosen at the start; Back and Finish stay disabled on the switchboard.
    for (const QRadioButton *radio : m_switchboard->findChildren<QRadioButton *>())
        QVERIFY2(!radio->isChecked(), qPrintable(radio->objectName()));
    QCOMPARE(clippedCaptions(m_switchboard), QString());
    if (!option.isEmpty())
        choose(option.toLatin1().constData());
    clickNext();
    QCOMPARE(buttonStates(m_switchboard), (QList<bool>{true, false, false, true}));
    QVERIFY(m_fx->boxes.shown().isEmpty());
    if (page.isEmpty()) {
        QCOMPARE(liveTopLevels(), QStringList{QStringLiteral("frmSwitchboard")});
        return;
    }
    QWidget *opened = findWindow(page);
    QVERIFY2(opened && opened->isVisible(), qPrintable(page));
    QCOMPARE(opened->parentWidget(), nullptr);
    QCOMPARE(liveTopLevels().size(), 2);
    // Page opening: Close, Finish and Back on, Next off.
    QCOMPARE(buttonStates(opened), (QList<bool>{true, true, true, false}));
    QCOMPARE(clippedCaptions(opened), QString());
    opened->close();
}

void SwitchboardTest::pagesAreOneWindowPerTypeAndOutliveTheSwitchboard()
{
    const QString name = QStringLiteral("frmDeleteAllScriptsFromOneMailbox");
    choose("optDeleteAllScriptsInAMailbox");
    clickNext();
    QPointer<QWidget> scriptsPage = findWindow(name);
    auto *picker = child<QComboBox>(scriptsPage, "cboMailbox");
    picker->setCurrentIndex(1);
    m_fx->store.addUser("Bob", "BO"); // not listed: the open page is not filled again
    scriptsPage->setWindowState(Qt::WindowMinimized);
    clickNext();
    QVERIFY(!scriptsPage->isMinimized()); // brought forward
    QCOMPARE(findWindow(name), scriptsPage.data());
    QCOMPARE(picker->count(), 2);
    QCOMPARE(picker->currentIndex(), 1);
    choose("optDeleteAllItemsOnLarkspurCalendar");
    clickNext();
    QPointer<QWidget> calendarPage = findWindow(QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar"));
    QCOMPARE(liveTopLevels().size(), 3);
    // Close unloads the switchboard only, without a question.
    click(m_switchboard, "cmdCancel");
    QVERIFY(m_switchboard.isNull());
    QVERIFY(calendarPage->isVisible() && scriptsPage->isVisible());
    QVERIFY(m_fx->boxes.shown().isEmpty());
    // Each page is usable on its own: Back on one leaves the other, whose Close still
    // asks (No keeps it, Yes unloads it).
    click(scriptsPage, "cmdBack");
    QCOMPARE(liveTopLevels(), QStringList{QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar")});
    m_fx->boxes.expectNo().expectYes();
    click(calendarPage, "cmdCancel");
    QVERIFY(calendarPage);
    click(calendarPage, "cmdCancel");
    QCOMPARE(liveTopLevels(), QStringList());
    // After Back the page is made afresh and filled anew: Bob is listed now.
    m_switchboard = new shell::frmSwitchboard;
    m_switchboard->show();
    choose("optDeleteAllScriptsInAMailbox");
    clickNext();
    QCOMPARE(child<QComboBox>(findWindow(name), "cboMailbox")->itemText(2), QStringLiteral("Mailbox - Bob"));
    findWindow(name)->close();
}

void SwitchboardTest::folderIdentifierAppendedThenShown()
{
    const std::string id = messaging::sharedCalendar(m_fx->store.logon()).ID();
    const std::filesystem::path file = m_fx->store.driveC() / "Larkspur Calendar ID.Txt";
    testsupport::writeBytes(file, "\"earlier\"\r\n");
    choose("optGetLarkspurCalendarFolderID");
    bool writtenBeforeBox = false;
    m_fx->boxes.expectOk([&] { writtenBeforeBox = std::filesystem::file_size(file) > 11; });
    clickNext();
    m_fx->boxes.expectOk();
    clickNext();

    QVERIFY(writtenBeforeBox);
    QCOMPARE(m_fx->boxes.shown().size(), 2);
    const testsupport::ShownBox &box = m_fx->boxes.shown().first();
    QCOMPARE(box.text, QStringLiteral("Larkspur Calendar ID ") + QString::fromStdString(id)
                           + QStringLiteral("\r\n has been written to the text file C:\\Larkspur Calendar ID.Txt"));
    QCOMPARE(box.style, 0);
    const std::string line = "\"" + id + "\"\r\n";
    QCOMPARE(testsupport::readBytes(file), "\"earlier\"\r\n" + line + line);
    QCOMPARE(liveTopLevels(), QStringList{QStringLiteral("frmSwitchboard")});
}

QTEST_MAIN(SwitchboardTest)
#include "tst_switchboard.moc"
