// The nine pages through the frame they share, opened from the switchboard, on a real
// store, offscreen, with scripted boxes: Close, Back and No change nothing; an error
// reaches the page's report or the top-level report, and Finish then does each page's
// work (read back from the store) under the wait cursor where the page has one, and
// closes the page or keeps it; the progress line of long runs, which take no input
// meanwhile; the input checks; the minimise icon. The pickers: which stores are listed
// and in what order, text typed into a picker kept as typed, the script name a folder
// picked sets, more stores than a 16-bit count holds (a fill that fails is a row of the
// whole-program test in tst_toplevel).
#include "PageTable.h"

#include "actions/calendar/CalendarLock.h"
#include "actions/scripts/ScriptFields.h"
#include "app/Pickers.h"
#include "app/Twips.h"
#include "messaging/AddressLists.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using testsupport::child;
using testsupport::click;

namespace {

const QString Ann = QStringLiteral("Mailbox - Ann");
const QString Untouched = QStringLiteral("AN- earlier,BB- earlier,Picnic / o o o o o");

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

// Runs `onPaint` whenever the watched widget is painted.
struct PaintWatch : QObject {
    std::function<void()> onPaint;
    bool eventFilter(QObject *, QEvent *event) override { return event->type() == QEvent::Paint && (onPaint(), false); }
};

} // namespace

class PageFrameTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { app::registerTahoma(); }
    void init();
    void cleanup();

    void closeBackAndNoChangeNothing_data() { addPages(false); }
    void closeBackAndNoChangeNothing();
    void failedLogonIsReportedAndTheNextFinishDoesTheWork_data() { addPages(true); }
    void failedLogonIsReportedAndTheNextFinishDoesTheWork();
    void inputChecksKeepThePageAsItWas_data();
    void inputChecksKeepThePageAsItWas();
    void minimiseIconMissingOrUnreadableIsNoError_data();
    void minimiseIconMissingOrUnreadableIsNoError();
    void pickersListTheRightMailboxesAndKeepTypedText_data();
    void pickersListTheRightMailboxesAndKeepTypedText();
    void moreStoresThanASixteenBitCount();
    void progressRepaintsAndClicksWaitDuringARun_data();
    void progressRepaintsAndClicksWaitDuringARun();

private:
    void addPages(bool skippedUser);
    // Opens the page and, with `fill`, gives it what its input check asks for: Ann's
    // mailbox, the Inbox and the script name "typed" where the page has them, the script
    // file through the file button, the boxes New and Delete.
    QPointer<app::ActionPage> open(const QString &page, bool fill = true);
    // The store as the pages change it: the shared calendar's subjects, then the bindings
    // of Ann's Calendar and Inbox, Bob's Calendar and Inbox and the administrator's
    // Calendar, each "o" (put there by init()), the mask of a complete new binding named
    // "typed", "bad" for anything else, or "-" when the folder has none.
    QString state() const;

    std::unique_ptr<testsupport::WindowFixture> m_fx;
    QString m_scriptFile;
    QPointer<app::ActionPage> m_page; // closed by cleanup() when still open
};

void PageFrameTest::init()
{
    m_fx = std::make_unique<testsupport::WindowFixture>();
    m_fx->store.addUser("Ann", "AN");
    m_fx->store.addUser("Bob", "BB");
    messaging::Session s = m_fx->store.logon();
    for (const std::string user : {"Mailbox - Ann", "Mailbox - Bob"}) {
        const std::string name = user.substr(10);
        testsupport::addItems(testsupport::calendarOf(s, user), {{"Plan of " + name}, {"Review of " + name}});
        for (const std::string folder : {"Calendar", "Inbox"})
            testsupport::addBinding(s, testsupport::folderAt(s, user, {folder}), "old");
    }
    testsupport::addItems(messaging::sharedCalendar(s), {{"AN- earlier"}, {"BB- earlier"}, {"Picnic"}});
    testsupport::addBinding(s, testsupport::calendarOf(s, "Mailbox - Administrator"), "old");
    testsupport::writeBytes(m_fx->store.dir() / "script.txt", "echo a\r\necho b\r\n");
    m_scriptFile = testsupport::qpath(m_fx->store.dir() / "script.txt");
}

void PageFrameTest::cleanup()
{
    if (m_page)
        m_page->close();
    const QStringList left = m_fx->leftovers();
    m_fx.reset();
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char('\n'))));
}

QPointer<app::ActionPage> PageFrameTest::open(const QString &page, bool fill)
{
    m_page = openPage(page);
    if (!m_page || !fill)
        return m_page;
    if (auto *mailbox = child<QComboBox>(m_page, "cboMailbox"))
        mailbox->setCurrentIndex(mailbox->findText(Ann));
    if (auto *folder = child<QComboBox>(m_page, "cboPersonalFolder"))
        folder->setCurrentIndex(folder->findText(QStringLiteral("Inbox")));
    if (auto *scriptName = child<QLineEdit>(m_page, "txtScriptName"))
        scriptName->setText(QStringLiteral("typed"));
    if (pageInfo(page).scriptFile) {
        // The file button: the chosen path goes into the field; cancelling leaves it.
        m_fx->dialog.answer(m_scriptFile).answer(std::nullopt);
        click(m_page, "cmdGetFileName");
        click(m_page, "cmdGetFileName");
        child<QCheckBox>(m_page, "chkNew")->setChecked(true);
        child<QCheckBox>(m_page, "chkDelete")->setChecked(true);
    }
    return m_page;
}

QString PageFrameTest::state() const
{
    messaging::Session s = m_fx->store.logon();
    QStringList subjects;
    for (const testsupport::Stored &item : testsupport::contents(messaging::sharedCalendar(s)))
        subjects << QString::fromStdString(item.subject);
    subjects.sort();
    QString text = subjects.join(QLatin1Char(',')) + QStringLiteral(" /");
    const testsupport::BindingInfo typed{"typed", true, 0, std::string(messaging::ScriptHandlerClassId),
                                         "\r\necho a\r\necho b"};
    for (const auto &[mailbox, folder] : {std::pair{"Ann", "Calendar"}, {"Ann", "Inbox"}, {"Bob", "Calendar"},
                                          {"Bob", "Inbox"}, {"Administrator", "Calendar"}}) {
        QStringList here;
        const messaging::Folder place = testsupport::folderAt(s, std::string("Mailbox - ") + mailbox, {folder});
        for (testsupport::BindingInfo b : testsupport::bindingsOf(s, place)) {
            const QString mask = QString::number(std::exchange(b.mask, 0));
            here << (b.name == "old" ? QStringLiteral("o") : b == typed ? mask : QStringLiteral("bad"));
        }
        text += QLatin1Char(' ') + (here.isEmpty() ? QStringLiteral("-") : here.join(QLatin1Char('+')));
    }
    return text;
}

// Each page with the store it leaves after Finish on the page as open() fills it.
void PageFrameTest::addPages(bool skippedUser)
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("unsharedUser"); // Cid, whose mailbox the profile cannot open
    QTest::addColumn<QString>("resultHas");
    const QString copied = QStringLiteral("AN- Plan of Ann,AN- Review of Ann,AN- earlier,");
    const QString allCopied = copied + "BB- Plan of Bob,BB- Review of Bob,BB- earlier,Picnic / o o o o o";
    const QStringList after{
        copied + "BB- earlier,Picnic / o o o o o",        // Ann's calendar copied
        allCopied,                                        // every calendar copied
        " / o o o o o",                                   // the shared calendar emptied
        "BB- earlier,Picnic / o o o o o",                 // Ann's copies deleted
        "AN- earlier,BB- earlier,Picnic / o o+10 o o o",  // one user: New 2, Delete 8
        "AN- earlier,BB- earlier,Picnic / o o+5 o o+5 o", // all users: New 1, Delete 4
        "AN- earlier,BB- earlier,Picnic / o - o o o",     // one folder's scripts
        "AN- earlier,BB- earlier,Picnic / - - o o o",     // one mailbox's scripts
        "AN- earlier,BB- earlier,Picnic / - - - - o",     // every mailbox but ours
    };
    for (std::size_t i = 0; i < pageTable().size(); ++i)
        QTest::newRow(pageTable()[i].name) << pageTable()[i].name << after.at(qsizetype(i)) << false << QString();
    // The skipped user is named in the result box, not hidden behind a plain success.
    if (skippedUser)
        QTest::newRow("copy all skips a user")
            << "frmCopyAllPersonalCalendarsLarkspurCalendar" << allCopied << true << "Mailbox - Cid: ";
}

void PageFrameTest::closeBackAndNoChangeNothing()
{
    QFETCH(QString, page);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(page);
    const auto kept = [&] { return !info.mailboxPicker || child<QComboBox>(window, "cboMailbox")->currentText() == Ann; };
    // Close asks; No keeps the page as it is.
    m_fx->boxes.expectNo();
    click(window, "cmdCancel");
    QVERIFY(window && kept());
    // No in the confirmation touches nothing and unloads the page, except on the pages
    // that stay open.
    m_fx->boxes.expectNo();
    click(window, "cmdFinish");
    QCOMPARE(m_fx->boxes.shown().value(1).title, QStringLiteral("Application Warning!"));
    QCOMPARE(window.isNull(), info.closes);
    QCOMPARE(state(), Untouched);
    if (window) {
        QVERIFY(kept());
        m_fx->boxes.expectYes(); // Close, Yes: unloaded
        click(window, "cmdCancel");
        QVERIFY(window.isNull());
    }
    // Back unloads without a question, also with the fields filled in.
    window = open(page);
    click(window, "cmdBack");
    QVERIFY(window.isNull());
    QCOMPARE(m_fx->boxes.shown().size(), info.closes ? 2 : 3);
}

void PageFrameTest::failedLogonIsReportedAndTheNextFinishDoesTheWork()
{
    QFETCH(QString, page);
    QFETCH(QString, after);
    QFETCH(bool, unsharedUser);
    QFETCH(QString, resultHas);
    if (unsharedUser)
        m_fx->store.addUser("Cid", "CI", 0, /*shared=*/false);
    const PageInfo &info = pageInfo(page);
    QPointer<app::ActionPage> window = open(page);
    {
        testsupport::RecordedTopLevelErrors reports;
        messaging::faults::failCall("Session.Logon", 1, messaging::ErrorCode::LogonFailed);
        m_fx->boxes.expectYes().expectOk();
        click(window, "cmdFinish");
        const testsupport::ShownBox box = m_fx->boxes.shown().value(1);
        QCOMPARE(box.title, QStringLiteral("LarkspurCalendarAdministrationApp"));
        QCOMPARE(state(), Untouched);
        // Without a trap the top-level report shows the number and ends the program;
        // with it the page's report does, and the page stays open.
        QCOMPARE(reports.exitCodes(), info.errorTrap ? QList<int>() : QList<int>{1});
        QCOMPARE(box.icon, info.errorTrap ? app::MsgIcon::None : app::MsgIcon::Critical);
        QVERIFY2(box.text.contains(QStringLiteral("-2147221231"))
                     && box.text.startsWith(QStringLiteral("Error: ")) == info.errorTrap,
                 qPrintable(box.text));
        QVERIFY(window || !info.errorTrap);
    }
    if (!window)
        window = open(page);
    bool waitCursorDuringResult = false;
    m_fx->boxes.expectYes().expectOk([&] {
        waitCursorDuringResult = window && window->testAttribute(Qt::WA_SetCursor)
                                 && window->cursor().shape() == Qt::WaitCursor;
    });
    click(window, "cmdFinish");

    const QString result = m_fx->boxes.shown().value(3).text;
    QVERIFY2(result.contains(resultHas) && !result.startsWith(QLatin1String("Error")), qPrintable(result));
    QCOMPARE(waitCursorDuringResult, info.waitCursor);
    QCOMPARE(window.isNull(), info.closes);
    QVERIFY(!window || !window->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(state(), after);
    QCOMPARE(m_fx->store.check(), std::vector<std::string>());
    // The script file dialog is the one whose "All Files (*.*)" lists names without a dot.
    for (const app::FileDialogRequest &request : m_fx->dialog.requests())
        QCOMPARE(request.filters, scripts::scriptFileRequest().filters);
}

// Which check refuses, by its box's title: the mailbox, then the script file name, both
// before the confirmation, then the events after it; last, a bulk run on the shared
// calendar while another administrator's run holds its lock.
void PageFrameTest::inputChecksKeepThePageAsItWas_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("chooseMailbox");
    QTest::addColumn<bool>("enterFile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("busy");

    const QString addOne = QStringLiteral("frmAddAnEventScriptToOneUsersPersonalFolder");
    const QString addAll = QStringLiteral("frmAddEventToAPersonalFolderForAllUsers");
    for (const PageInfo &page : pageTable()) {
        if (page.mailboxPicker && !page.scriptFile)
            QTest::newRow(page.name) << page.name << false << false << "Choose Mailbox" << false;
    }
    for (const char *bulk : {"frmCopyAllPersonalCalendarsLarkspurCalendar", "frmDeleteAllItemsFromLarkspurCalendar",
                             "frmDeleteSingleUsersItemsFromLarkspurCalendar"})
        QTest::newRow(bulk) << QString::fromLatin1(bulk) << true << false << "Larkspur Calendar Busy" << true;
    QTest::newRow("add script: nothing") << addOne << false << false << "Choose Mailbox" << false;
    QTest::newRow("add script: no mailbox") << addOne << false << true << "Choose Mailbox" << false;
    QTest::newRow("add script: no file") << addOne << true << false << "Missing Information" << false;
    QTest::newRow("add script: no events") << addOne << true << true << "Choose Events!" << false;
    QTest::newRow("add for all: no file") << addAll << false << false << "Missing Information" << false;
    QTest::newRow("add for all: no events") << addAll << false << true << "Choose Events!" << false;
}

void PageFrameTest::inputChecksKeepThePageAsItWas()
{
    QFETCH(QString, page);
    QFETCH(bool, chooseMailbox);
    QFETCH(bool, enterFile);
    QFETCH(QString, title);
    QFETCH(bool, busy);
    const std::unique_ptr<calendar::CalendarLock> otherRun = calendar::calendarLockFor(m_fx->store.file());
    QVERIFY(!busy || otherRun->acquire(std::chrono::milliseconds(0)));
    QPointer<app::ActionPage> window = open(page, false);
    auto *mailbox = child<QComboBox>(window, "cboMailbox");
    if (mailbox && chooseMailbox)
        mailbox->setCurrentIndex(0);
    auto *fileName = child<QLineEdit>(window, "txtFileName");
    if (fileName && enterFile)
        fileName->setText(m_scriptFile);
    const QString scriptName = fileName ? child<QLineEdit>(window, "txtScriptName")->text() : QString();
    if (title == QLatin1String("Choose Events!") || busy)
        m_fx->boxes.expectYes();
    m_fx->boxes.expectOk();
    click(window, "cmdFinish");

    const testsupport::ShownBox &box = m_fx->boxes.shown().last();
    QCOMPARE(box.title, title);
    QCOMPARE(box.style, busy ? 48 : 16);
    QCOMPARE(state(), Untouched);
    // The page stays open with its fields as they were.
    QVERIFY(window);
    QVERIFY(!mailbox || mailbox->currentIndex() == (chooseMailbox ? 0 : -1));
    QVERIFY(!fileName || fileName->text() == (enterFile ? m_scriptFile : QString()));
    QVERIFY(!fileName || child<QLineEdit>(window, "txtScriptName")->text() == scriptName);
}

void PageFrameTest::minimiseIconMissingOrUnreadableIsNoError_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("iconFile"); // "good", "garbage" or "missing"
    const QString tessel = QStringLiteral("frmDeleteAllItemsFromLarkspurCalendar");
    QTest::newRow("existing") << tessel << "good";
    QTest::newRow("missing") << tessel << "missing";
    QTest::newRow("unreadable") << tessel << "garbage";
    QTest::newRow("beside the program") << "frmDeleteAllScriptsForAllMailboxes" << "good";
}

void PageFrameTest::minimiseIconMissingOrUnreadableIsNoError()
{
    QFETCH(QString, page);
    QFETCH(QString, iconFile);
    const bool tessel = pageInfo(page).tesselIcon;
    const QString target = testsupport::qpath(m_fx->store.driveC() / "Tessel" / "Books05.ICO");
    QDir(testsupport::qpath(m_fx->store.driveC())).mkpath(QStringLiteral("Tessel"));
    if (iconFile == QLatin1String("good") && tessel)
        QVERIFY(QFile::copy(QStringLiteral(LARKSPUR_ICON_FILE), target));
    if (iconFile == QLatin1String("garbage"))
        testsupport::writeBytes(target.toStdString(), "not an icon at all");
    testsupport::RecordedTopLevelErrors reports;
    // The application's folder: the build copies the icon beside this test program.
    QPointer<app::ActionPage> window = open(page);
    const QIcon before = window->windowIcon();
    window->setWindowState(Qt::WindowMinimized);
    const QIcon minimised = window->windowIcon();
    QCOMPARE(minimised.cacheKey() != before.cacheKey(), iconFile == QLatin1String("good"));
    QVERIFY(iconFile != QLatin1String("good") || minimised.availableSizes().contains(QSize(48, 48)));
    // A missing or unreadable file is no error: nothing shown, the program goes on.
    QVERIFY(!reports.reported());
    QVERIFY(m_fx->boxes.shown().isEmpty());
}

void PageFrameTest::pickersListTheRightMailboxesAndKeepTypedText_data()
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

void PageFrameTest::pickersListTheRightMailboxesAndKeepTypedText()
{
    QFETCH(QString, page);
    QFETCH(bool, editableMailbox);
    QFETCH(bool, editableFolder);
    // Stores in the session's order; not those of unshared mailboxes or lists; those whose
    // names begin with exactly "Mailbox" (the mailboxes renamed by hand).
    const testsupport::StoreFixture &store = m_fx->store;
    store.addUser("Carol");
    store.addUser("Dan", "T", 0, /*shared=*/false);
    store.addUser("Everyone", std::nullopt, messaging::DisplayType::DistList);
    for (const char *renamed : {"Mailboxes", "mailbox x", "Mailbox", "Mailbo", "MAILBOX - U5"}) {
        store.addUser(std::string("U ") + renamed);
        store.sql(std::string("UPDATE stores SET name = '") + renamed + "' WHERE name = 'Mailbox - U " + renamed + "'");
    }
    store.addUser("Alice");
    QPointer<app::ActionPage> window = open(page, false);
    if (auto *mailboxes = child<QComboBox>(window, "cboMailbox")) {
        QCOMPARE(entries(mailboxes), (QStringList{"Mailbox - Administrator", "Mailbox - Ann", "Mailbox - Bob",
                                                  "Mailbox - Carol", "Mailboxes", "Mailbox", "Mailbox - Alice"}));
        QCOMPARE(mailboxes->currentText(), QString()); // until the user chooses
        QCOMPARE(mailboxes->isEditable(), editableMailbox);
        if (editableMailbox) // a partial or recased name is not completed to Ann's
            QCOMPARE(changedWhenTyped(mailboxes, {"Mailbox - A", "mailbox - ann"}), QStringList());
    }
    if (auto *folders = child<QComboBox>(window, "cboPersonalFolder")) {
        QCOMPARE(folders->currentText(), QStringLiteral("Calendar"));
        QCOMPARE(folders->isEditable(), editableFolder);
        if (editableFolder) // typed, even a folder's whole name, the text is no pick
            QCOMPARE(changedWhenTyped(folders, {"Deleted It", "deleted items", "Deleted Items"}), QStringList());
        // Picking the Calendar or the Deleted Items sets the script name; other folders
        // leave it as it is, also when typed by hand.
        if (auto *scriptName = child<QLineEdit>(window, "txtScriptName")) {
            const auto pick = [&](const char *name) {
                folders->setCurrentIndex(folders->findText(QString::fromLatin1(name)));
                emit folders->activated(folders->currentIndex());
                return scriptName->text();
            };
            QCOMPARE(scriptName->text(), QStringLiteral("Larkspur Calendar - Personal Calendar Folder"));
            QCOMPARE(pick("Deleted Items"), QStringLiteral("Larkspur Calendar - Deleted Items Folder"));
            QCOMPARE(pick("Calendar"), QStringLiteral("Larkspur Calendar - Personal Calendar Folder"));
            scriptName->setText(QStringLiteral("typed by hand"));
            QCOMPARE(pick("Inbox"), QStringLiteral("typed by hand"));
        }
    }
}

void PageFrameTest::moreStoresThanASixteenBitCount()
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
    QCOMPARE(picker.count(), users + 3);
    QCOMPARE(picker.itemText(users + 2), QStringLiteral("Mailbox - User %1").arg(users));
}

void PageFrameTest::progressRepaintsAndClicksWaitDuringARun_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("last"); // the progress line when the run ends
    QTest::newRow("copy all") << "frmCopyAllPersonalCalendarsLarkspurCalendar" << "4 of 4 users, 6 items copied";
    QTest::newRow("delete all") << "frmDeleteAllItemsFromLarkspurCalendar" << "3 of 3 items deleted";
    QTest::newRow("add script for all") << "frmAddEventToAPersonalFolderForAllUsers"
                                        << "3 of 3 users, 3 scripts installed";
    QTest::newRow("delete all scripts") << "frmDeleteAllScriptsForAllMailboxes" << "3 of 3 users, 5 scripts removed";
}

void PageFrameTest::progressRepaintsAndClicksWaitDuringARun()
{
    QFETCH(QString, page);
    QFETCH(QString, last);
    m_fx->store.addUser("Cid", "CI");
    m_fx->store.fill("Mailbox - Cid", {{"one"}, {"two"}});
    {
        messaging::Session s = m_fx->store.logon();
        testsupport::addBinding(s, testsupport::calendarOf(s, "Mailbox - Cid"), "old");
    }
    QPointer<app::ActionPage> window = open(page);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *label = child<QLabel>(window, "lblProgress");

    // The texts painted; at the first, a click and a key on Close and a click on Finish,
    // none of which may act.
    QStringList painted;
    PaintWatch watch;
    watch.onPaint = [&] {
        if (label->text().isEmpty() || (!painted.isEmpty() && painted.last() == label->text()))
            return;
        painted << label->text();
        if (painted.size() == 1) {
            QTest::mouseClick(window->cmdCancel(), Qt::LeftButton);
            QTest::keyClick(window->cmdCancel(), Qt::Key_Space);
            QTest::mouseClick(window->cmdFinish(), Qt::LeftButton);
        }
    };
    label->installEventFilter(&watch);
    QSignalSpy closes(window->cmdCancel(), &QPushButton::clicked);
    m_fx->boxes.expectYes().expectOk();
    click(window, "cmdFinish");

    QVERIFY2(painted.size() >= 3 && painted.last() == last, qPrintable(painted.join(QLatin1Char('|'))));
    QCOMPARE(closes.count(), 0);
    QCOMPARE(m_fx->boxes.shown().size(), 2); // the confirmation and the result, nothing else
}

QTEST_MAIN(PageFrameTest)
#include "tst_pageframe.moc"
