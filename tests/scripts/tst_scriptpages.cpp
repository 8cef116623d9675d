// The five event-script pages end to end on a real store, offscreen, with scripted
// message boxes and file dialog: No, Finish with its result box, the events check, the
// error report, and which pages stay open to run again.
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
#include "messaging/Events.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/PropTags.h"
#include "messaging/Session.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>

using testsupport::ScriptedMessageBoxes;

namespace {

using Opener = std::function<app::ActionPage *()>;

Opener opener(const QString &name)
{
    if (name == QLatin1String("frmAddAnEventScriptToOneUsersPersonalFolder"))
        return [] { return testsupport::openPage<scripts::frmAddAnEventScriptToOneUsersPersonalFolder>(); };
    if (name == QLatin1String("frmAddEventToAPersonalFolderForAllUsers"))
        return [] { return testsupport::openPage<scripts::frmAddEventToAPersonalFolderForAllUsers>(); };
    if (name == QLatin1String("frmDeleteScriptsFromOneFolderForMailbox"))
        return [] { return testsupport::openPage<scripts::frmDeleteScriptsFromOneFolderForMailbox>(); };
    if (name == QLatin1String("frmDeleteAllScriptsFromOneMailbox"))
        return [] { return testsupport::openPage<scripts::frmDeleteAllScriptsFromOneMailbox>(); };
    return [] { return testsupport::openPage<scripts::frmDeleteAllScriptsForAllMailboxes>(); };
}

messaging::Folder folderOf(messaging::Session &s, const std::string &storeName, const std::string &folder)
{
    return s.InfoStores().Item(storeName).RootFolder().Folders().Item(folder);
}

struct Seen {
    QString name;
    int mask;
    QByteArray script;
};

QList<Seen> bindings(const std::string &storeName, const std::string &folder)
{
    messaging::Session s;
    s.Logon("Administrator");
    auto events = messaging::Events::Create("MSExchange.Events");
    events->SetSession(s);
    QList<Seen> out;
    for (const messaging::Binding b : events->BoundFolder(folderOf(s, storeName, folder), true).Bindings()) {
        const std::string script =
            s.GetMessage(b.EntryID()).Fields().Item(messaging::PropTag::ScriptText).Text();
        out.push_back({QString::fromStdString(b.Name()), b.EventMask(), QByteArray::fromStdString(script)});
    }
    s.Logoff();
    return out;
}

void addBinding(const std::string &storeName, const std::string &folder)
{
    messaging::Session s;
    s.Logon("Administrator");
    auto events = messaging::Events::Create("MSExchange.Events");
    events->SetSession(s);
    messaging::BoundFolder bound = events->BoundFolder(folderOf(s, storeName, folder), true);
    messaging::Binding binding = bound.Bindings().Add();
    binding.SetName("old");
    binding.SetActive(true);
    binding.SetEventMask(1);
    binding.SetHandlerClassID(messaging::ScriptHandlerClassId);
    binding.SaveChanges();
    messaging::Message m = s.GetMessage(binding.EntryID());
    m.Fields().Item(messaging::PropTag::ScriptText).SetValue(std::string("\r\nold"));
    m.Update();
    binding.SaveCustomChanges(m);
    bound.SaveChanges();
    s.Logoff();
}

void choose(app::ActionPage *page, const char *combo, const QString &text)
{
    auto *box = page->findChild<QComboBox *>(QString::fromLatin1(combo));
    QVERIFY2(box && box->findText(text) >= 0, qPrintable(text));
    box->setCurrentIndex(box->findText(text));
}

void tick(app::ActionPage *page, const QStringList &names)
{
    for (const QString &name : names) {
        auto *box = page->findChild<QCheckBox *>(name);
        QVERIFY2(box, qPrintable(name));
        box->setChecked(true);
    }
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
    // Ann and Bob with a binding on Calendar and Inbox each, the administrator with one
    // on Calendar; a two-line script file.
    void fill();

    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
    std::unique_ptr<testsupport::ScriptedFileDialog> m_dialog;
    QString m_script;
};

void ScriptPagesTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_boxes = std::make_unique<ScriptedMessageBoxes>();
    m_dialog = std::make_unique<testsupport::ScriptedFileDialog>();
    m_script = m_store->dir() + QStringLiteral("/hello.txt");
    QFile file(m_script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("echo a\r\necho b\r\n");
}

void ScriptPagesTest::cleanup()
{
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems();
    const int unexpectedDialogs = m_dialog->unexpected();
    m_dialog.reset();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(QStringLiteral("left open: ") + leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    QCOMPARE(unexpectedDialogs, 0);
}

void ScriptPagesTest::fill()
{
    m_store->addUser("Ann", "AN");
    m_store->addUser("Bob", "BB");
    for (const char *user : {"Mailbox - Ann", "Mailbox - Bob"}) {
        addBinding(user, "Calendar");
        addBinding(user, "Inbox");
    }
    addBinding("Mailbox - Administrator", "Calendar");
}

void ScriptPagesTest::confirmationNo_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("mailbox");
    QTest::addColumn<bool>("file");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("add one") << "frmAddAnEventScriptToOneUsersPersonalFolder" << true << true << false;
    QTest::newRow("add all") << "frmAddEventToAPersonalFolderForAllUsers" << false << true << false;
    QTest::newRow("delete folder") << "frmDeleteScriptsFromOneFolderForMailbox" << true << false << true;
    QTest::newRow("delete mailbox") << "frmDeleteAllScriptsFromOneMailbox" << true << false << true;
    QTest::newRow("delete all") << "frmDeleteAllScriptsForAllMailboxes" << false << false << false;
}

void ScriptPagesTest::confirmationNo()
{
    QFETCH(QString, page);
    QFETCH(bool, mailbox);
    QFETCH(bool, file);
    QFETCH(bool, staysOpen);
    fill();
    QPointer<app::ActionPage> p = opener(page)();
    QVERIFY(p);
    if (mailbox)
        choose(p, "cboMailbox", QStringLiteral("Mailbox - Ann"));
    if (file) {
        p->findChild<QLineEdit *>(QStringLiteral("txtFileName"))->setText(m_script);
        tick(p, {QStringLiteral("chkNew")});
    }
    m_boxes->expectNo();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(0).title, QStringLiteral("Application Warning!"));
    QCOMPARE(bool(p), staysOpen);
    if (p) {
        QCOMPARE(p->findChild<QComboBox *>(QStringLiteral("cboMailbox"))->currentText(), QStringLiteral("Mailbox - Ann"));
        p->close();
    }
    for (const char *user : {"Mailbox - Ann", "Mailbox - Bob"}) {
        QCOMPARE(bindings(user, "Calendar").size(), 1);
        QCOMPARE(bindings(user, "Inbox").size(), 1);
    }
}

void ScriptPagesTest::addForOneUserEndToEnd()
{
    fill();
    QPointer<app::ActionPage> p = opener(QStringLiteral("frmAddAnEventScriptToOneUsersPersonalFolder"))();
    choose(p, "cboMailbox", QStringLiteral("Mailbox - Bob"));
    choose(p, "cboPersonalFolder", QStringLiteral("Inbox"));
    m_dialog->choose(m_script);
    QTest::mouseClick(p->findChild<QPushButton *>(QStringLiteral("cmdGetFileName")), Qt::LeftButton);
    QCOMPARE(p->findChild<QLineEdit *>(QStringLiteral("txtFileName"))->text(), m_script);
    p->findChild<QLineEdit *>(QStringLiteral("txtScriptName"))->setText(QStringLiteral("Bob's inbox"));
    tick(p, {QStringLiteral("chkNew"), QStringLiteral("chkDelete")}); // 2 + 8 on this page
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();

    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    const testsupport::ShownBox &result = m_boxes->shown().at(1);
    QCOMPARE(result.text, QStringLiteral("The script has been successfully installed"));
    QCOMPARE(result.style, 0);
    QCOMPARE(result.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QVERIFY(!p);
    const QList<Seen> seen = bindings("Mailbox - Bob", "Inbox");
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.at(1).name, QStringLiteral("Bob's inbox"));
    QCOMPARE(seen.at(1).mask, 10);
    QCOMPARE(seen.at(1).script, QByteArray("\r\necho a\r\necho b"));
    QCOMPARE(bindings("Mailbox - Ann", "Inbox").size(), 1);
}

void ScriptPagesTest::addForAllUsersEndToEnd()
{
    fill();
    QPointer<app::ActionPage> p = opener(QStringLiteral("frmAddEventToAPersonalFolderForAllUsers"))();
    p->findChild<QLineEdit *>(QStringLiteral("txtFileName"))->setText(m_script);
    tick(p, {QStringLiteral("chkNew"), QStringLiteral("chkSchedule")}); // 1 + 8 on this page
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();

    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(1).text, QStringLiteral("The script has been successfully installed"));
    QCOMPARE(m_boxes->shown().at(1).style, 0);
    QVERIFY(!p);
    for (const char *user : {"Mailbox - Ann", "Mailbox - Bob"}) {
        const QList<Seen> seen = bindings(user, "Calendar");
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.at(1).mask, 9);
        QCOMPARE(seen.at(1).name, QStringLiteral("Larkspur Calendar - Personal Calendar Folder"));
        QCOMPARE(seen.at(1).script, QByteArray("\r\necho a\r\necho b"));
    }
    QCOMPARE(bindings("Mailbox - Administrator", "Calendar").size(), 1);
}

void ScriptPagesTest::noEventTickedAfterYes_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("mailbox");
    QTest::newRow("add one") << "frmAddAnEventScriptToOneUsersPersonalFolder" << true;
    QTest::newRow("add all") << "frmAddEventToAPersonalFolderForAllUsers" << false;
}

void ScriptPagesTest::noEventTickedAfterYes()
{
    QFETCH(QString, page);
    QFETCH(bool, mailbox);
    fill();
    QPointer<app::ActionPage> p = opener(page)();
    if (mailbox)
        choose(p, "cboMailbox", QStringLiteral("Mailbox - Ann"));
    p->findChild<QLineEdit *>(QStringLiteral("txtFileName"))->setText(m_script);
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(1).text, QStringLiteral("You have not checked any events for your script"));
    QCOMPARE(m_boxes->shown().at(1).title, QStringLiteral("Choose Events!"));
    QCOMPARE(m_boxes->shown().at(1).style, 16);
    QVERIFY(p);
    QCOMPARE(p->findChild<QLineEdit *>(QStringLiteral("txtFileName"))->text(), m_script);
    p->close();
    QCOMPARE(bindings("Mailbox - Ann", "Calendar").size(), 1);
}

void ScriptPagesTest::missingScriptFileIsTheErrorReport()
{
    fill();
    const QString missing = m_store->dir() + QStringLiteral("/missing.txt");
    QPointer<app::ActionPage> p = opener(QStringLiteral("frmAddAnEventScriptToOneUsersPersonalFolder"))();
    choose(p, "cboMailbox", QStringLiteral("Mailbox - Ann"));
    p->findChild<QLineEdit *>(QStringLiteral("txtFileName"))->setText(missing);
    tick(p, {QStringLiteral("chkChanged")});
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    const testsupport::ShownBox &report = m_boxes->shown().at(1);
    QVERIFY2(report.text.startsWith(QStringLiteral("Error: ")), qPrintable(report.text));
    QVERIFY2(report.text.contains(missing), qPrintable(report.text));
    QVERIFY2(report.text.endsWith(QStringLiteral(" (53)")), qPrintable(report.text));
    QCOMPARE(report.style, 0);
    QCOMPARE(report.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QVERIFY(p);
    p->close();
    QCOMPARE(bindings("Mailbox - Ann", "Calendar").size(), 1);
}

void ScriptPagesTest::cancellingTheDialogKeepsTheFileName()
{
    fill();
    QPointer<app::ActionPage> p = opener(QStringLiteral("frmAddEventToAPersonalFolderForAllUsers"))();
    auto *fileName = p->findChild<QLineEdit *>(QStringLiteral("txtFileName"));
    fileName->setText(QStringLiteral("C:\\Scripts\\earlier.txt"));
    m_dialog->cancel();
    QTest::mouseClick(p->findChild<QPushButton *>(QStringLiteral("cmdGetFileName")), Qt::LeftButton);
    QCOMPARE(fileName->text(), QStringLiteral("C:\\Scripts\\earlier.txt"));
    QCOMPARE(m_dialog->pending(), 0);
    QVERIFY(m_boxes->shown().isEmpty());
    p->close();
}

void ScriptPagesTest::deletePagesEndToEnd_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<QList<int>>("left"); // Ann Calendar, Ann Inbox, Bob Calendar, Bob Inbox, Administrator Calendar
    QTest::newRow("folder") << "frmDeleteScriptsFromOneFolderForMailbox" << "The script has been successfully deleted"
                            << true << QList<int>{0, 1, 1, 1, 1};
    QTest::newRow("mailbox") << "frmDeleteAllScriptsFromOneMailbox" << "All scripts for the Mailbox have been deleted"
                             << true << QList<int>{0, 0, 1, 1, 1};
    QTest::newRow("all mailboxes") << "frmDeleteAllScriptsForAllMailboxes"
                                   << "All scripts for the Mailbox have been deleted" << false
                                   << QList<int>{0, 0, 0, 0, 1};
}

void ScriptPagesTest::deletePagesEndToEnd()
{
    QFETCH(QString, page);
    QFETCH(QString, text);
    QFETCH(bool, staysOpen);
    QFETCH(QList<int>, left);
    fill();
    QPointer<app::ActionPage> p = opener(page)();
    auto *mailbox = p->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
    if (mailbox)
        choose(p, "cboMailbox", QStringLiteral("Mailbox - Ann"));
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    testsupport::flushDeletes();
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().at(1).text, text);
    QCOMPARE(m_boxes->shown().at(1).style, 0);
    QCOMPARE(m_boxes->shown().at(1).title, QStringLiteral("LarkspurCalendarAdministrationApp"));
    QCOMPARE(bool(p), staysOpen);
    const QList<int> now{int(bindings("Mailbox - Ann", "Calendar").size()), int(bindings("Mailbox - Ann", "Inbox").size()),
                         int(bindings("Mailbox - Bob", "Calendar").size()), int(bindings("Mailbox - Bob", "Inbox").size()),
                         int(bindings("Mailbox - Administrator", "Calendar").size())};
    QCOMPARE(now, left);
    if (!p)
        return;
    // The page kept its choice; Finish runs again with a new session, on another mailbox.
    QCOMPARE(mailbox->currentText(), QStringLiteral("Mailbox - Ann"));
    choose(p, "cboMailbox", QStringLiteral("Mailbox - Bob"));
    m_boxes->expectYes().expectOk();
    QTest::mouseClick(p->cmdFinish(), Qt::LeftButton);
    QVERIFY2(m_boxes->allAnswered(), qPrintable(m_boxes->problems().join('\n')));
    QCOMPARE(m_boxes->shown().size(), 4);
    QCOMPARE(int(bindings("Mailbox - Bob", "Calendar").size()), 0);
    p->close();
}

QTEST_MAIN(ScriptPagesTest)
#include "tst_scriptpages.moc"
