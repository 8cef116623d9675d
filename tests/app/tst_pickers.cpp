// The mailbox and folder pickers on real stores: which stores are listed and in what
// order, text typed into a picker kept as typed, stores whose names only begin like
// mailboxes, more stores than a 16-bit count holds, the folder list, and failing fills.
#include "PageTable.h"
#include "ScriptedMessageBoxes.h"
#include "StoreFixture.h"
#include "WindowHelpers.h"

#include "app/Pickers.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"
#include "messaging/FaultInjection.h"
#include "messaging/ServerAdmin.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>

#include <memory>

class PickersTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mailboxList_data();
    void mailboxList();
    void pickersOnThePages_data();
    void pickersOnThePages();
    void moreStoresThanASixteenBitCount();
    void failingFillsLeaveTheStoreSound_data();
    void failingFillsLeaveTheStoreSound();

private:
    std::unique_ptr<testsupport::StoreFixture> m_store;
    std::unique_ptr<testsupport::ScriptedMessageBoxes> m_boxes;
};

void PickersTest::init()
{
    m_store = std::make_unique<testsupport::StoreFixture>();
    QVERIFY(m_store->isValid());
    m_boxes = std::make_unique<testsupport::ScriptedMessageBoxes>();
    messaging::faults::clear();
}

void PickersTest::cleanup()
{
    messaging::faults::clear();
    const QStringList leaked = testsupport::closeLeakedWindows();
    const QStringList problems = m_boxes->problems();
    m_boxes.reset();
    m_store.reset();
    QVERIFY2(leaked.isEmpty(), qPrintable(leaked.join(QLatin1Char(' '))));
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

namespace {

// A user per entry: "name" or "name>renamed store" (the mailbox renamed by hand),
// "-name" not shared to the profile, "#name" a distribution list.
void addUsers(testsupport::StoreFixture &store, const QStringList &users)
{
    for (const QString &user : users) {
        if (user.startsWith(QLatin1Char('#'))) {
            store.addUser(user.mid(1).toStdString(), std::nullopt, messaging::DisplayType::DistList);
            continue;
        }
        const bool shared = !user.startsWith(QLatin1Char('-'));
        const QString plain = shared ? user : user.mid(1);
        const QStringList parts = plain.split(QLatin1Char('>'));
        store.addUser(parts.first().toStdString(), "T" + parts.first().toStdString(), 0, shared);
        if (parts.size() == 2)
            store.renameStore("Mailbox - " + parts.first().toStdString(), parts.last().toStdString());
    }
}

QStringList entries(const QComboBox *picker)
{
    QStringList list;
    for (int i = 0; i < picker->count(); ++i)
        list.append(picker->itemText(i));
    return list;
}

// Types each text into an editable picker, then Enter and leaving the field: the texts
// the picker changed ("typed -> held").
QStringList changedWhenTyped(QComboBox *picker, const QStringList &texts)
{
    QStringList changed;
    QApplication::setActiveWindow(picker->window());
    picker->setFocus();
    for (const QString &text : texts) {
        picker->clearEditText();
        QTest::keyClicks(picker->lineEdit(), text);
        QTest::keyClick(picker->lineEdit(), Qt::Key_Return);
        emit picker->lineEdit()->editingFinished();
        if (picker->currentText() != text)
            changed << text + QStringLiteral(" -> ") + picker->currentText();
    }
    return changed;
}

} // namespace

void PickersTest::mailboxList_data()
{
    QTest::addColumn<QStringList>("users");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("administrator only") << QStringList() << QStringList{"Mailbox - Administrator"};
    QTest::newRow("store order, unshared and lists left out")
        << QStringList{"Carol", "-Bob", "Alice", "#Everyone"}
        << QStringList{"Mailbox - Administrator", "Mailbox - Carol", "Mailbox - Alice"};
    QTest::newRow("names that only begin like a mailbox")
        << QStringList{"U1>Mailboxes", "U2>mailbox x", "U3>Mailbox", "U4>Mailbo", "U5>MAILBOX - U5", "Dora"}
        << QStringList{"Mailbox - Administrator", "Mailboxes", "Mailbox", "Mailbox - Dora"};
}

void PickersTest::mailboxList()
{
    QFETCH(QStringList, users);
    QFETCH(QStringList, expected);
    addUsers(*m_store, users);
    QComboBox picker;
    app::fillMailboxList(&picker);
    QCOMPARE(entries(&picker), expected);
    // Nothing preselected: the text stays empty until the user chooses.
    QCOMPARE(picker.currentIndex(), -1);
    // One logon and one logoff per fill.
    QCOMPARE(messaging::faults::callCount("Session.Logon"), 1);
    QCOMPARE(messaging::faults::callCount("Session.Logoff"), 1);
}

void PickersTest::pickersOnThePages_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("mailboxPicker"); // 0 none, 1 a list, 2 also typed into
    QTest::addColumn<bool>("folderPicker");
    QTest::newRow("copy one") << "frmAUserPersonalCalendarToLarkspurCalendar" << 2 << false;
    QTest::newRow("delete user items") << "frmDeleteSingleUsersItemsFromLarkspurCalendar" << 2 << false;
    QTest::newRow("add script") << "frmAddAnEventScriptToOneUsersPersonalFolder" << 1 << true;
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers" << 0 << true;
    QTest::newRow("delete folder scripts") << "frmDeleteScriptsFromOneFolderForMailbox" << 1 << true;
    QTest::newRow("delete mailbox scripts") << "frmDeleteAllScriptsFromOneMailbox" << 1 << false;
}

void PickersTest::pickersOnThePages()
{
    QFETCH(QString, page);
    QFETCH(int, mailboxPicker);
    QFETCH(bool, folderPicker);
    addUsers(*m_store, {"Zed", "U1>Mailboxes", "U2>mailbox x"});
    QPointer<app::ActionPage> window = pageInfo(page).open();
    QVERIFY(window);
    auto *mailboxes = window->findChild<QComboBox *>(QStringLiteral("cboMailbox"));
    QCOMPARE(mailboxes != nullptr, mailboxPicker != 0);
    if (mailboxes) {
        QCOMPARE(entries(mailboxes), (QStringList{"Mailbox - Administrator", "Mailbox - Zed", "Mailboxes"}));
        QCOMPARE(mailboxes->currentText(), QString());
        QCOMPARE(mailboxes->isEditable(), mailboxPicker == 2);
        if (mailboxes->isEditable()) // a partial or recased name is not completed to Zed's
            QCOMPARE(changedWhenTyped(mailboxes, {"Mailbox - Z", "mailbox - zed"}), QStringList());
    }
    auto *folders = window->findChild<QComboBox *>(QStringLiteral("cboPersonalFolder"));
    QCOMPARE(folders != nullptr, folderPicker);
    if (folders) {
        QCOMPARE(entries(folders), (QStringList{"Calendar", "Contact", "Deleted Items", "Drafts", "Inbox", "Journal",
                                                "Notes", "Outbox", "Sent Items", "Tasks"}));
        QCOMPARE(folders->currentIndex(), 0);
        QCOMPARE(folders->currentText(), QStringLiteral("Calendar"));
        if (folders->isEditable()) { // only picking from the list sets the script name
            QCOMPARE(changedWhenTyped(folders, {"Deleted It", "deleted items", "Deleted Items"}), QStringList());
            QCOMPARE(window->findChild<QLineEdit *>(QStringLiteral("txtScriptName"))->text(),
                     QStringLiteral("Larkspur Calendar - Personal Calendar Folder"));
        }
    }
    window->close();
}

void PickersTest::moreStoresThanASixteenBitCount()
{
    // 32,770 mailboxes and the public store: more than a signed 16-bit count holds.
    const int users = 32770;
    {
        messaging::ServerAdmin admin(m_store->storePath().toStdString());
        admin.beginBatch();
        for (int i = 1; i <= users; ++i)
            admin.addUser("User " + std::to_string(i), std::nullopt);
        admin.commitBatch();
    }
    QComboBox picker;
    app::fillMailboxList(&picker);
    QCOMPARE(picker.count(), users + 1);
    QCOMPARE(picker.itemText(0), QStringLiteral("Mailbox - Administrator"));
    QCOMPARE(picker.itemText(users), QStringLiteral("Mailbox - User %1").arg(users));
}

void PickersTest::failingFillsLeaveTheStoreSound_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("number");
    QTest::newRow("logon") << "Session.Logon" << 1 << messaging::ErrorCode::LogonFailed;
    QTest::newRow("store count") << "InfoStores.Count" << 1 << messaging::ErrorCode::StoreFailure;
    QTest::newRow("third store") << "InfoStores.Item" << 3 << messaging::ErrorCode::NoAccess;
}

void PickersTest::failingFillsLeaveTheStoreSound()
{
    QFETCH(QString, operation);
    QFETCH(int, nth);
    QFETCH(int, number);
    addUsers(*m_store, {"Alice", "Bob"});
    messaging::faults::failCall(operation.toStdString(), nth, number);
    QComboBox picker;
    try {
        app::fillMailboxList(&picker);
        QFAIL("the fill did not fail");
    } catch (const messaging::Error &error) {
        QCOMPARE(error.number(), number);
    }
    messaging::faults::clear();
    QCOMPARE(m_store->check(), QStringList());
    // The session was released: the next fill logs on again and lists everything.
    QComboBox again;
    app::fillMailboxList(&again);
    QCOMPARE(again.count(), 3);
}

QTEST_MAIN(PickersTest)
#include "tst_pickers.moc"
