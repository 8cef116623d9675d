// The top-level error report of the whole program: the test build of larkspur-admin
// (tests/seams) runs as a child process on a real store, driven by scripted clicks and
// answered by scripted boxes (LARKSPUR_SCRIPTED_CLICKS, LARKSPUR_SCRIPTED_BOXES), with
// faults injected through LARKSPUR_FAULT. An error no page traps shows its number and
// ends the program with a non-zero status, and the store keeps what was committed
// before the failure. The installed program reads none of those variables.
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include <QProcess>
#include <QtTest>

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
    m_store->addUser("Alice", "AL");
    m_store->fill("", {{"AL- one"}, {"AL- two"}, {"AL- three"}});
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
                       testsupport::qpath(storeMissing ? m_store->dir() / "missing.db" : m_store->file()));
    environment.insert(QStringLiteral("LARKSPUR_DRIVE_C"), testsupport::qpath(m_store->driveC()));
    environment.insert(QStringLiteral("LARKSPUR_SCRIPTED_CLICKS"), clicks);
    environment.insert(QStringLiteral("LARKSPUR_SCRIPTED_BOXES"), boxes);
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

    // The top-level report is the last critical box shown, with the error's number.
    QString report;
    for (const QString &line : errors.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("BOX style=16")))
            report = line;
    }
    QVERIFY2(shownNumber.isEmpty() ? report.isEmpty()
                                   : report.startsWith(QLatin1String("BOX style=16 title=LarkspurCalendarAdministrationApp"))
                                         && report.contains(shownNumber),
             qPrintable(errors));

    // The store is sound and holds what was committed before the failure.
    QCOMPARE(m_store->check(), std::vector<std::string>());
    QCOMPARE(testsupport::qstrings(m_store->sharedSubjects(false)), calendarAfter);
    QFile identifiers(testsupport::qpath(m_store->driveC() / "Larkspur Calendar ID.Txt"));
    const int lines = identifiers.open(QIODevice::ReadOnly) ? static_cast<int>(identifiers.readAll().count("\r\n")) : 0;
    QCOMPARE(lines, identifierLines);
}

QTEST_GUILESS_MAIN(TopLevelErrorTest)
#include "tst_toplevel.moc"
