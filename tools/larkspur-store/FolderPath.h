// Folder paths of the command line: "STORE/FOLDER/...", such as
// "Mailbox - Ann Lee/Calendar" or "Public Folders/All Public Folders/Larkspur Calendar".
#pragma once

#include "messaging/Folder.h"
#include "messaging/Session.h"

#include <string>
#include <string_view>

namespace larkspur {

// Resolves the path in a session logged on with "Administrator". The store is the
// longest store name the session sees that the path begins with (store names may hold
// a slash); the rest is walked folder by folder, by exact name. Throws
// std::runtime_error with a message naming what is missing; a mailbox that exists but
// is not shared to the profile is named as such, with the way to share it.
messaging::Folder resolveFolder(const messaging::Session &session, std::string_view path);

} // namespace larkspur
