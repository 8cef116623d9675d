// The four shared-calendar pages end to end on a real store, offscreen, with scripted
// message boxes: No changes nothing, Finish does the work and shows its result box, and
// a failure without a trap reaches the top-level error report.
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include "actions/calendar/frmAUserPersonalCalendarToLarkspurCalendar.h"
#include "actions/calendar/frmCopyAllPersonalCalendarsLarkspurCalendar.h"
#include "actions/calendar/frmDeleteAllItemsFromLarkspurCalendar.h"
#include "actions/calendar/frmDeleteSingleUsersItemsFromLarkspurCalendar.h"
#include "app/Twips.h"
#include "messaging/Error.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/Session.h"

#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

using testsupport::ScriptedMessageBoxes;

namespace {

using Opener = std::function<app::ActionPage *()>;

Opener opener(const QString &name)
{
    if (name == QLatin1String("frmAUserPersonalCalendarToLarkspurCalendar"))
        return [] { return testsupport::openPage<calendar::frmAUserPersonalCalendarToLarkspurCalendar>(); };
    if (name == QLatin1String("frmCopyAllPersonalCalendarsLarkspurCalendar"))
        return [] { return testsupport::openPage<calendar::frmCopyAllPersonalCalendarsLarkspurCalendar>(); };
    if (name == QLatin1String("frmDeleteAllItemsFromLarkspurCalendar"))
        return [] { return testsupport::openPage<calendar::frmDeleteAllItemsFromLarkspurCalendar>(); };
    return [] { return testsupport::openPage<calendar::frmDeleteSingleUsersItemsFromLarkspurCalendar>(); };
}

messaging::Session logon()
{
    messaging::Session s;
    s.Logon("Administrator");
    return s;
}

messaging::Folder sharedFolder(messaging::Session &s)
{
    return s.InfoStores().Item("Public Folders").RootFolder().Folders().Item(2).Folders().Item("Larkspur Calendar");
}

void addItems(messaging::Session &s, const messaging::Folder &folder, const QStringList &subjects)
{
    for (const QString &subject : subjects) {
        messaging::Message m = folder.Messages().Add();
        m.SetSubject(subject.toStdString());
        m.SetStartTime(45000.375);
        m.Update();
    }
    (void)s;
}

QStringList subjects(const messaging::Folder &folder)
{
    QStringList out;
    for (const messaging::Message m : folder.Messages())
        out << QString::fromStdString(m.Subject());
    out.sort();
    return out;
}

QStringList sharedSubjects()
{
    messaging::Session s = logon();
    return subjects(sharedFolder(s));
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
    // Ann (tag "AN") and Bob (tag "BB") with two calendar items each, and one item of
    // each already in the shared calendar beside an item entered directly.
    void fill();

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
};

void CalendarPagesTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_boxes = std::make_unique<ScriptedMessageBoxes>();
}

void CalendarPagesTest::cleanup()
{
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("left open: ") + leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void CalendarPagesTest::fill()
{
    m_store->addUser("Ann", "AN");
    m_store->addUser("Bob", "BB");
    messaging::Session s = logon();
    for (const char *user : {"Ann", "Bob"}) {
        const messaging::Folder calendar =
            s.InfoStores().Item(std::string("Mailbox - ") + user).RootFolder().Folders().Item("Calendar");
        addItems(s, calendar, {QStringLiteral("Plan of ") + user, QStringLiteral("Review of ") + user});
    }
    addItems(s, sharedFolder(s), {QStringLiteral("AN- earlier"), QStringLiteral("BB- earlier"), QStringLiteral("Picnic")});
    s.Logoff();
}

void CalendarPagesTest::confirmationNoChangesNothing_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("mailbox");
    QTest::newRow("copy one") << "frmAUserPersonalCalendarToLarkspurCalendar" << true;
    QTest::newRow("copy all") << "frmCopyAllPersonalCalendarsLarkspurCalendar" << false;
    QTest::newRow("delete all") << "frmDeleteAllItemsFromLarkspurCalendar" << false;
    QTest::newRow("delete one") << "frmDeleteSingleUsersItemsFromLarkspurCalendar" << true;
}

void CalendarPagesTest::confirmationNoChangesNothing()
{
    QFETCH(QString, page);
    QFETCH(bool, mailbox);
    fill();
    const QStringList before = sharedSubjects();
    QPointer<app::ActionPage> p = opener(page)();
    QVERIFY(p);
    if (mailbox)
        p->findChild<QComboBox *>(QStringLiteral("cboMailbox"))->setCurrentText(QStringLiteral("Mailbox - Ann"));
    m_boxes->expectNo();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();

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

    const QStringList earlier{QStringLiteral("AN- earlier"), QStringLiteral("BB- earlier"), QStringLiteral("Picnic")};
    QStringList copyOne = earlier;
    copyOne << QStringLiteral("AN- Plan of Ann") << QStringLiteral("AN- Review of Ann");
    copyOne.sort();
    QStringList copyAll = copyOne;
    copyAll << QStringLiteral("BB- Plan of Bob") << QStringLiteral("BB- Review of Bob");
    copyAll.sort();

    QTest::newRow("copy one") << "frmAUserPersonalCalendarToLarkspurCalendar" << "Mailbox - Ann"
                              << "Larkspur Calendar has been updated" << "Import Complete" << copyOne;
    QTest::newRow("copy all") << "frmCopyAllPersonalCalendarsLarkspurCalendar" << QString()
                              << "Larkspur Calendar has been updated" << "Import Complete" << copyAll;
    QTest::newRow("delete all") << "frmDeleteAllItemsFromLarkspurCalendar" << QString()
                                << "All Items have been deleted from the Larkspur Calendar"
                                << "Items Deleted Successfully" << QStringList();
    QTest::newRow("delete one") << "frmDeleteSingleUsersItemsFromLarkspurCalendar" << "Mailbox - Bob"
                                << "The selected Items have been deleted from the Larkspur Calendar"
                                << "Items Deleted Successfully"
                                << QStringList{QStringLiteral("AN- earlier"), QStringLiteral("Picnic")};
}

void CalendarPagesTest::finishEndToEnd()
{
    QFETCH(QString, page);
    QFETCH(QString, mailbox);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QStringList, after);
    fill();
    QPointer<app::ActionPage> p = opener(page)();
    QVERIFY(p);
    if (!mailbox.isEmpty()) {
        auto *combo = p->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
        // The picker lists the mailbox stores the session sees.
        QVERIFY2(combo->findText(mailbox) >= 0, qPrintable(mailbox));
        combo->setCurrentIndex(combo->findText(mailbox));
    }
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();

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
    fill();
    m_store->addUser("Cid", "CI", 0, /*shared=*/false);
    QPointer<app::ActionPage> p = opener(QStringLiteral("frmCopyAllPersonalCalendarsLarkspurCalendar"))();
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
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
    fill();
    m_store->addUser("Aaron", "AA", 0, /*shared=*/false);
    const QStringList before = sharedSubjects();
    testsupport::RecordedTopLevelErrors reports;
    QPointer<app::ActionPage> p = opener(QStringLiteral("frmCopyAllPersonalCalendarsLarkspurCalendar"))();
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    QCOMPARE(reports.exitCodes().size(), 1);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    const testsupport::ShownBox &report = m_boxes->shown().at(1);
    QVERIFY2(report.text.contains(QStringLiteral("Mailbox - Aaron")), qPrintable(report.text));
    QCOMPARE(sharedSubjects(), before);
    if (p)
        p->close();
}

void CalendarPagesTest::emptyMailboxChoiceKeepsThePageOpen_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("copy one") << "frmAUserPersonalCalendarToLarkspurCalendar";
    QTest::newRow("delete one") << "frmDeleteSingleUsersItemsFromLarkspurCalendar";
}

void CalendarPagesTest::emptyMailboxChoiceKeepsThePageOpen()
{
    QFETCH(QString, page);
    fill();
    QPointer<app::ActionPage> p = opener(page)();
    p->findChild<QComboBox *>(QStringLiteral("cboMailbox"))->setCurrentText(QString());
    m_boxes->expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(0).text, QStringLiteral("You must choose a Mailbox from the list"));
    QCOMPARE(m_boxes->shown().at(0).title, QStringLiteral("Choose Mailbox"));
    QCOMPARE(m_boxes->shown().at(0).style, 16);
    QVERIFY(p);
    p->close();
}

QTEST_MAIN(CalendarPagesTest)
#include "tst_calendarpages.moc"
