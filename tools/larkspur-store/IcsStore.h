// iCalendar import into a store folder and export of a folder, through the object model.
#pragma once

#include "IcsModel.h"

#include "messaging/Folder.h"
#include "messaging/Message.h"
#include "messaging/Session.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace larkspur::ics {

struct ImportOutcome {
    int imported = 0;
    std::map<std::string, int> skipped;
    std::vector<std::string> warnings;
};

// The largest iCalendar file import reads (64 MiB); a larger one is refused unread.
inline constexpr std::size_t kMaxIcsFileSize = std::size_t(64) << 20;

// Imports every event of the file as one new item of the folder (a folder of `session`).
// The file is read and checked whole first, then written in one write group of the
// session: if the store fails part way, or the program dies, nothing of the file is in
// the store. Throws IcsError (file unreadable, not iCalendar, an event that cannot be
// read, the file larger than kMaxIcsFileSize, or the store failing) naming the file.
ImportOutcome importFile(messaging::Session &session, const messaging::Folder &folder,
                         const std::filesystem::path &file);
// The same for data already in memory (`name` stands for the file in messages).
ImportOutcome importData(messaging::Session &session, const messaging::Folder &folder, std::string_view data,
                         const std::string &name);

// The event as the store holds it (UID: the ICalendarUid field, else empty).
IcsEvent eventFromMessage(const messaging::Message &message);
// Writes the event's modelled properties, UID and source into the message (no Update).
void eventToMessage(const IcsEvent &event, messaging::Message &message);

// The folder's items as one VCALENDAR. Every item exports under its own UID: its
// ICalendarUid field, else (or when an earlier item of this export already used that
// UID) one derived from its entry identifier.
std::string exportFolder(const messaging::Folder &folder, std::vector<std::string> &warnings);

// One item of a folder as exportFolder writes it: its entry identifier and its event
// under the UID the export gives it.
struct ExportedItem {
    std::string entryId;
    IcsEvent event;
};
// The folder's items in export order, with the UIDs exportFolder gives them and the
// private items of a public folder masked as it writes them; writeIcs of all their
// events is the folder's export, of one event that item alone.
std::vector<ExportedItem> exportItems(const messaging::Folder &folder);

// "<ENTRY ID>@larkspur": the UID of an item that was not imported.
std::string derivedUid(const std::string &entryId);

} // namespace larkspur::ics
