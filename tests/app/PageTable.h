// The nine pages as the tests know them: how to open each one and what its frame must
// do. The expectations are written out here, independently of the pages' code.
#pragma once

#include "WindowHelpers.h"

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

#include <QString>

#include <functional>
#include <vector>

struct PageInfo {
    QString name;
    std::function<app::ActionPage *()> open;
    bool mailboxPicker;   // input check: a mailbox must be chosen
    bool scriptFile;      // input check: a script file name must be entered; events after
    bool closes;          // closing step after Finish and after No
    bool errorTrap;       // error report instead of the top-level report
    bool waitCursor;
    bool tesselIcon;      // "C:\Tessel\Books05.ICO", else the application's folder
    QString resultText;
    int resultStyle;
    QString resultTitle;
};

inline const std::vector<PageInfo> &pageTable()
{
    static const QString defaultTitle = QStringLiteral("LarkspurCalendarAdministrationApp");
    static const std::vector<PageInfo> pages{
        {"frmAUserPersonalCalendarToLarkspurCalendar",
         [] { return testsupport::openPage<calendar::frmAUserPersonalCalendarToLarkspurCalendar>(); }, true, false,
         true, false, false, true, "Larkspur Calendar has been updated", 16, "Import Complete"},
        {"frmCopyAllPersonalCalendarsLarkspurCalendar",
         [] { return testsupport::openPage<calendar::frmCopyAllPersonalCalendarsLarkspurCalendar>(); }, false, false,
         true, false, false, true, "Larkspur Calendar has been updated", 16, "Import Complete"},
        {"frmDeleteAllItemsFromLarkspurCalendar",
         [] { return testsupport::openPage<calendar::frmDeleteAllItemsFromLarkspurCalendar>(); }, false, false, true,
         false, true, true, "All Items have been deleted from the Larkspur Calendar", 16, "Items Deleted Successfully"},
        {"frmDeleteSingleUsersItemsFromLarkspurCalendar",
         [] { return testsupport::openPage<calendar::frmDeleteSingleUsersItemsFromLarkspurCalendar>(); }, true, false,
         true, false, true, true, "The selected Items have been deleted from the Larkspur Calendar", 16,
         "Items Deleted Successfully"},
        {"frmAddAnEventScriptToOneUsersPersonalFolder",
         [] { return testsupport::openPage<scripts::frmAddAnEventScriptToOneUsersPersonalFolder>(); }, true, true,
         true, true, false, false, "The script has been successfully installed", 0, defaultTitle},
        {"frmAddEventToAPersonalFolderForAllUsers",
         [] { return testsupport::openPage<scripts::frmAddEventToAPersonalFolderForAllUsers>(); }, false, true, true,
         true, false, true, "The script has been successfully installed", 0, defaultTitle},
        {"frmDeleteScriptsFromOneFolderForMailbox",
         [] { return testsupport::openPage<scripts::frmDeleteScriptsFromOneFolderForMailbox>(); }, true, false, false,
         true, false, false, "The script has been successfully deleted", 0, defaultTitle},
        {"frmDeleteAllScriptsFromOneMailbox",
         [] { return testsupport::openPage<scripts::frmDeleteAllScriptsFromOneMailbox>(); }, true, false, false, true,
         false, false, "All scripts for the Mailbox have been deleted", 0, defaultTitle},
        {"frmDeleteAllScriptsForAllMailboxes",
         [] { return testsupport::openPage<scripts::frmDeleteAllScriptsForAllMailboxes>(); }, false, false, true,
         true, false, false, "All scripts for the Mailbox have been deleted", 0, defaultTitle},
    };
    return pages;
}

inline const PageInfo &pageInfo(const QString &name)
{
    for (const PageInfo &page : pageTable()) {
        if (page.name == name)
            return page;
    }
    qFatal("no page %s", qPrintable(name));
}
