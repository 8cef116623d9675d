// The four shared-calendar pages end to end on a real store, offscreen, with scripted
// message boxes: No changes nothing, Finish does the work and shows its result box, and
// a failure without a trap reaches the top-level error report.
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"
#include "WorkStore.h"

#include "actions/calendar/frmAUserPersonalCalendarToLarkspurCalendar.h"
#include "actions/calendar/frmCopyAllPersonalCalendarsLarkspurCalendar.h"
#include "actions/calendar/frmDeleteAllItemsFromLarkspurCalendar.h"
#include "actions/calendar/frmDeleteSingleUsersItemsFromLarkspurCalendar.h"
#include "app/Twips.h"
#include "core/Error.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <utility>

namespace {

const QString copyOnePage = QStringLiteral("copy one");
const QString copyAllPage = QStringLiteral("copy all");
const QString deleteAllPage = QStringLiteral("delete all");
const QString deleteOnePage = QStringLiteral("delete one");

app::ActionPage *open(const QString &page)
{
    if (page == copyOnePage)
        return testsupport::openPage<calendar::frmAUserPersonalCalendarToLarkspurCalendar>();
    if (page == copyAllPage)
        return testsupport::openPage<calendar::frmCopyAllPersonalCalendarsLarkspurCalendar>();
    if (page == deleteAllPage)
        return testsupport::openPage<calendar::frmDeleteAllItemsFromLarkspurCalendar>();
    return testsupport::openPage<calendar::frmDeleteSingleUsersItemsFromLarkspurCalendar>();
}

messaging::Session logon()
{
    messaging::Session s; // the store the fixture points at
    s.Logon("Administrator");
    return s;
}

QStringList sharedSubjects()
{
    messaging::Session s = logon();
    QStringList out;
    for (const worktest::Stored &item : worktest::contents(messaging::sharedCalendar(s)))
        out << QString::fromStdString(item.subject);
    out.sort();
    return out;
}

} // namespace

class CalendarPagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void confirmationNoChangesNothing_data();
    void confirmationNoChangesNothing();
    void finishEndToEnd_data();
    void finishEndToEnd();
    void copyAllReportsSkippedUsers();
    void copyAllStoppingModeIsTheTopLevelReport();
    void emptyMailboxChoiceKeepsThePageOpen_data();
    void emptyMailboxChoiceKeepsThePageOpen();

private:
    // Opens the page with the mailbox chosen (none for ""), answers the boxes as
    // scripted and clicks Finish.
    QPointer<app::ActionPage> finish(const QString &page, const QString &mailbox);

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<testsupport::ScriptedMessageBoxes> m_boxes;
    QStringList m_notListed; // mailboxes a test chose that the picker did not list
};

void CalendarPagesTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_boxes = std::make_unique<testsupport::ScriptedMessageBoxes>();
    // Ann (tag "AN") and Bob (tag "BB") with two calendar items each, and one item of
    // each already in the shared calendar beside an item entered directly.
    m_store->addUser("Ann", "AN");
    m_store->addUser("Bob", "BB");
    messaging::Session s = logon();
    for (const std::string user : {"Ann", "Bob"})
        worktest::addItems(worktest::calendarOf(s, "Mailbox - " + user),
                           {{"Plan of " + user}, {"Review of " + user}});
    worktest::addItems(messaging::sharedCalendar(s), {{"AN- earlier"}, {"BB- earlier"}, {"Picnic"}});
}

void CalendarPagesTest::cleanup()
{
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("left open: ") + leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    const QStringList notListed = std::exchange(m_notListed, {});
    QVERIFY2(notListed.isEmpty(), qPrintable(notListed.join(QLatin1Char(' '))));
}

QPointer<app::ActionPage> CalendarPagesTest::finish(const QString &page, const QString &mailbox)
{
    QPointer<app::ActionPage> p = open(page);
    if (!p)
        return p;
    if (auto *combo = p->findChild<QComboBox *>(QStringLiteral("cboMailbox"))) {
        // The picker lists the mailbox stores the session sees.
        if (!mailbox.isEmpty() && combo->findText(mailbox) < 0)
            m_notListed << mailbox;
        combo->setCurrentText(mailbox);
    }
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
    return p;
}

void CalendarPagesTest::confirmationNoChangesNothing_data()
{
    QTest::addColumn<QString>("page");
    for (const QString &page : {copyOnePage, copyAllPage, deleteAllPage, deleteOnePage})
        QTest::newRow(qPrintable(page)) << page;
}

void CalendarPagesTest::confirmationNoChangesNothing()
{
    QFETCH(QString, page);
    const QStringList before = sharedSubjects();
    m_boxes->expectNo();
    const QPointer<app::ActionPage> p = finish(page, QStringLiteral("Mailbox - Ann"));
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown().at(0).title, QStringLiteral("Application Warning!"));
    QCOMPARE(m_boxes->shown().at(0).style, 4);
    QVERIFY(!p); // every calendar page unloads after No
    QCOMPARE(sharedSubjects(), before);
}

void CalendarPagesTest::finishEndToEnd_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("mailbox");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("after");

    QStringList copyOne{"AN- earlier", "BB- earlier", "Picnic", "AN- Plan of Ann", "AN- Review of Ann"};
    copyOne.sort();
    QStringList copyAll = copyOne;
    copyAll << QStringLiteral("BB- Plan of Bob") << QStringLiteral("BB- Review of Bob");
    copyAll.sort();
    const QString updated = QStringLiteral("Larkspur Calendar has been updated");
    QTest::newRow("copy one") << copyOnePage << "Mailbox - Ann" << updated << "Import Complete" << copyOne;
    QTest::newRow("copy all") << copyAllPage << QString() << updated << "Import Complete" << copyAll;
    QTest::newRow("delete all") << deleteAllPage << QString()
                                << "All Items have been deleted from the Larkspur Calendar"
                                << "Items Deleted Successfully" << QStringList();
    QTest::newRow("delete one") << deleteOnePage << "Mailbox - Bob"
                                << "The selected Items have been deleted from the Larkspur Calendar"
                                << "Items Deleted Successfully" << QStringList{"AN- earlier", "Picnic"};
}

void CalendarPagesTest::finishEndToEnd()
{
    QFETCH(QString, page);
    QFETCH(QString, mailbox);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QStringList, after);
    m_boxes->expectYes().expectOk();
    const QPointer<app::ActionPage> p = finish(page, mailbox);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 2);
    const testsupport::ShownBox &result = m_boxes->shown().at(1);
    QCOMPARE(result.text, text);
    QCOMPARE(result.title, title);
    QCOMPARE(result.style, 16);
    QVERIFY(!p);
    QCOMPARE(sharedSubjects(), after);
}

void CalendarPagesTest::copyAllReportsSkippedUsers()
{
    m_store->addUser("Cid", "CI", 0, /*shared=*/false);
    m_boxes->expectYes().expectOk();
    finish(copyAllPage, QString());
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    const testsupport::ShownBox &result = m_boxes->shown().at(1);
    QVERIFY2(result.text.startsWith(QStringLiteral("Larkspur Calendar has been updated\n")), qPrintable(result.text));
    QVERIFY2(result.text.contains(QStringLiteral("Mailbox - Cid: ")), qPrintable(result.text));
    QVERIFY2(result.text.contains(QString::number(messaging::ErrorCode::NotFound)), qPrintable(result.text));
    QCOMPARE(result.style, 16);
    QCOMPARE(result.title, QStringLiteral("Import Complete"));
    QVERIFY(sharedSubjects().contains(QStringLiteral("BB- Plan of Bob")));
}

void CalendarPagesTest::copyAllStoppingModeIsTheTopLevelReport()
{
    // "Aaron" sorts before every user with items: nothing has been copied when his
    // unshared mailbox is reached, so the run stops there.
    m_store->addUser("Aaron", "AA", 0, /*shared=*/false);
    const QStringList before = sharedSubjects();
    testsupport::RecordedTopLevelErrors reports;
    m_boxes->expectYes().expectOk();
    const QPointer<app::ActionPage> p = finish(copyAllPage, QString());
    QCOMPARE(reports.exitCodes().size(), 1);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QVERIFY2(m_boxes->shown().at(1).text.contains(QStringLiteral("Mailbox - Aaron")),
             qPrintable(m_boxes->shown().at(1).text));
    QCOMPARE(sharedSubjects(), before);
    if (p)
        p->close();
}

void CalendarPagesTest::emptyMailboxChoiceKeepsThePageOpen_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("copy one") << copyOnePage;
    QTest::newRow("delete one") << deleteOnePage;
}

void CalendarPagesTest::emptyMailboxChoiceKeepsThePageOpen()
{
    QFETCH(QString, page);
    m_boxes->expectOk();
    const QPointer<app::ActionPage> p = finish(page, QString());
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(0).text, QStringLiteral("You must choose a Mailbox from the list"));
    QCOMPARE(m_boxes->shown().at(0).title, QStringLiteral("Choose Mailbox"));
    QCOMPARE(m_boxes->shown().at(0).style, 16);
    QVERIFY(p);
    p->close();
}

QTEST_MAIN(CalendarPagesTest)
#include "tst_calendarpages.moc"
