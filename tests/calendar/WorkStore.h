// A real store file in a temporary folder for the work tests, with helpers to add users,
// fill folders and read back what a folder holds. Shared by the calendar and script tests.
#pragma once

#include "TestStores.h"

#include "messaging/FaultInjection.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace worktest {

// A store made by ServerAdmin::createStore (a file in a folder of its own, or a database of
// the test server), removed at the end.
class TempStore {
public:
    TempStore()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "larkspur-work-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        m_dir = pattern;
        m_file = teststores::newLocation(m_dir);
        messaging::ServerAdmin::createStore(m_file);
    }
    // A copy of another store's file, for runs that must not touch the original.
    explicit TempStore(const TempStore &from) : TempStore()
    {
        teststores::copyStore(from.file(), m_file);
    }
    ~TempStore()
    {
        teststores::release(m_file);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    TempStore &operator=(const TempStore &) = delete;

    const std::filesystem::path &file() const { return m_file; }
    const std::filesystem::path &dir() const { return m_dir; }
    messaging::Session logon() const
    {
        messaging::Session session(m_file);
        session.Logon("Administrator");
        return session;
    }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_file;
};

struct Item {
    std::string subject{};
    std::string text{};
    std::int32_t sensitivity = 0;
    std::optional<std::vector<std::string>> categories{};
    std::int32_t allDay = 0;
    std::optional<std::string> location{};
    std::optional<double> start = 45000.0;
    std::map<std::uint32_t, messaging::PropValue> fields{};
};

// What a test compares of a stored item.
struct Stored {
    std::string subject;
    std::string text;
    std::int32_t sensitivity = 0;
    std::optional<std::string> stamp;
    bool operator==(const Stored &) const = default;
    bool operator<(const Stored &o) const
    {
        return std::tie(subject, text, sensitivity, stamp) < std::tie(o.subject, o.text, o.sensitivity, o.stamp);
    }
};

inline messaging::Folder calendarOf(messaging::Session &session, const std::string &storeName)
{
    return session.InfoStores().Item(storeName).RootFolder().Folders().Item("Calendar");
}

inline messaging::Folder sharedFolder(messaging::Session &session)
{
    return session.InfoStores().Item("Public Folders").RootFolder().Folders().Item(2).Folders().Item("Larkspur Calendar");
}

inline void addItems(const messaging::Folder &folder, const std::vector<Item> &items)
{
    const messaging::Messages messages = folder.Messages();
    for (const Item &item : items) {
        messaging::Message m = messages.Add();
        m.SetSubject(item.subject);
        m.SetText(item.text);
        m.SetSensitivity(item.sensitivity);
        m.SetCategories(item.categories);
        m.SetAllDayEvent(item.allDay);
        m.SetLocation(item.location);
        m.SetStartTime(item.start);
        for (const auto &[tag, value] : item.fields)
            m.Fields().Item(tag).SetValue(value);
        m.Update();
    }
}

// Every item of a folder in position order.
inline std::vector<Stored> contents(const messaging::Folder &folder)
{
    std::vector<Stored> out;
    for (const messaging::Message m : folder.Messages())
        out.push_back({m.Subject(), m.Text(), m.Sensitivity(), m.Stamp()});
    return out;
}

// Every item of every folder of every store the profile sees, with its folder's path:
// two equal dumps mean the run changed nothing a page can see.
inline std::vector<std::pair<std::string, Stored>> dumpAll(messaging::Session &session)
{
    std::vector<std::pair<std::string, Stored>> out;
    auto walk = [&](auto &self, const messaging::Folder &folder, const std::string &path) -> void {
        for (const Stored &s : contents(folder))
            out.emplace_back(path, s);
        for (const messaging::Folder sub : folder.Folders())
            self(self, sub, path + "/" + sub.Name());
    };
    const messaging::InfoStores stores = session.InfoStores();
    for (std::int32_t i = 1; i <= stores.Count(); ++i)
        walk(walk, stores.Item(i).RootFolder(), stores.Item(i).Name());
    return out;
}

// What the work test fixtures share: a store, no armed faults, users and calendars.
class StoreWork {
public:
    StoreWork() { messaging::faults::clear(); }
    ~StoreWork() { messaging::faults::clear(); }

    void addUser(const std::string &name, std::optional<std::string> tag = "T",
                 std::int32_t type = 0, bool shared = true)
    {
        messaging::ServerAdmin(store.file()).addUser(name, std::move(tag), type, shared);
    }
    void fill(const std::string &storeName, const std::vector<Item> &items)
    {
        messaging::Session s = store.logon();
        addItems(storeName.empty() ? sharedFolder(s) : calendarOf(s, storeName), items);
    }
    // The items of a mailbox's calendar, or of the shared calendar for "".
    std::vector<Stored> items(const std::string &storeName = "")
    {
        messaging::Session s = store.logon();
        return contents(storeName.empty() ? sharedFolder(s) : calendarOf(s, storeName));
    }
    std::vector<std::string> sharedSubjects(bool sorted = true)
    {
        std::vector<std::string> out;
        for (const Stored &c : items())
            out.push_back(c.subject);
        if (sorted)
            std::sort(out.begin(), out.end());
        return out;
    }

    TempStore store;
};

} // namespace worktest
