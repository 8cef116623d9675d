// The work of the four shared-calendar pages, between their logon and logoff steps.
//
// Each function takes a logged-on session and the page's inputs and knows nothing of
// widgets, so the pages, the store tool, the tests and the benchmarks call the same
// code. Failures leave as messaging::Error, except where CopyAllCalendars skips them.
// The bulk actions take an optional progress callback (actions/Progress.h).
#pragma once

#include "actions/Progress.h"
#include "messaging/Folder.h"
#include "messaging/Message.h"
#include "messaging/Session.h"

#include <cstdint>
#include <locale>
#include <string>
#include <string_view>
#include <vector>

namespace calendar {

// Characters 11 to 109 of the mailbox picker's text (fewer when it is shorter): the
// display name the directory is asked for. The first ten characters are dropped by
// position.
std::string mailboxNameFromPicker(std::string_view pickerText);
// The owner tag followed by "- ".
std::string ownerPrefix(std::string_view ownerTag);
// The workstation's number format (LC_ALL, LC_NUMERIC or LANG), whatever the program's
// global locale; the classic "C" format when the environment names no usable locale.
const std::locale &workstationLocale();
// The copy stamp "<Y|N>:<location>:<day number>:<subject>"; the day number has up to
// 15 significant digits, no trailing zeros and the decimal separator of `locale`.
std::string copyStamp(const messaging::Message &item, const std::locale &locale);
// A day number as the stamp writes it.
std::string dayNumberText(double dayNumber, const std::locale &locale);
// True when the item's first category is exactly "Holiday".
bool isHoliday(const messaging::Message &item);

// Copies one user's calendar (page "Copy A Personal Calendar"): directory look-up of
// the picker text's display name, the shared calendar, the store named by the whole
// picker text, then every item stamped and copied with private items masked. Returns
// the number of copies made.
std::int64_t copyUserCalendar(messaging::Session &session, std::string_view pickerText,
                              const std::locale &locale = workstationLocale(),
                              const actions::ProgressCallback &progress = {});

// One failure that the all-users copy skipped after copying had begun.
struct SkippedFailure {
    std::string mailbox;     // "Mailbox - <display name>"
    std::string subject;     // the item's subject, empty when no item was involved
    std::int32_t number = 0;
    std::string description;
};

struct CopyAllReport {
    int usersFailed = 0;     // users whose calendar could not be read (wholly or partly)
    int itemsFailed = 0;     // items that could not be stamped or copied
    std::vector<SkippedFailure> failures; // every skipped failure, in order
    std::int64_t usersDone = 0;   // mail users walked (their calendars read, wholly or partly)
    std::int64_t itemsCopied = 0; // copies made
};

// Copies every mail user's calendar. Until the first item is about to be stamped a
// failure is thrown (stopping mode); from then on failures are counted in the report
// and the run goes on with the next item or user (skipping mode).
// With a progress callback the mail users are counted first, for the total.
CopyAllReport copyAllCalendars(messaging::Session &session, const std::locale &locale = workstationLocale(),
                               const actions::ProgressCallback &progress = {});
// The text of the final box: "Larkspur Calendar has been updated", followed, when
// anything was skipped, by a line break and an account of the first ten failures.
std::string copyAllResultText(const CopyAllReport &report);

// Deletes every item of the shared calendar from the last to the first. Returns the
// number deleted.
std::int64_t deleteAllItems(messaging::Session &session, const actions::ProgressCallback &progress = {});

// Deletes the shared calendar items of one user: those whose subject begins with the
// user's whole owner prefix. Returns the number deleted.
std::int64_t deleteUserItems(messaging::Session &session, std::string_view pickerText,
                             const actions::ProgressCallback &progress = {});

// The nightly refresh: every item of the shared calendar deleted (deleteAllItems), then
// every calendar copied again (copyAllCalendars). Run it inside one write group of the
// session (Session::beginGroup) so that readers see the old content until the new one
// is whole, and abandon the group when it throws. Failures the copy skips for a user
// (a mailbox not shared, no owner tag) are skipped here too, but a failure of the store
// itself (StoreFailure, DiskFull) throws: the store may have undone part of the group
// on its own (SQLite can roll a whole transaction back on a full disk), and half a
// refresh must not be committed. For the same reason it throws StoreFailure when the
// shared calendar does not hold exactly this run's copies at the end.
struct RefreshReport {
    std::int64_t deleted = 0;
    CopyAllReport copied;
};
RefreshReport refreshSharedCalendar(messaging::Session &session, const std::locale &locale = workstationLocale(),
                                    const actions::ProgressCallback &progress = {});

// The folder identifier action: appends the shared calendar's identifier as one quoted
// line to `fileName` (a drive path, "C:\Larkspur Calendar ID.Txt") and returns the
// folder, whose identifier the caller reads again for its message.
messaging::Folder writeFolderIdentifier(messaging::Session &session, const std::string &fileName);

// The shared calendar: "Public Folders", its root, the root's second subfolder, in it
// "Larkspur Calendar".
messaging::Folder sharedCalendar(messaging::Session &session);

} // namespace calendar
