// The work of the five event-script pages, between their logon and logoff steps.
//
// Each function takes a logged-on session and the page's inputs; failures leave as
// messaging::Error for the page's error report. The all-users actions take an optional
// progress callback (actions/Progress.h): users walked and bindings done, with the
// number of users counted first when there is a callback.
#pragma once

#include "actions/Progress.h"
#include "messaging/Session.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace scripts {

struct EventBoxes {
    bool isNew = false;
    bool changed = false;
    bool deleted = false;
    bool schedule = false;
};
// The one-user page's mask: Schedule 1, New 2, Changed 4, Delete 8.
std::int16_t oneUserEventMask(const EventBoxes &boxes);
// The all-users page's mask: New 1, Changed 2, Delete 4, Schedule 8.
std::int16_t allUsersEventMask(const EventBoxes &boxes);

// The script text of a file: every line (bytes, without its terminator: CR LF, CR or LF)
// preceded by CR LF; nothing after the last line; an empty file gives "". Throws
// Error FileNotFound / PathFileAccessError when the file cannot be read.
std::string readScriptText(const std::string &path);

struct ScriptInstall {
    std::string folderName;
    std::string scriptName;
    std::int16_t eventMask = 0;
    std::string scriptPath;
};

// Installs one binding on the named folder of the named mailbox store. All or nothing:
// when a step after the binding was first saved fails, its binding message is deleted
// before the error leaves.
void installScript(messaging::Session &session, std::string_view storeName, const ScriptInstall &install);
// The same for every mail user but "Administrator", reading the file again per user.
// Returns the number of folders given a binding.
int installScriptForAllUsers(messaging::Session &session, const ScriptInstall &install,
                             const actions::ProgressCallback &progress = {});

// Deletes every binding of one folder. Returns the number removed.
int deleteFolderScripts(messaging::Session &session, std::string_view storeName, std::string_view folderName);
// Deletes every binding of the folders directly below the mailbox's root.
int deleteMailboxScripts(messaging::Session &session, std::string_view storeName);
// The same for every mail user's mailbox except "Mailbox - Administrator".
int deleteAllMailboxScripts(messaging::Session &session, const actions::ProgressCallback &progress = {});

} // namespace scripts
