// The shared store fixture with Ann Lee in it, and the pieces of work the pages do,
// shared by the tests.
#pragma once

#include "messaging/AddressLists.h"

#include "StoreFixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace larkspur::test {

using namespace messaging;

// Names a data-driven case after its `name` member.
struct ParamName {
    template <class T>
    std::string operator()(const ::testing::TestParamInfo<T> &param) const
    {
        return param.param.name;
    }
};

// Prints a data-driven case as its name (bring it in with `using larkspur::test::PrintTo`).
template <class T>
    requires requires(const T &t) { t.name; }
void PrintTo(const T &value, std::ostream *os)
{
    *os << value.name;
}

inline Folder mailboxFolder(const Session &s, const std::string &user = "Ann Lee",
                            const std::string &folder = "Calendar")
{
    return s.InfoStores().Item("Mailbox - " + user).RootFolder().Folders().Item(folder);
}

inline Message addItem(const Folder &folder, const std::string &subject)
{
    Message m = folder.Messages().Add();
    m.SetSubject(subject);
    m.Update();
    return m;
}

inline std::vector<std::string> subjects(const Folder &folder)
{
    std::vector<std::string> out;
    for (Message m : folder.Messages())
        out.push_back(m.Subject());
    return out;
}

// The number of the error the call throws, or 0 when it throws none.
inline std::int32_t errorOf(const std::function<void()> &call, std::string *description = nullptr)
{
    try {
        call();
    } catch (const Error &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

// Items "Item <i>" with an iCalendar source and uid, as the import leaves them.
inline void fillCalendar(const Folder &calendar, int n)
{
    for (int i = 0; i < n; ++i) {
        Message m = calendar.Messages().Add();
        m.SetSubject("Item " + std::to_string(i));
        m.Fields().Item(PropTag::ICalendarSource).SetValue(std::string("BEGIN:VEVENT"));
        m.Fields().Item(PropTag::ICalendarUid).SetValue("uid-" + std::to_string(i));
        m.Update();
    }
}

// The copy actions' loop from Ann Lee's calendar to the shared one; `done` counts the
// saved steps, `afterCopy` runs after each saved copy.
inline void copyLoop(Session &s, int &done, const std::function<void()> &afterCopy = {})
{
    std::string target = sharedCalendar(s).ID();
    for (Message m : mailboxFolder(s).Messages()) {
        m.SetStamp("N::0:" + m.Subject());
        m.Update();
        ++done;
        Message copy = m.CopyTo(target);
        copy.SetSubject("AL- " + copy.Subject());
        copy.Update();
        ++done;
        if (afterCopy)
            afterCopy();
    }
}

// Checks every copy the loop made; returns how many there are.
inline int checkCopies(const Session &s)
{
    int copies = 0;
    for (Message m : sharedCalendar(s).Messages()) {
        EXPECT_EQ(m.Subject().rfind("AL- Item ", 0), 0u) << m.Subject();
        EXPECT_EQ(m.Fields().Tags(), std::vector<std::uint32_t>{PropTag::ICalendarSource});
        EXPECT_EQ(m.Stamp(), "N::0:" + m.Subject().substr(4));
        ++copies;
    }
    return copies;
}

inline int stampedSources(const Session &s)
{
    int stamped = 0;
    for (Message m : mailboxFolder(s).Messages()) {
        EXPECT_EQ(m.Fields().Tags().size(), 2u);
        stamped += m.Stamp() ? 1 : 0;
    }
    return stamped;
}

// Installs a script binding the way the script pages do; `done` counts the saved steps.
inline std::string installScript(Events &events, Session &s, const Folder &folder, const std::string &name,
                                 const std::string &script, int &done, std::int16_t mask = 5)
{
    BoundFolder bound = events.BoundFolder(folder, true);
    Binding b = bound.Bindings().Add();
    b.SetName(name);
    b.SetActive(true);
    b.SetEventMask(mask);
    b.SetHandlerClassID(std::string(ScriptHandlerClassId));
    b.SaveChanges();
    ++done;
    Message m = s.GetMessage(b.EntryID(), "");
    m.Fields().Item(PropTag::ScriptText).SetValue(script);
    m.Update();
    ++done;
    b.SaveCustomChanges(m);
    bound.SaveChanges();
    ++done;
    return b.EntryID();
}


// A store with the standard layout and the user "Ann Lee" (tag "AL"), in a temporary
// directory of its own.
class StoreFixture : public ::testing::Test, public testsupport::StoreFixture {
protected:
    StoreFixture() { addUser("Ann Lee", "AL"); }
    bool consistent() const { return check().empty(); }

    // The copy loop (one write group with `group`) on a store `arm` makes fail: the failure,
    // or Logoff's after it, has the number `expected`; what the session saved before it
    // lands unless the error says the store undid it, a group lands whole or not at all, and
    // the store (after `heal`) stays sound. Returns the copies that landed.
    int copyLoopFails(bool group, std::int32_t expected, const std::function<void()> &arm,
                      const std::function<void()> &heal)
    {
        Session s = logon();
        arm();
        if (group)
            s.beginGroup();
        int done = 0;
        std::string description;
        std::int32_t number = errorOf([&] { copyLoop(s, done); }, &description);
        if (group && number == 0)
            number = errorOf([&] { s.commitGroup(); }, &description);
        const std::int32_t atLogoff = errorOf([&] { s.Logoff(); }, number == 0 ? &description : nullptr);
        EXPECT_EQ(number != 0 ? number : atLogoff, expected) << description;
        if (number != 0) { // what the failure left is settled: the Logoff after it succeeds
            EXPECT_EQ(atLogoff, 0);
        }
        heal();
        EXPECT_TRUE(consistent());
        Session other = logon();
        const int copies = checkCopies(other); // each copy whole
        const int stamped = stampedSources(other);
        if (group) {
            EXPECT_EQ(copies + stamped, 0);
        } else if (description.find("undid") == std::string::npos) {
            EXPECT_EQ(copies, done / 2) << description;
            EXPECT_EQ(stamped, (done + 1) / 2);
        } else { // a consistent earlier state: the copy loop's steps up to some point
            EXPECT_LE(2 * copies, done);
            EXPECT_TRUE(stamped == copies || stamped == copies + 1) << stamped << " " << copies;
        }
        return copies;
    }
};

} // namespace larkspur::test
