// The work of the five event-script pages (first cut: entry points only).
#include "ScriptActions.h"

#include "messaging/Error.h"

namespace scripts {

namespace {
[[noreturn]] void notYet(const char *what)
{
    throw messaging::Error(messaging::ErrorCode::StoreFailure, std::string(what) + " is not available yet");
}
} // namespace

std::int16_t oneUserEventMask(const EventBoxes &b)
{
    return static_cast<std::int16_t>((b.schedule ? 1 : 0) + (b.isNew ? 2 : 0) + (b.changed ? 4 : 0) + (b.deleted ? 8 : 0));
}

std::int16_t allUsersEventMask(const EventBoxes &b)
{
    return static_cast<std::int16_t>((b.isNew ? 1 : 0) + (b.changed ? 2 : 0) + (b.deleted ? 4 : 0) + (b.schedule ? 8 : 0));
}

std::string readScriptText(const std::string &) { notYet("readScriptText"); }
void installScript(messaging::Session &, std::string_view, const ScriptInstall &) { notYet("installScript"); }
int installScriptForAllUsers(messaging::Session &, const ScriptInstall &) { notYet("installScriptForAllUsers"); }
int deleteFolderScripts(messaging::Session &, std::string_view, std::string_view) { notYet("deleteFolderScripts"); }
int deleteMailboxScripts(messaging::Session &, std::string_view) { notYet("deleteMailboxScripts"); }
int deleteAllMailboxScripts(messaging::Session &) { notYet("deleteAllMailboxScripts"); }

} // namespace scripts
