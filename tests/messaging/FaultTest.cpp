// Injected failures: the failing call reports its number, what was saved before it
// stays saved, nothing is left half done, and the store stays consistent.
#include "TestStore.h"

#include "messaging/Events.h"
#include "messaging/PropTags.h"

using namespace messaging;
using larkspur::test::errorOf;
using larkspur::test::sharedCalendar;
using larkspur::test::StoreFixture;

namespace {

// One piece of work as the pages do it; `done` counts the steps completed.
struct Scenario {
    const char *name;
    void (*prepare)(Session &s);
    void (*run)(Session &s, int &done);
    // Checks the store after the run stopped with `done` steps completed.
    void (*verify)(Session &s, int done);
};

void PrintTo(const Scenario &c, std::ostream *os)
{
    *os << c.name;
}

constexpr int kItems = 6;

void prepareCalendar(Session &s)
{
    Folder calendar = larkspur::test::mailboxFolder(s, "Ann Lee");
    for (int i = 0; i < kItems; ++i) {
        Message m = calendar.Messages().Add();
        m.SetSubject("Item " + std::to_string(i));
        m.SetSensitivity(i % 2 ? 2 : 0);
        m.Fields().Item(PropTag::ICalendarSource).SetValue(std::string("BEGIN:VEVENT"));
        m.Fields().Item(PropTag::ICalendarUid).SetValue("uid-" + std::to_string(i));
        m.Update();
    }
}

void copyLoop(Session &s, int &done)
{
    Folder shared = sharedCalendar(s);
    for (Message m : larkspur::test::mailboxFolder(s, "Ann Lee").Messages()) {
        m.SetStamp("N::0:" + m.Subject());
        m.Update();
        ++done;
        Message copy = m.CopyTo(shared.ID());
        if (copy.Sensitivity() == 2) {
            copy.SetSubject("Private");
            copy.SetText("Private");
        }
        copy.SetSubject("AL- " + copy.Subject());
        copy.Update();
        ++done;
    }
}

void verifyCopies(Session &s, int done)
{
    int copies = 0;
    for (Message m : sharedCalendar(s).Messages()) {
        EXPECT_EQ(m.Subject().rfind("AL- ", 0), 0u) << m.Subject();
        EXPECT_EQ(m.Fields().Tags(), std::vector<std::uint32_t>{PropTag::ICalendarSource});
        ++copies;
    }
    int stamped = 0;
    for (Message m : larkspur::test::mailboxFolder(s, "Ann Lee").Messages()) {
        stamped += m.Stamp() ? 1 : 0;
        EXPECT_EQ(m.Fields().Tags().size(), 2u);
    }
    EXPECT_EQ(stamped, (done + 1) / 2);
    EXPECT_EQ(copies, done / 2);
}

void prepareShared(Session &s)
{
    Folder shared = sharedCalendar(s);
    for (int i = 0; i < kItems; ++i) {
        Message m = shared.Messages().Add();
        m.SetSubject((i % 2 ? "AL- " : "BS- ") + std::to_string(i));
        m.Fields().Item(PropTag::ICalendarSource).SetValue(std::string("x"));
        m.Update();
    }
}

void reverseDelete(Session &s, int &done)
{
    Messages messages = sharedCalendar(s).Messages();
    const int n = messages.Count();
    for (int i = 1; i <= n; ++i) {
        messages.Item(n - i + 1).Delete();
        ++done;
    }
}

void verifyReverseDelete(Session &s, int done)
{
    auto left = larkspur::test::subjects(sharedCalendar(s));
    ASSERT_EQ(left.size(), static_cast<std::size_t>(kItems - done));
    for (std::size_t i = 0; i < left.size(); ++i)   // deleted from the end: the first ones remain
        EXPECT_EQ(left[i], (i % 2 ? "AL- " : "BS- ") + std::to_string(i));
}

void filterDelete(Session &s, int &done)
{
    Messages messages = sharedCalendar(s).Messages();
    messages.Filter().SetSubject("AL- ");
    for (Message m : messages) {
        m.Delete();
        ++done;
    }
}

void verifyFilterDelete(Session &s, int done)
{
    auto left = larkspur::test::subjects(sharedCalendar(s));
    EXPECT_EQ(left.size(), static_cast<std::size_t>(kItems - done));
    EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string &x) { return x.rfind("BS- ", 0) == 0; }),
              kItems / 2);
}

void installScripts(Session &s, int &done)
{
    auto events = Events::Create("MSExchange.Events");
    events->SetSession(s);
    Folder inbox = larkspur::test::mailboxFolder(s, "Ann Lee", "Inbox");
    for (int i = 0; i < 3; ++i) {
        BoundFolder bound = events->BoundFolder(inbox, true);
        Binding b = bound.Bindings().Add();
        b.SetName("Script " + std::to_string(i));
        b.SetActive(true);
        b.SetEventMask(3);
        b.SetHandlerClassID(std::string(ScriptHandlerClassId));
        b.SaveChanges();
        ++done;
        Message m = s.GetMessage(b.EntryID(), "");
        m.Fields().Item(PropTag::ScriptText).SetValue(std::string("\r\nscript"));
        m.Update();
        ++done;
        b.SaveCustomChanges(m);
        bound.SaveChanges();
        ++done;
    }
}

void verifyScripts(Session &s, int done)
{
    auto events = Events::Create("MSExchange.Events");
    events->SetSession(s);
    Folder inbox = larkspur::test::mailboxFolder(s, "Ann Lee", "Inbox");
    Bindings bindings = events->BoundFolder(inbox, true).Bindings();
    EXPECT_EQ(bindings.Count(), (done + 2) / 3);
    int withScript = 0;
    for (Binding b : bindings)
        withScript += s.GetMessage(b.EntryID()).Fields().Item(PropTag::ScriptText).Exists() ? 1 : 0;
    EXPECT_EQ(withScript, (done + 1) / 3);
    EXPECT_EQ(inbox.Messages().Count(), 0);
}

class WriteFaultSweep : public StoreFixture, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override
    {
        StoreFixture::SetUp();
        ServerAdmin(storePath()).addUser("Ann Lee", std::string("AL"));
        Session s = logon();
        GetParam().prepare(s);
        s.Logoff();
        std::filesystem::copy_file(storePath(), m_dir.path() / "pristine.db");
    }
    void restore()
    {
        std::filesystem::remove(storePath());
        std::filesystem::remove(storePath().string() + "-wal");
        std::filesystem::remove(storePath().string() + "-shm");
        std::filesystem::copy_file(m_dir.path() / "pristine.db", storePath());
    }
};

// Fails the first, second, ... store write of the scenario until it runs through.
TEST_P(WriteFaultSweep, EveryFailingWriteLeavesAConsistentStore)
{
    bool completed = false;
    for (int nth = 1; nth < 200 && !completed; ++nth) {
        SCOPED_TRACE("failing write " + std::to_string(nth));
        restore();
        int done = 0;
        std::string description;
        std::int32_t number = 0;
        {
            Session s = logon();
            faults::clear();
            faults::failWrite(nth);
            number = errorOf([&] { GetParam().run(s, done); }, &description);
            faults::clear();
        }
        if (number == 0) {
            completed = true;
        } else {
            EXPECT_EQ(number, ErrorCode::DiskFull);
            EXPECT_NE(description.find("write " + std::to_string(nth)), std::string::npos) << description;
        }
        EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
        Session s = logon();
        GetParam().verify(s, done);
    }
    EXPECT_TRUE(completed);
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFaultSweep,
                         ::testing::Values(Scenario{"CopyLoop", prepareCalendar, copyLoop, verifyCopies},
                                           Scenario{"ReverseDelete", prepareShared, reverseDelete,
                                                    verifyReverseDelete},
                                           Scenario{"FilterDelete", prepareShared, filterDelete, verifyFilterDelete},
                                           Scenario{"InstallScripts", prepareCalendar, installScripts,
                                                    verifyScripts}),
                         larkspur::test::ParamName());

struct CallFault {
    const char *name;
    const char *operation;
    int nth;
    int expectedDone;
};

void PrintTo(const CallFault &c, std::ostream *os)
{
    *os << c.name;
}

class CallFaults : public StoreFixture, public ::testing::WithParamInterface<CallFault> {};

TEST_P(CallFaults, NamedOperationFailsOnItsNthCall)
{
    ServerAdmin(storePath()).addUser("Ann Lee", std::string("AL"));
    {
        Session s = logon();
        prepareCalendar(s);
        s.Logoff();
    }
    Session s = logon();
    faults::failCall(GetParam().operation, GetParam().nth, ErrorCode::NoAccess);
    int done = 0;
    std::string description;
    EXPECT_EQ(errorOf([&] { copyLoop(s, done); }, &description), ErrorCode::NoAccess);
    EXPECT_NE(description.find(GetParam().operation), std::string::npos);
    EXPECT_EQ(done, GetParam().expectedDone);
    faults::clear();
    // Without logging off, another connection already sees what was done.
    {
        Session other = logon();
        verifyCopies(other, done);
    }
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}

INSTANTIATE_TEST_SUITE_P(Faults, CallFaults,
                         ::testing::Values(CallFault{"FirstCopy", "Message.CopyTo", 1, 1},
                                           CallFault{"ThirdCopy", "Message.CopyTo", 3, 5},
                                           CallFault{"SecondUpdate", "Message.Update", 2, 1},
                                           CallFault{"FourthSubject", "Message.SetSubject", 4, 5},
                                           CallFault{"Enumeration", "Messages.iterator.next", 2, 4},
                                           CallFault{"ShortPath", "Folders.Item", 2, 0}),
                         larkspur::test::ParamName());

TEST_F(StoreFixture, RepeatingFaultAndCallCounts)
{
    Session s = logon();
    faults::failCall("InfoStores.Count", 2, ErrorCode::StoreFailure, true);
    EXPECT_EQ(errorOf([&] { s.InfoStores().Count(); }), 0);
    EXPECT_EQ(errorOf([&] { s.InfoStores().Count(); }), ErrorCode::StoreFailure);
    EXPECT_EQ(errorOf([&] { s.InfoStores().Count(); }), ErrorCode::StoreFailure);
    EXPECT_EQ(faults::callCount("InfoStores.Count"), 3);
    faults::clear();
    EXPECT_EQ(faults::callCount("InfoStores.Count"), 0);
    EXPECT_EQ(errorOf([&] { s.InfoStores().Count(); }), 0);
}

} // namespace
