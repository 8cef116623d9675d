// A fresh server store on disk for one test, and the helpers every test uses to fill it
// and read it back (header only; tests of every folder include it).
//
// The constructor makes a temporary folder holding the store (the standard layout of
// ServerAdmin::createStore; a file, or a database when the suite runs on PostgreSQL) and a folder standing for drive C:, points
// LARKSPUR_STORE and LARKSPUR_DRIVE_C at them and clears every fault switch; the
// destructor restores both variables, clears the switches and removes the folder. The
// copy constructor makes a second store from the first one's file, for runs that must
// not touch the original (each fault of a sweep runs on a fresh copy).
#pragma once

#include "core/Error.h"
#include "messaging/Events.h"
#include "messaging/FaultInjection.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/PropTags.h"
#include "messaging/ServerAdmin.h"
#include "messaging/SharedCalendar.h"
#include "messaging/Session.h"

#include "TestStores.h"

#include <algorithm>
#include <compare>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// An item as a test puts it into a calendar.
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
    auto operator<=>(const Stored &) const = default;
};

// An event binding as the event service shows it, with the script text of its message.
struct BindingInfo {
    std::string name;
    bool active = false;
    std::int16_t mask = 0;
    std::string handler;
    std::string script;
    auto operator<=>(const BindingInfo &) const = default;
};

// The folder at `path` below a store's root ("Calendar", {"Inbox", "Old"} ...).
inline messaging::Folder folderAt(const messaging::Session &session, const std::string &storeName,
                                  const std::vector<std::string> &path)
{
    messaging::Folder folder = session.InfoStores().Item(storeName).RootFolder();
    for (const std::string &name : path)
        folder = folder.Folders().Item(name);
    return folder;
}

inline messaging::Folder calendarOf(const messaging::Session &session, const std::string &storeName)
{
    return folderAt(session, storeName, {"Calendar"});
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
// two equal dumps mean a run changed nothing a page can see.
inline std::vector<std::pair<std::string, Stored>> dumpAll(const messaging::Session &session)
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

inline std::unique_ptr<messaging::Events> eventsFor(messaging::Session &session)
{
    auto events = messaging::Events::Create("MSExchange.Events");
    events->SetSession(session);
    return events;
}

inline std::vector<BindingInfo> bindingsOf(messaging::Session &session, const messaging::Folder &folder)
{
    std::vector<BindingInfo> out;
    for (const messaging::Binding b : eventsFor(session)->BoundFolder(folder, true).Bindings()) {
        const messaging::Field field = session.GetMessage(b.EntryID()).Fields().Item(messaging::PropTag::ScriptText);
        out.push_back({b.Name(), b.Active(), b.EventMask(), b.HandlerClassID(),
                       field.Exists() ? field.Text() : std::string("<no script>")});
    }
    return out;
}

// A complete binding made without the code under test; returns its entry identifier.
inline std::string addBinding(messaging::Session &session, const messaging::Folder &folder, const std::string &name)
{
    messaging::BoundFolder bound = eventsFor(session)->BoundFolder(folder, true);
    messaging::Binding binding = bound.Bindings().Add();
    binding.SetName(name);
    binding.SetActive(true);
    binding.SetEventMask(1);
    binding.SetHandlerClassID(messaging::ScriptHandlerClassId);
    binding.SaveChanges();
    messaging::Message message = session.GetMessage(binding.EntryID());
    message.Fields().Item(messaging::PropTag::ScriptText).SetValue(std::string("\r\nrem ") + name);
    message.Update();
    binding.SaveCustomChanges(message);
    bound.SaveChanges();
    return binding.EntryID();
}

// The number of the error `work` throws, or 0 when it throws none.
template <class Work> std::int32_t errorOf(Work &&work)
{
    try {
        work();
    } catch (const messaging::Error &e) {
        return e.number();
    }
    return 0;
}

inline void writeBytes(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readBytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::filesystem::path makeTemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "larkspur-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

// A new store made once per test program; every fixture starts from a copy of it.
inline const std::filesystem::path &newStore()
{
    static const struct Made {
        std::filesystem::path dir = makeTemporaryFolder();
        std::filesystem::path location = teststores::newLocation(dir);
        Made() { messaging::ServerAdmin::createStore(location); }
        ~Made()
        {
            teststores::release(location);
            std::filesystem::remove_all(dir);
        }
    } made;
    return made.location;
}

class StoreFixture {
public:
    StoreFixture() : m_dir(makeTemporaryFolder()), m_location(teststores::newLocation(m_dir))
    {
        std::filesystem::create_directory(driveC());
        teststores::copyStore(newStore(), m_location);
        for (auto &[name, value] : m_saved)
            value = std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt;
        setenv("LARKSPUR_STORE", file().c_str(), 1);
        setenv("LARKSPUR_DRIVE_C", driveC().c_str(), 1);
        messaging::faults::clear();
    }
    explicit StoreFixture(const StoreFixture &from) : StoreFixture()
    {
        teststores::copyStore(from.file(), file());
    }
    StoreFixture &operator=(const StoreFixture &) = delete;
    ~StoreFixture()
    {
        messaging::faults::clear();
        for (const auto &[name, value] : m_saved)
            value ? setenv(name, value->c_str(), 1) : unsetenv(name);
        teststores::release(m_location);
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    const std::filesystem::path &dir() const { return m_dir; }
    // The store: a file, or a database of the tests' PostgreSQL server.
    const std::filesystem::path &file() const { return m_location; }
    std::filesystem::path driveC() const { return m_dir / "drive_c"; }
    messaging::Session logon() const
    {
        messaging::Session session(file());
        session.Logon("Administrator");
        return session;
    }

    // A user: an address entry; for display type 0 also a mailbox "Mailbox - <name>"
    // with the ten standard folders, shared to "Administrator" unless `shared` is false.
    void addUser(const std::string &name, std::optional<std::string> tag = "T", std::int32_t type = 0,
                 bool shared = true) const
    {
        messaging::ServerAdmin(file()).addUser(name, std::move(tag), type, shared);
    }
    // A change made behind the object model's back, as a server administrator might
    // have made it by hand.
    void sql(const std::string &statement) const
    {
        if (teststores::runSql(file(), statement) == 0)
            throw std::runtime_error("changed nothing: " + statement);
    }
    // The store's own consistency check: empty when sound.
    std::vector<std::string> check() const { return messaging::ServerAdmin(file()).check(); }

    // Items into a mailbox's calendar, or into the shared calendar for "".
    void fill(const std::string &storeName, const std::vector<Item> &items) const
    {
        const messaging::Session s = logon();
        addItems(storeName.empty() ? messaging::sharedCalendar(s) : calendarOf(s, storeName), items);
    }
    std::vector<Stored> items(const std::string &storeName = "") const
    {
        const messaging::Session s = logon();
        return contents(storeName.empty() ? messaging::sharedCalendar(s) : calendarOf(s, storeName));
    }
    std::vector<std::string> sharedSubjects(bool sorted = true) const
    {
        std::vector<std::string> out;
        for (const Stored &c : items())
            out.push_back(c.subject);
        if (sorted)
            std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<BindingInfo> bindings(const std::string &storeName, const std::vector<std::string> &path) const
    {
        messaging::Session s = logon();
        return bindingsOf(s, folderAt(s, storeName, path));
    }

private:
    std::filesystem::path m_dir;
    std::filesystem::path m_location;
    std::pair<const char *, std::optional<std::string>> m_saved[2] = {{"LARKSPUR_STORE", {}}, {"LARKSPUR_DRIVE_C", {}}};
};

} // namespace testsupport
