#include "app/frmSwitchboard.h"

#include "actions/calendar/CalendarActions.h"
#include "actions/calendar/frmAUserPersonalCalendarToLarkspurCalendar.h"
#include "actions/calendar/frmCopyAllPersonalCalendarsLarkspurCalendar.h"
#include "actions/calendar/frmDeleteAllItemsFromLarkspurCalendar.h"
#include "actions/calendar/frmDeleteSingleUsersItemsFromLarkspurCalendar.h"
#include "actions/scripts/frmAddAnEventScriptToOneUsersPersonalFolder.h"
#include "actions/scripts/frmAddEventToAPersonalFolderForAllUsers.h"
#include "actions/scripts/frmDeleteAllScriptsForAllMailboxes.h"
#include "actions/scripts/frmDeleteAllScriptsFromOneMailbox.h"
#include "actions/scripts/frmDeleteScriptsFromOneFolderForMailbox.h"
#include "app/ActionPage.h"
#include "app/MessageBoxes.h"
#include "app/TopLevelError.h"
#include "app/Twips.h"
#include "messaging/Folder.h"
#include "messaging/Session.h"

#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <memory>
#include <string>

namespace app {

using calendar::frmAUserPersonalCalendarToLarkspurCalendar;
using calendar::frmCopyAllPersonalCalendarsLarkspurCalendar;
using calendar::frmDeleteAllItemsFromLarkspurCalendar;
using calendar::frmDeleteSingleUsersItemsFromLarkspurCalendar;
using scripts::frmAddAnEventScriptToOneUsersPersonalFolder;
using scripts::frmAddEventToAPersonalFolderForAllUsers;
using scripts::frmDeleteAllScriptsForAllMailboxes;
using scripts::frmDeleteAllScriptsFromOneMailbox;
using scripts::frmDeleteScriptsFromOneFolderForMailbox;

namespace {

// The open pages by window name. Kept outside the switchboard: pages outlive it.
QHash<QString, QPointer<ActionPage>> &openPages()
{
    static QHash<QString, QPointer<ActionPage>> pages;
    return pages;
}

QPushButton *makeButton(QWidget *window, const char *name, const QString &caption, int left)
{
    auto *button = new QPushButton(caption, window);
    button->setObjectName(QString::fromLatin1(name));
    placeTwips(button, left, 6060, 1335, 495);
    return button;
}

} // namespace

frmSwitchboard::frmSwitchboard(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmSwitchboard"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Larkspur Calendar Administration"));
    setFont(tahoma(12, true));
    resize(twipsSize(this, 7260, 6675));

    m_lblTitle = new QLabel(QStringLiteral("Choose Administrative Action"), this);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    m_lblTitle->setFont(tahoma(15.75, true));
    m_lblTitle->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    placeTwips(m_lblTitle, 240, 120, 6855, 435);

    m_frame1 = new QGroupBox(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    placeTwips(m_frame1, 180, 540, 6975, 5235);

    struct Option {
        QRadioButton **member;
        const char *name;
        const char *caption;
        int top;
        int height;
    };
    const Option options[] = {
        {&m_optDeleteAllItemsOnLarkspurCalendar, "optDeleteAllItemsOnLarkspurCalendar",
         "Delete All Items On The Larkspur Calendar", 300, 315},
        {&m_optDeleteOneUsersLarkspurCalendarItems, "optDeleteOneUsersLarkspurCalendarItems",
         "Delete A Single User's Items From The Larkspur Calendar", 817, 315},
        {&m_optCopyAPersonalCalendarToLarkspurCalendar, "optCopyAPersonalCalendarToLarkspurCalendar",
         "Copy A Personal Calendar To The Larkspur Calendar", 1334, 315},
        {&m_optCopyAllPersonalCalendarsToLarkspurCalendar, "optCopyAllPersonalCalendarsToLarkspurCalendar",
         "Copy All Personal Calendars To The Larkspur Calendar", 1851, 315},
        {&m_optAddEventScriptToOneUsersPersonalCalendar, "optAddEventScriptToOneUsersPersonalCalendar",
         "Add Event Script To One User's Personal Calendar", 2368, 270},
        {&m_optAddEventScriptToAllPersonalCalendars, "optAddEventScriptToAllPersonalCalendars",
         "Add Event Script To All Personal Calendars", 2840, 270},
        {&m_optDeleteScriptFromOneFolderInOneMailbox, "optDeleteScriptFromOneFolderInOneMailbox",
         "Delete Script From One Folder In One Mailbox", 3312, 270},
        {&m_optDeleteAllScriptsInAMailbox, "optDeleteAllScriptsInAMailbox", "Delete All Scripts In A Mailbox", 3784,
         270},
        {&m_optDeleteAllScriptsInAllMailboxes, "optDeleteAllScriptsInAllMailboxes",
         "Delete All Scripts In All Mailboxes", 4260, 270},
        {&m_optGetLarkspurCalendarFolderID, "optGetLarkspurCalendarFolderID", "Get Larkspur Calendar Folder ID", 4740,
         270},
    };
    const QFont optionFont = tahoma(11.25, true);
    QWidget *previous = nullptr;
    for (const Option &option : options) {
        auto *radio = new QRadioButton(QString::fromLatin1(option.caption), m_frame1);
        radio->setObjectName(QString::fromLatin1(option.name));
        radio->setFont(optionFont);
        placeTwips(radio, 180, option.top, 6495, option.height);
        *option.member = radio;
        if (previous)
            setTabOrder(previous, radio);
        previous = radio;
    }

    m_cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("Close"), 180);
    m_cmdFinish = makeButton(this, "cmdFinish", QStringLiteral("Finish"), 2060);
    m_cmdBack = makeButton(this, "cmdBack", QStringLiteral("Back"), 3940);
    m_cmdNext = makeButton(this, "cmdNext", QStringLiteral("Next"), 5820);
    for (QWidget *button : {static_cast<QWidget *>(m_cmdCancel), static_cast<QWidget *>(m_cmdFinish),
                            static_cast<QWidget *>(m_cmdBack), static_cast<QWidget *>(m_cmdNext)}) {
        setTabOrder(previous, button);
        previous = button;
    }

    fitCaptions(this);

    // Window load: Back and Finish are inert on this window.
    m_cmdBack->setEnabled(false);
    m_cmdFinish->setEnabled(false);
    m_optDeleteAllItemsOnLarkspurCalendar->setFocus();

    connect(m_cmdCancel, &QPushButton::clicked, this, [this] { runHandler([this] { close(); }); });
    connect(m_cmdNext, &QPushButton::clicked, this, [this] { runHandler([this] { next(); }); });
}

frmSwitchboard::~frmSwitchboard() = default;

ActionPage *frmSwitchboard::openPage(const QString &windowName)
{
    return openPages().value(windowName).data();
}

QString frmSwitchboard::identifierFileName()
{
    return QStringLiteral("C:\\Larkspur Calendar ID.Txt");
}

void frmSwitchboard::next()
{
    // Every option is tested in this order; the buttons are exclusive, so at most one
    // acts.
    if (m_optDeleteAllItemsOnLarkspurCalendar->isChecked())
        showPage<frmDeleteAllItemsFromLarkspurCalendar>();
    if (m_optDeleteOneUsersLarkspurCalendarItems->isChecked())
        showPage<frmDeleteSingleUsersItemsFromLarkspurCalendar>();
    if (m_optCopyAPersonalCalendarToLarkspurCalendar->isChecked())
        showPage<frmAUserPersonalCalendarToLarkspurCalendar>();
    if (m_optCopyAllPersonalCalendarsToLarkspurCalendar->isChecked())
        showPage<frmCopyAllPersonalCalendarsLarkspurCalendar>();
    if (m_optAddEventScriptToOneUsersPersonalCalendar->isChecked())
        showPage<frmAddAnEventScriptToOneUsersPersonalFolder>();
    if (m_optAddEventScriptToAllPersonalCalendars->isChecked())
        showPage<frmAddEventToAPersonalFolderForAllUsers>();
    if (m_optDeleteScriptFromOneFolderInOneMailbox->isChecked())
        showPage<frmDeleteScriptsFromOneFolderForMailbox>();
    if (m_optDeleteAllScriptsInAMailbox->isChecked())
        showPage<frmDeleteAllScriptsFromOneMailbox>();
    if (m_optDeleteAllScriptsInAllMailboxes->isChecked())
        showPage<frmDeleteAllScriptsForAllMailboxes>();
    if (m_optGetLarkspurCalendarFolderID->isChecked())
        writeFolderIdentifier();
}

template <class Page> void frmSwitchboard::showPage()
{
    QPointer<ActionPage> &slot = openPages()[QString::fromLatin1(Page::WindowName)];
    if (!slot) {
        // Page opening may fail (a picker's logon); the half-made page goes with it.
        auto page = std::make_unique<Page>();
        page->openPage();
        placeBeside(page.get());
        slot = page.release();
    }
    ActionPage *open = slot.data();
    // An open page is brought forward, also from the task bar.
    if (open->isMinimized())
        open->setWindowState(open->windowState() & ~Qt::WindowMinimized);
    open->show();
    open->raise();
    open->activateWindow();
}

void frmSwitchboard::placeBeside(QWidget *page) const
{
    QPoint topLeft(frameGeometry().right() + 1 + twipsToPixelsX(this, 120), frameGeometry().top());
    if (const QScreen *screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        if (topLeft.x() + page->width() > available.right())
            topLeft.setX(qMax(available.left(), available.right() - page->width()));
    }
    page->move(topLeft);
}

void frmSwitchboard::writeFolderIdentifier()
{
    messaging::Session session;
    session.Logon("Administrator");
    // The same work as the store tool's "calendar id"; the box reads the identifier again.
    const messaging::Folder shared = calendar::writeFolderIdentifier(session, identifierFileName().toStdString());
    msgBox(QStringLiteral("Larkspur Calendar ID ") + QString::fromStdString(shared.ID()) + QStringLiteral("\r\n")
           + QStringLiteral(" has been written to the text file C:\\Larkspur Calendar ID.Txt"));
    session.Logoff();
}

} // namespace app
