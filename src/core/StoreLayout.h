// StoreLayout: the folders every store has and every program finds by name.
//
// A store is made with this layout (ServerAdmin::createStore, addUser); the actions,
// the tool, the store's check and the calendar server find its folders through these
// names alone. Code that walks the object model takes the shared calendar from
// messaging::sharedCalendar(); code that reads the store's rows uses the names here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace core {

// The public store, and the folders its root holds, in position order.
inline constexpr std::string_view PublicStoreName = "Public Folders";
inline constexpr std::array<std::string_view, 2> PublicRootFolderNames = {"Favorites", "All Public Folders"};

// The shared calendar: "Public Folders", its root, the root's second subfolder (by
// position, whatever its name), in it "Larkspur Calendar".
inline constexpr std::int32_t SharedCalendarParentPosition = 2;
inline constexpr std::string_view SharedCalendarParentName = PublicRootFolderNames[SharedCalendarParentPosition - 1];
inline constexpr std::string_view SharedCalendarName = "Larkspur Calendar";

// The folders below every mailbox's root, in position order; the first is the user's
// personal calendar.
inline constexpr std::array<std::string_view, 10> MailboxFolderNames = {
    "Calendar", "Contacts", "Deleted Items", "Drafts", "Inbox", "Journal", "Notes", "Outbox", "Sent Items", "Tasks"};
inline constexpr std::string_view PersonalCalendarName = MailboxFolderNames[0];

} // namespace core
