// The mailbox and folder pickers on real stores: which stores are listed and in what
// order, text typed into a picker kept as typed, stores whose names only begin like
// mailboxes, more stores than a 16-bit count holds, and failing fills.
#include "PageTable.h"

#include "app/Pickers.h"
#include "messaging/AddressLists.h"
#include "messaging/Error.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

class PickersTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_fx = std::make_unique<testsupport::WindowFixture>(); }
    void cleanup();

    void mailboxList_data();
    void mailboxList();
    void typedTextIsKeptAsTyped_data();
    void typedTextIsKeptAsTyped();
    void moreStoresThanASixteenBitCount();
    void failingFillsLeaveTheStoreSound_data();
    void failingFillsLeaveTheStoreSound();

private:
    void addUsers(const QStringList &users);

    std::unique_ptr<testsupport::WindowFixture> m_fx;
};

void PickersTest::cleanup()
{
    const QStringList left = m_fx->leftovers();
    m_fx.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
}

namespace {

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

// A user per entry: "name" or "name>renamed store" (the mailbox renamed by hand),
// "-name" not shared to the profile, "#name" a distribution list.
void PickersTest::addUsers(const QStringList &users)
{
    for (const QString &user : users) {
        if (user.startsWith(QLatin1Char('#'))) {
            m_fx->store.addUser(user.mid(1).toStdString(), std::nullopt, messaging::DisplayType::DistList);
            continue;
        }
        const bool shared = !user.startsWith(QLatin1Char('-'));
        const QStringList parts = user.mid(shared ? 0 : 1).split(QLatin1Char('>'));
        m_fx->store.addUser(parts.first().toStdString(), "T", 0, shared);
        if (parts.size() == 2)
            m_fx->store.sql(QStringLiteral("UPDATE stores SET name = '%1' WHERE name = 'Mailbox - %2'")
                                .arg(parts.last(), parts.first())
                                .toStdString());
    }
}

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
    addUsers(users);
    QComboBox picker;
    app::fillMailboxList(&picker);
    QCOMPARE(entries(&picker), expected);
    // Nothing preselected: the text stays empty until the user chooses.
    QCOMPARE(picker.currentIndex(), -1);
}

void PickersTest::typedTextIsKeptAsTyped_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("editableMailbox"); // on the calendar pages
    QTest::addColumn<bool>("editableFolder");  // on the all-users page
    for (const PageInfo &page : pageTable()) {
        if (page.mailboxPicker || page.scriptFile)
            QTest::newRow(page.name) << page.name << (page.mailboxPicker && !page.errorTrap)
                                     << (page.scriptFile && !page.mailboxPicker);
    }
}

void PickersTest::typedTextIsKeptAsTyped()
{
    QFETCH(QString, page);
    QFETCH(bool, editableMailbox);
    QFETCH(bool, editableFolder);
    addUsers({"Zed", "U1>Mailboxes"});
    QPointer<app::ActionPage> window = openPage(page);
    QVERIFY(window);
    if (auto *mailboxes = testsupport::child<QComboBox>(window, "cboMailbox")) {
        QCOMPARE(entries(mailboxes), (QStringList{"Mailbox - Administrator", "Mailbox - Zed", "Mailboxes"}));
        QCOMPARE(mailboxes->currentText(), QString());
        QCOMPARE(mailboxes->isEditable(), editableMailbox);
        if (editableMailbox) // a partial or recased name is not completed to Zed's
            QCOMPARE(changedWhenTyped(mailboxes, {"Mailbox - Z", "mailbox - zed"}), QStringList());
    }
    if (auto *folders = testsupport::child<QComboBox>(window, "cboPersonalFolder")) {
        QCOMPARE(folders->currentText(), QStringLiteral("Calendar"));
        QCOMPARE(folders->isEditable(), editableFolder);
        if (editableFolder) { // only picking from the list sets the script name
            QCOMPARE(changedWhenTyped(folders, {"Deleted It", "deleted items", "Deleted Items"}), QStringList());
            QCOMPARE(testsupport::child<QLineEdit>(window, "txtScriptName")->text(),
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
        messaging::ServerAdmin admin(m_fx->store.file());
        admin.beginBatch();
        for (int i = 1; i <= users; ++i)
            admin.addUser("User " + std::to_string(i), std::nullopt);
        admin.commitBatch();
    }
    QComboBox picker;
    app::fillMailboxList(&picker);
    QCOMPARE(picker.count(), users + 1);
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
    addUsers({"Alice", "Bob"});
    messaging::faults::failCall(operation.toStdString(), nth, number);
    QComboBox picker;
    try {
        app::fillMailboxList(&picker);
        QFAIL("the fill did not fail");
    } catch (const messaging::Error &error) {
        QCOMPARE(error.number(), number);
    }
    messaging::faults::clear();
    QCOMPARE(m_fx->store.check(), std::vector<std::string>());
    // The session was released: the next fill logs on again and lists everything.
    QComboBox again;
    app::fillMailboxList(&again);
    QCOMPARE(again.count(), 3);
}

QTEST_MAIN(PickersTest)
#include "tst_pickers.moc"
