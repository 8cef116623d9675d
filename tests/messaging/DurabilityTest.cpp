// When writes become visible to others and survive: at Logoff, at the release of the
// last handle, and before an error leaves the object model.
#include "TestStore.h"

#include <sys/stat.h>

using namespace messaging;
using larkspur::test::addItem;
using larkspur::test::errorOf;
using larkspur::test::sharedCalendar;
using larkspur::test::StoreFixture;

namespace {

class DurabilityTest : public StoreFixture {
protected:
    std::size_t countFromAnotherConnection()
    {
        Session other = logon();
        auto n = static_cast<std::size_t>(sharedCalendar(other).Messages().Count());
        other.Logoff();
        return n;
    }
};

TEST_F(DurabilityTest, ReleasingTheLastHandleCommits)
{
    Folder calendar(nullptr, 0);
    {
        Session s = logon();
        calendar = sharedCalendar(s);
        addItem(calendar, "one");
    }
    // The folder handle still holds the session open.
    addItem(calendar, "two");
    calendar = Folder(nullptr, 0);
    EXPECT_EQ(countFromAnotherConnection(), 2u);
}

TEST_F(DurabilityTest, LogoffCommits)
{
    Session s = logon();
    addItem(sharedCalendar(s), "one");
    s.Logoff();
    EXPECT_EQ(countFromAnotherConnection(), 1u);
}

TEST_F(DurabilityTest, AnErrorLeavingTheModelCommitsWhatWasDoneBefore)
{
    Session s = logon();
    Folder calendar = sharedCalendar(s);
    addItem(calendar, "one");
    addItem(calendar, "two");
    EXPECT_EQ(errorOf([&] { s.GetMessage("0000"); }), ErrorCode::NotFound);
    // Still logged on: the other connection sees both items and can write itself.
    {
        Session other = logon();
        EXPECT_EQ(sharedCalendar(other).Messages().Count(), 2);
        addItem(sharedCalendar(other), "three");
        other.Logoff();
    }
    EXPECT_EQ(calendar.Messages().Count(), 3);
}

TEST_F(DurabilityTest, AFailingUpdateSavesNothingOfItself)
{
    Session s = logon();
    Folder calendar = sharedCalendar(s);
    Message m = addItem(calendar, "kept");
    Message stale = s.GetMessage(m.ID());
    m.Delete();
    stale.SetSubject("changed");
    stale.SetStamp("stamp");
    EXPECT_EQ(errorOf([&] { stale.Update(); }), ErrorCode::NotFound);
    EXPECT_EQ(calendar.Messages().Count(), 0);
}

TEST_F(DurabilityTest, StoreFileIsOwnerOnly)
{
    struct stat st {};
    ASSERT_EQ(::stat(storePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(errorOf([&] { ServerAdmin::createStore(storePath()); }), ErrorCode::InvalidArgument);
    EXPECT_EQ(errorOf([&] { ServerAdmin(m_dir.path() / "none.db"); }), ErrorCode::LogonFailed);
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "none.db"));
}

TEST_F(DurabilityTest, ManyWritesInOneSessionAreAllKept)
{
    {
        Session s = logon();
        Folder calendar = sharedCalendar(s);
        for (int i = 0; i < 2500; ++i)
            addItem(calendar, std::to_string(i));
        s.Logoff();
    }
    EXPECT_EQ(countFromAnotherConnection(), 2500u);
}

} // namespace
