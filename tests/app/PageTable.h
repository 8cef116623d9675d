// The nine pages as the tests know them: the switchboard option that opens each one and
// what its frame must do, written out here independently of the pages' code.
#pragma once

#include "WindowHelpers.h"

#include "app/ActionPage.h"
#include "shell/frmSwitchboard.h"

#include <QPointer>
#include <QRadioButton>
#include <QString>

#include <vector>

struct PageInfo {
    const char *option; // on the switchboard
    const char *name;
    bool mailboxPicker; // input check: a mailbox must be chosen
    bool scriptFile;    // input check: a script file name must be entered; events after
    bool closes;        // closing step after Finish and after No
    bool errorTrap;     // error report instead of the top-level report
    bool waitCursor;
    bool tesselIcon;    // "C:\Tessel\Books05.ICO", else the application's folder
};

inline const std::vector<PageInfo> &pageTable()
{
    static const std::vector<PageInfo> pages{
        {"optCopyAPersonalCalendarToLarkspurCalendar", "frmAUserPersonalCalendarToLarkspurCalendar", true, false,
         true, false, false, true},
        {"optCopyAllPersonalCalendarsToLarkspurCalendar", "frmCopyAllPersonalCalendarsLarkspurCalendar", false,
         false, true, false, false, true},
        {"optDeleteAllItemsOnLarkspurCalendar", "frmDeleteAllItemsFromLarkspurCalendar", false, false, true, false,
         true, true},
        {"optDeleteOneUsersLarkspurCalendarItems", "frmDeleteSingleUsersItemsFromLarkspurCalendar", true, false,
         true, false, true, true},
        {"optAddEventScriptToOneUsersPersonalCalendar", "frmAddAnEventScriptToOneUsersPersonalFolder", true, true,
         true, true, false, false},
        {"optAddEventScriptToAllPersonalCalendars", "frmAddEventToAPersonalFolderForAllUsers", false, true, true,
         true, false, true},
        {"optDeleteScriptFromOneFolderInOneMailbox", "frmDeleteScriptsFromOneFolderForMailbox", true, false, false,
         true, false, false},
        {"optDeleteAllScriptsInAMailbox", "frmDeleteAllScriptsFromOneMailbox", true, false, false, true, false,
         false},
        {"optDeleteAllScriptsInAllMailboxes", "frmDeleteAllScriptsForAllMailboxes", false, false, true, true, false,
         false},
    };
    return pages;
}

inline const PageInfo &pageInfo(const QString &name)
{
    for (const PageInfo &page : pageTable()) {
        if (name == QLatin1String(page.name))
            return page;
    }
    qFatal("no page %s", qPrintable(name));
}

// Opens a page as the user does: its option on the switchboard, Next; the switchboard
// is closed again (the page outlives it). Null when page opening failed.
inline QPointer<app::ActionPage> openPage(const QString &name)
{
    auto *switchboard = new shell::frmSwitchboard;
    switchboard->show();
    testsupport::child<QRadioButton>(switchboard, pageInfo(name).option)->setChecked(true);
    testsupport::click(switchboard, "cmdNext");
    switchboard->close();
    testsupport::flushDeletes();
    return shell::frmSwitchboard::openPage(name);
}
