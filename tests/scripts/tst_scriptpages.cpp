// The five event-script pages end to end on a real store, offscreen, with scripted
// message boxes and file dialog: No, Finish with its result box, the events check, the
// error report, and which pages stay open to run again.
#include "ScriptStore.h"
#include "ScriptedFileDialog.h"
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include "actions/scripts/frmAddAnEventScriptToOneUsersPersonalFolder.h"
#include "actions/scripts/frmAddEventToAPersonalFolderForAllUsers.h"
#include "actions/scripts/frmDeleteAllScriptsForAllMailboxes.h"
#include "actions/scripts/frmDeleteAllScriptsFromOneMailbox.h"
#include "actions/scripts/frmDeleteScriptsFromOneFolderForMailbox.h"
#include "app/Twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <utility>

namespace {

const QString addOne = QStringLiteral("add one");
const QString addAll = QStringLiteral("add all");
const QString deleteFolder = QStringLiteral("delete folder");
const QString deleteMailbox = QStringLiteral("delete mailbox");
const QString deleteAll = QStringLiteral("delete all");

app::ActionPage *open(const QString &page)
{
    if (page == addOne)
        return testsupport::openPage<scripts::frmAddAnEventScriptToOneUsersPersonalFolder>();
    if (page == addAll)
        return testsupport::openPage<scripts::frmAddEventToAPersonalFolderForAllUsers>();
    if (page == deleteFolder)
        return testsupport::openPage<scripts::frmDeleteScriptsFromOneFolderForMailbox>();
    if (page == deleteMailbox)
        return testsupport::openPage<scripts::frmDeleteAllScriptsFromOneMailbox>();
    return testsupport::openPage<scripts::frmDeleteAllScriptsForAllMailboxes>();
}

using worktest::BindingInfo;
const std::string handler(messaging::ScriptHandlerClassId);
const std::string twoLines = "\r\necho a\r\necho b";

std::vector<BindingInfo> bindings(const std::string &storeName, const std::string &folder)
{
    messaging::Session s; // the store the fixture points at
    s.Logon("Administrator");
    return worktest::bindingsOf(s, worktest::folderAt(s, storeName, {folder}));
}
int count(const std::string &storeName, const std::string &folder) { return int(bindings(storeName, folder).size()); }
// Bindings on Ann's Calendar and Inbox, Bob's Calendar and Inbox, the administrator's Calendar.
QList<int> counts()
{
    return {count("Mailbox - Ann", "Calendar"), count("Mailbox - Ann", "Inbox"), count("Mailbox - Bob", "Calendar"),
            count("Mailbox - Bob", "Inbox"), count("Mailbox - Administrator", "Calendar")};
}

template <class Widget> Widget *child(app::ActionPage *page, const char *name)
{
    return page->findChild<Widget *>(QString::fromLatin1(name));
}

} // namespace

class ScriptPagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void confirmationNo_data();
    void confirmationNo();
    void addForOneUserEndToEnd();
    void addForAllUsersEndToEnd();
    void noEventTickedAfterYes_data();
    void noEventTickedAfterYes();
    void missingScriptFileIsTheErrorReport();
    void cancellingTheDialogKeepsTheFileName();
    void deletePagesEndToEnd_data();
    void deletePagesEndToEnd();

private:
    // Opens a page and fills what it has: the mailbox (when given), the script file and
    // the ticked event boxes.
    QPointer<app::ActionPage> prepare(const QString &page, const QString &mailbox, const QString &file,
                                      const QStringList &ticks = {});
    // Clicks Finish and lets deferred deletions run.
    static void finish(app::ActionPage *page);

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<testsupport::ScriptedMessageBoxes> m_boxes;
    std::unique_ptr<testsupport::ScriptedFileDialog> m_dialog;
    QString m_script;
    QStringList m_missing; // widgets or choices a test asked for that a page lacked
};

void ScriptPagesTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_boxes = std::make_unique<testsupport::ScriptedMessageBoxes>();
    m_dialog = std::make_unique<testsupport::ScriptedFileDialog>();
    m_script = m_store->dir() + QStringLiteral("/hello.txt");
    QFile file(m_script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("echo a\r\necho b\r\n");
    // Ann and Bob with a binding on Calendar and Inbox each, the administrator with one
    // on Calendar.
    m_store->addUser("Ann", "AN");
    m_store->addUser("Bob", "BB");
    messaging::Session s;
    s.Logon("Administrator");
    for (const std::string user : {"Mailbox - Ann", "Mailbox - Bob"})
        for (const std::string folder : {"Calendar", "Inbox"})
            worktest::addBinding(s, worktest::folderAt(s, user, {folder}), "old");
    worktest::addBinding(s, worktest::folderAt(s, "Mailbox - Administrator", {"Calendar"}), "old");
}

void ScriptPagesTest::cleanup()
{
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems() + std::exchange(m_missing, {});
    const int unexpectedDialogs = m_dialog->unexpected();
    m_dialog.reset();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("left open: ") + leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    QCOMPARE(unexpectedDialogs, 0);
}

QPointer<app::ActionPage> ScriptPagesTest::prepare(const QString &page, const QString &mailbox, const QString &file,
                                                   const QStringList &ticks)
{
    QPointer<app::ActionPage> p = open(page);
    if (!p)
        return p;
    auto *combo = child<QComboBox>(p, "cboMailbox");
    if (!mailbox.isEmpty() && (!combo || combo->findText(mailbox) < 0))
        m_missing << mailbox;
    else if (combo)
        combo->setCurrentIndex(combo->findText(mailbox));
    if (auto *fileName = child<QLineEdit>(p, "txtFileName"))
        fileName->setText(file);
    for (const QString &name : ticks) {
        if (auto *box = p->findChild<QCheckBox *>(name))
            box->setChecked(true);
        else
            m_missing << name;
    }
    return p;
}

void ScriptPagesTest::finish(app::ActionPage *page)
{
    QTest::mouseClick(page->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
}

void ScriptPagesTest::confirmationNo_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("mailbox");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("add one") << addOne << "Mailbox - Ann" << false;
    QTest::newRow("add all") << addAll << QString() << false;
    QTest::newRow("delete folder") << deleteFolder << "Mailbox - Ann" << true;
    QTest::newRow("delete mailbox") << deleteMailbox << "Mailbox - Ann" << true;
    QTest::newRow("delete all") << deleteAll << QString() << false;
}

void ScriptPagesTest::confirmationNo()
{
    QFETCH(QString, page);
    QFETCH(QString, mailbox);
    QFETCH(bool, staysOpen);
    const QList<int> before = counts();
    QPointer<app::ActionPage> p =
        prepare(page, mailbox, m_script, page.startsWith("add") ? QStringList{"chkNew"} : QStringList{});
    m_boxes->expectNo();
    finish(p);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(0).title, QStringLiteral("Application Warning!"));
    QCOMPARE(bool(p), staysOpen);
    if (p) {
        QCOMPARE(child<QComboBox>(p, "cboMailbox")->currentText(), mailbox);
        p->close();
    }
    QCOMPARE(counts(), before);
}

void ScriptPagesTest::addForOneUserEndToEnd()
{
    QPointer<app::ActionPage> p = prepare(addOne, QStringLiteral("Mailbox - Bob"), QString(),
                                          {"chkNew", "chkDelete"}); // 2 + 8 on this page
    auto *folder = child<QComboBox>(p, "cboPersonalFolder");
    folder->setCurrentIndex(folder->findText(QStringLiteral("Inbox")));
    m_dialog->choose(m_script);
    QTest::mouseClick(child<QPushButton>(p, "cmdGetFileName"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>(p, "txtFileName")->text(), m_script);
    child<QLineEdit>(p, "txtScriptName")->setText(QStringLiteral("Bob's inbox"));
    m_boxes->expectYes().expectOk();
    finish(p);

    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    const testsupport::ShownBox &result = m_boxes->shown().at(1);
    QCOMPARE(result.text, QStringLiteral("The script has been successfully installed"));
    QCOMPARE(result.style, 0);
    QCOMPARE(result.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QVERIFY(!p);
    const std::vector<BindingInfo> seen = bindings("Mailbox - Bob", "Inbox");
    QCOMPARE(int(seen.size()), 2);
    QVERIFY(seen.at(1) == (BindingInfo{"Bob's inbox", true, 10, handler, twoLines}));
    QCOMPARE(counts(), (QList<int>{1, 1, 1, 2, 1}));
}

void ScriptPagesTest::addForAllUsersEndToEnd()
{
    QPointer<app::ActionPage> p = prepare(addAll, QString(), m_script, {"chkNew", "chkSchedule"}); // 1 + 8 here
    m_boxes->expectYes().expectOk();
    finish(p);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(1).text, QStringLiteral("The script has been successfully installed"));
    QCOMPARE(m_boxes->shown().at(1).style, 0);
    QVERIFY(!p);
    for (const char *user : {"Mailbox - Ann", "Mailbox - Bob"}) {
        const std::vector<BindingInfo> seen = bindings(user, "Calendar");
        QCOMPARE(int(seen.size()), 2);
        QVERIFY(seen.at(1) == (BindingInfo{"Larkspur Calendar - Personal Calendar Folder", true, 9, handler, twoLines}));
    }
    QCOMPARE(counts(), (QList<int>{2, 1, 2, 1, 1}));
}

void ScriptPagesTest::noEventTickedAfterYes_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("mailbox");
    QTest::newRow("add one") << addOne << "Mailbox - Ann";
    QTest::newRow("add all") << addAll << QString();
}

void ScriptPagesTest::noEventTickedAfterYes()
{
    QFETCH(QString, page);
    QFETCH(QString, mailbox);
    const QList<int> before = counts();
    QPointer<app::ActionPage> p = prepare(page, mailbox, m_script);
    m_boxes->expectYes().expectOk();
    finish(p);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(1).text, QStringLiteral("You have not checked any events for your script"));
    QCOMPARE(m_boxes->shown().at(1).title, QStringLiteral("Choose Events!"));
    QCOMPARE(m_boxes->shown().at(1).style, 16);
    QVERIFY(p);
    QCOMPARE(child<QLineEdit>(p, "txtFileName")->text(), m_script);
    p->close();
    QCOMPARE(counts(), before);
}

void ScriptPagesTest::missingScriptFileIsTheErrorReport()
{
    const QString missing = m_store->dir() + QStringLiteral("/missing.txt");
    QPointer<app::ActionPage> p = prepare(addOne, QStringLiteral("Mailbox - Ann"), missing, {"chkChanged"});
    m_boxes->expectYes().expectOk();
    finish(p);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    const testsupport::ShownBox &report = m_boxes->shown().at(1);
    QVERIFY2(report.text.startsWith(QStringLiteral("Error: ")), qPrintable(report.text));
    QVERIFY2(report.text.contains(missing), qPrintable(report.text));
    QVERIFY2(report.text.endsWith(QStringLiteral(" (53)")), qPrintable(report.text));
    QCOMPARE(report.style, 0);
    QCOMPARE(report.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QVERIFY(p);
    p->close();
    QCOMPARE(count("Mailbox - Ann", "Calendar"), 1);
}

void ScriptPagesTest::cancellingTheDialogKeepsTheFileName()
{
    QPointer<app::ActionPage> p = prepare(addAll, QString(), QStringLiteral("C:\\Scripts\\earlier.txt"));
    m_dialog->cancel();
    QTest::mouseClick(child<QPushButton>(p, "cmdGetFileName"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>(p, "txtFileName")->text(), QStringLiteral("C:\\Scripts\\earlier.txt"));
    QCOMPARE(m_dialog->pending(), 0);
    QVERIFY(m_boxes->shown().isEmpty());
    p->close();
}

void ScriptPagesTest::deletePagesEndToEnd_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<QList<int>>("left"); // as counts() gives them
    QTest::newRow("folder") << deleteFolder << "The script has been successfully deleted" << true
                            << QList<int>{0, 1, 1, 1, 1};
    QTest::newRow("mailbox") << deleteMailbox << "All scripts for the Mailbox have been deleted" << true
                             << QList<int>{0, 0, 1, 1, 1};
    QTest::newRow("all mailboxes") << deleteAll << "All scripts for the Mailbox have been deleted" << false
                                   << QList<int>{0, 0, 0, 0, 1};
}

void ScriptPagesTest::deletePagesEndToEnd()
{
    QFETCH(QString, page);
    QFETCH(QString, text);
    QFETCH(bool, staysOpen);
    QFETCH(QList<int>, left);
    QPointer<app::ActionPage> p = prepare(page, staysOpen ? QStringLiteral("Mailbox - Ann") : QString(), QString());
    m_boxes->expectYes().expectOk();
    finish(p);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(1).text, text);
    QCOMPARE(m_boxes->shown().at(1).style, 0);
    QCOMPARE(m_boxes->shown().at(1).title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QCOMPARE(bool(p), staysOpen);
    QCOMPARE(counts(), left);
    if (!p)
        return;
    // The page kept its choice; Finish runs again with a new session, on another mailbox.
    auto *mailbox = child<QComboBox>(p, "cboMailbox");
    QCOMPARE(mailbox->currentText(), QStringLiteral("Mailbox - Ann"));
    mailbox->setCurrentIndex(mailbox->findText(QStringLiteral("Mailbox - Bob")));
    m_boxes->expectYes().expectOk();
    finish(p);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 4);
    QCOMPARE(count("Mailbox - Bob", "Calendar"), 0);
    p->close();
}

QTEST_MAIN(ScriptPagesTest)
#include "tst_scriptpages.moc"
