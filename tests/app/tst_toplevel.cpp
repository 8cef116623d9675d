// The top-level error report of the whole program: the test build of larkspur-admin
// (tests/seams) runs as a child process on a real store, driven by scripted clicks and
// answered by scripted boxes (LARKSPUR_SCRIPTED_CLICKS, LARKSPUR_SCRIPTED_BOXES), with
// faults injected through LARKSPUR_FAULT. An error no page traps shows its number and
// ends the program with a non-zero status, and the store keeps what was committed
// before the failure. The installed program reads none of those variables.
#include "StoreFixture.h"

#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/Session.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

messaging::Folder sharedCalendar(const messaging::Session &session)
{
    return session.InfoStores()
        .Item("Public Folders")
        .RootFolder()
        .Folders()
        .Item(2)
        .Folders()
        .Item("Larkspur Calendar");
}

QStringList sharedCalendarSubjects()
{
    messaging::Session session;
    session.Logon("Administrator");
    QStringList subjects;
    for (const messaging::Message &item : sharedCalendar(session).Messages())
        subjects.append(QString::fromStdString(item.Subject()));
    session.Logoff();
    return subjects;
}

} // namespace

class TopLevelErrorTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_store.reset(); }

    void wholeProgram_data();
    void wholeProgram();

private:
    std::unique_ptr<testsupport::StoreFixture> m_store;
};

void TopLevelErrorTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_store->addUser("Alice", "AL");
    messaging::Session session;
    session.Logon("Administrator");
    const messaging::Messages items = sharedCalendar(session).Messages();
    for (const char *subject : {"AL- one", "AL- two", "AL- three"}) {
        messaging::Message item = items.Add();
        item.SetSubject(subject);
        item.Update();
    }
    session.Logoff();
}

void TopLevelErrorTest::wholeProgram_data()
{
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QString>("boxes");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("storeMissing");
    QTest::addColumn<int>("exitCode"); // -1: the installed program, ended after a short wait
    QTest::addColumn<QString>("shownNumber");    // in the last box shown; empty: none
    QTest::addColumn<QStringList>("calendarAfter");
    QTest::addColumn<int>("identifierLines");

    const QStringList all{"AL- one", "AL- two", "AL- three"};
    QTest::newRow("picker fill fails")
        << "frmSwitchboard.optDeleteOneUsersLarkspurCalendarItems,frmSwitchboard.cmdNext"
        << "1" << "InfoStores.Item:1" << false << 1 << "-2147467259" << all << 0;
    QTest::newRow("logon fails: no store")
        << "frmSwitchboard.optGetLarkspurCalendarFolderID,frmSwitchboard.cmdNext"
        << "1" << "" << true << 1 << "-2147221231" << all << 0;
    QTest::newRow("deletion fails half way")
        << "frmSwitchboard.optDeleteAllItemsOnLarkspurCalendar,frmSwitchboard.cmdNext,"
           "frmDeleteAllItemsFromLarkspurCalendar.cmdFinish"
        << "6,1" << "Message.Delete:2" << false << 1 << "-2147467259" << QStringList{"AL- one", "AL- two"} << 0;
    QTest::newRow("identifier written, then the box fails")
        << "frmSwitchboard.optGetLarkspurCalendarFolderID,frmSwitchboard.cmdNext"
        << "1" << "Folder.ID:2" << false << 1 << "-2147467259" << all << 1;
    QTest::newRow("no error: ends normally")
        << "frmSwitchboard.optGetLarkspurCalendarFolderID,frmSwitchboard.cmdNext,quit"
        << "1" << "" << false << 0 << "" << all << 1;
    QTest::newRow("installed program: the variables change nothing")
        << "frmSwitchboard.optDeleteAllItemsOnLarkspurCalendar,frmSwitchboard.cmdNext,"
           "frmDeleteAllItemsFromLarkspurCalendar.cmdFinish,quit"
        << "6" << "" << false << -1 << "" << all << 0;
}

void TopLevelErrorTest::wholeProgram()
{
    QFETCH(QString, clicks);
    QFETCH(QString, boxes);
    QFETCH(QString, fault);
    QFETCH(bool, storeMissing);
    QFETCH(int, exitCode);
    QFETCH(QString, shownNumber);
    QFETCH(QStringList, calendarAfter);
    QFETCH(int, identifierLines);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LARKSPUR_STORE"),
                       storeMissing ? m_store->dir() + QStringLiteral("/missing.db") : m_store->storePath());
    environment.insert(QStringLiteral("LARKSPUR_DRIVE_C"), m_store->driveC());
    environment.insert(QStringLiteral("LARKSPUR_SCRIPTED_CLICKS"), clicks);
    environment.insert(QStringLiteral("LARKSPUR_SCRIPTED_BOXES"), boxes);
    environment.remove(QStringLiteral("LARKSPUR_FAULT"));
    if (!fault.isEmpty())
        environment.insert(QStringLiteral("LARKSPUR_FAULT"), fault);

    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QString::fromUtf8(exitCode < 0 ? LARKSPUR_ADMIN : LARKSPUR_ADMIN_TEST), QStringList());
    QVERIFY(program.waitForStarted());
    // A safety net only: a program that waits for input would otherwise hang the suite.
    const bool ended = program.waitForFinished(exitCode < 0 ? 2000 : 120000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    QVERIFY2(ended == (exitCode >= 0), qPrintable(errors));
    if (ended) {
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == exitCode, qPrintable(errors));
    }

    QStringList shown;
    for (const QString &line : errors.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("BOX ")))
            shown.append(line);
    }
    if (shownNumber.isEmpty()) {
        for (const QString &box : shown)
            QVERIFY2(!box.startsWith(QLatin1String("BOX style=16")), qPrintable(box));
    } else {
        QVERIFY2(!shown.isEmpty(), qPrintable(errors));
        QVERIFY2(shown.last().startsWith(QLatin1String("BOX style=16 title=LarkspurCalendarAdministrationApp")),
                 qPrintable(shown.last()));
        QVERIFY2(shown.last().contains(shownNumber), qPrintable(shown.last()));
    }

    // The store is sound and holds what was committed before the failure.
    QCOMPARE(m_store->check(), QStringList());
    QCOMPARE(sharedCalendarSubjects(), calendarAfter);
    QFile identifiers(m_store->driveC() + QStringLiteral("/Larkspur Calendar ID.Txt"));
    const int lines = identifiers.open(QIODevice::ReadOnly) ? static_cast<int>(identifiers.readAll().count("\r\n")) : 0;
    QCOMPARE(lines, identifierLines);
}

QTEST_GUILESS_MAIN(TopLevelErrorTest)
#include "tst_toplevel.moc"
