// The generated stores the calendar benchmarks work on, in a store file or a PostgreSQL
// database: users "User0000"... with tags "U0000"..., their calendars, and a shared
// calendar of items owned by SharedUsers of them.
#pragma once

#include "BenchChild.h"

#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"
#include "messaging/SharedCalendar.h"
#include "store/Engine.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// A store file's log is folded in before the measuring starts.
inline void settleStore(const std::filesystem::path &location)
{
    if (!store::isServerLocation(location.native()))
        settle(location);
}

constexpr int SharedUsers = 10; // owners of the generated shared calendar items

inline std::string userName(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "User%04d", i);
    return buf;
}
inline std::string userTag(int i)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "U%04d", i);
    return buf;
}

inline messaging::Session logon(const std::filesystem::path &file)
{
    messaging::Session s(file);
    s.Logon("Administrator");
    return s;
}

inline void makeUsers(const std::filesystem::path &file, int users)
{
    messaging::ServerAdmin admin(file);
    admin.beginBatch();
    for (int u = 0; u < users; ++u)
        admin.addUser(userName(u), userTag(u));
    admin.commitBatch();
}

inline void generateCopyStore(const std::filesystem::path &file, int users, int items)
{
    messaging::ServerAdmin::createStore(file);
    makeUsers(file, users);
    messaging::Session s = logon(file);
    for (int u = 0; u < users; ++u) {
        const messaging::Messages messages = s.InfoStores()
                                                 .Item("Mailbox - " + userName(u))
                                                 .RootFolder()
                                                 .Folders()
                                                 .Item("Calendar")
                                                 .Messages();
        for (int i = 0; i < items; ++i) {
            messaging::Message m = messages.Add();
            m.SetSubject("Meeting " + std::to_string(i) + " of " + userName(u));
            m.SetText("Agenda: a few lines of text that a calendar item usually carries.");
            m.SetSensitivity(i % 10 == 0 ? 2 : 0);
            if (i % 25 == 0)
                m.SetCategories(std::vector<std::string>{"Holiday"});
            else if (i % 3 == 0)
                m.SetCategories(std::vector<std::string>{"Work"});
            m.SetAllDayEvent(i % 7 == 0 ? 1 : 0);
            if (i % 2 == 0)
                m.SetLocation("Room " + std::to_string(i % 12));
            m.SetStartTime(45000.0 + i + (i % 8) / 8.0);
            m.SetEndTime(45000.0 + i + (i % 8) / 8.0 + 0.0625);
            // What an imported item carries beside its properties.
            m.Fields().Item(messaging::PropTag::ICalendarSource)
                .SetValue(std::string("BEGIN:VEVENT\r\nSUMMARY:Meeting\r\nX-CLIENT-NOTE:kept\r\nEND:VEVENT\r\n"));
            m.Fields().Item(messaging::PropTag::ICalendarUid).SetValue(userName(u) + "-" + std::to_string(i) + "@larkspur");
            m.Update();
        }
    }
    s.Logoff();
    settleStore(file);
}

inline void generateSharedStore(const std::filesystem::path &file, int sharedItems)
{
    messaging::ServerAdmin::createStore(file);
    makeUsers(file, SharedUsers);
    messaging::Session s = logon(file);
    const messaging::Messages messages = messaging::sharedCalendar(s).Messages();
    for (int i = 0; i < sharedItems; ++i) {
        messaging::Message m = messages.Add();
        m.SetSubject(userTag(i % SharedUsers) + "- Meeting " + std::to_string(i));
        m.SetText("Agenda: a few lines of text that a calendar item usually carries.");
        m.SetLocation("Room 4");
        m.SetStartTime(45000.0 + i % 365);
        m.SetStamp("N:Room 4:" + std::to_string(45000 + i % 365) + ":Meeting " + std::to_string(i));
        m.Update();
    }
    s.Logoff();
    settleStore(file);
}

} // namespace bench
