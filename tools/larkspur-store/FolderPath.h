// Folder paths of the command line: "STORE/FOLDER/...", such as
// "Mailbox - Ann Lee/Calendar" or "Public Folders/All Public Folders/Larkspur Calendar".
#pragma once

#include "messaging/Folder.h"
#include "messaging/Session.h"

#include <string>
#include <string_view>

namespace larkspur {

// Resolves the path in a session logged on with "Administrator". The store is the one
// store name the session sees that the path begins with; a store that older versions let
// hold a slash can make two names fit, and such a path is refused, naming both. The rest
// is walked folder by folder, by exact name. Throws
// std::runtime_error with a message naming what is missing; a mailbox that exists but
// is not shared to the profile is named as such, with the way to share it.
messaging::Folder resolveFolder(const messaging::Session &session, std::string_view path);

} // namespace larkspur
