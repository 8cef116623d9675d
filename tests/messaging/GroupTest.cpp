// Write groups: what lands in the store when a group is committed, abandoned, left open
// at Logoff, cut short by a failing write, or ended by the process dying.
#include "TestStore.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace larkspur::test;


namespace {

enum class End { Commit, Abandon, Logoff, Release, FailingWriteThenAbandon, FailingWriteThenCommit };

struct GroupCase {
    std::string name;
    End end;
    std::size_t expectedInGroup; // of the 1500 items written in the group
};

void PrintTo(const GroupCase &c, std::ostream *os)
{
    *os << c.name;
}

bool groupEnded(End end)
{
    return end != End::Logoff && end != End::Release;
}

class GroupTest : public StoreFixture, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(GroupTest, OnlyACommittedGroupLands)
{
    const GroupCase &c = GetParam();
    {
        Session s = logon();
        addItem(sharedCalendar(s), "before");
        s.beginGroup();
        if (c.end == End::FailingWriteThenAbandon || c.end == End::FailingWriteThenCommit)
            faults::failWrite(1001);
        // More than one batch's worth of writes, so an ordinary session would have
        // committed part of them by now.
        for (int i = 0; i < 1500; ++i) {
            if (errorOf([&] { addItem(sharedCalendar(s), "in group " + std::to_string(i)); }) != 0)
                break;
        }
        faults::clear();
        switch (c.end) {
        case End::Commit:
        case End::FailingWriteThenCommit:
            s.commitGroup();
            break;
        case End::Abandon:
        case End::FailingWriteThenAbandon:
            s.abandonGroup();
            break;
        case End::Logoff:
            s.Logoff();
            break;
        case End::Release:
            break;
        }
        // Once a group has ended, the session writes as usual again.
        if (groupEnded(c.end))
            addItem(sharedCalendar(s), "after");
    }
    std::vector<std::string> got = subjects(sharedCalendar(logon()));
    const std::size_t inGroup = static_cast<std::size_t>(
        std::count_if(got.begin(), got.end(), [](const std::string &t) { return t.rfind("in group ", 0) == 0; }));
    EXPECT_EQ(inGroup, c.expectedInGroup);
    EXPECT_EQ(got.front(), "before");
    EXPECT_EQ(std::count(got.begin(), got.end(), "after"), groupEnded(c.end) ? 1 : 0);
    EXPECT_TRUE(consistent());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, GroupTest,
    ::testing::Values(GroupCase{"Committed", End::Commit, 1500}, GroupCase{"Abandoned", End::Abandon, 0},
                      GroupCase{"LoggedOffOpen", End::Logoff, 0}, GroupCase{"ReleasedOpen", End::Release, 0},
                      GroupCase{"FailingWriteAbandoned", End::FailingWriteThenAbandon, 0},
                      // The failed item leaves nothing; the ones before it land together.
                      GroupCase{"FailingWriteCommitted", End::FailingWriteThenCommit, 1000}),
    ParamName());

TEST_F(StoreFixture, ProcessDyingInsideAGroupLeavesNothingOfIt)
{
    addItem(sharedCalendar(logon()), "before");
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        try {
            Session s = logon();
            s.beginGroup();
            for (int i = 0; i < 1500; ++i)
                addItem(sharedCalendar(s), "in group " + std::to_string(i));
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0); // no commit, no logoff, no destructors
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(subjects(sharedCalendar(logon())), std::vector<std::string>{"before"});
    EXPECT_TRUE(consistent());
}

TEST_F(StoreFixture, GroupsDoNotNest)
{
    Session s = logon();
    s.beginGroup();
    EXPECT_EQ(errorOf([&] { s.beginGroup(); }), ErrorCode::InvalidArgument);
    s.commitGroup();
    EXPECT_EQ(errorOf([&] { s.commitGroup(); }), ErrorCode::InvalidArgument);
}

} // namespace
