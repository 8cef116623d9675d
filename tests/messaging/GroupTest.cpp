// Write groups and the one rule for a batch still open when its session ends, for a
// session's write group and an administrator's batch alike: committed, abandoned, left
// open at Logoff, released open, cut by a failing write, ended by the process dying.
#include "TestStore.h"

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <memory>

using namespace larkspur::test;

namespace {

enum class End { Commit, Abandon, Logoff, Release, FailingWriteThenAbandon, FailingWriteThenCommit, ProcessDies };

// A session adding items to the shared calendar, or a ServerAdmin adding users; released
// with its last copy.
struct Writer {
    std::function<void()> begin, commit, abandon, logoff;
    std::function<void(const std::string &)> add;
};

struct GroupCase {
    std::string name;
    bool admin;
    End end;
    int count;      // operations tried in the group: more than a batch's worth for a session
    int failingWrite;
};

using larkspur::test::PrintTo;

class GroupTest : public StoreFixture, public ::testing::WithParamInterface<GroupCase> {
protected:
    Writer writer()
    {
        if (GetParam().admin) {
            const auto admin = std::make_shared<ServerAdmin>(file());
            return {[=] { admin->beginBatch(); }, [=] { admin->commitBatch(); }, [] {}, [] {},
                    [=](const std::string &name) { admin->addUser(name, std::nullopt); }};
        }
        const auto s = std::make_shared<Session>(logon());
        const Folder calendar = sharedCalendar(*s);
        return {[=] { s->beginGroup(); }, [=] { s->commitGroup(); }, [=] { s->abandonGroup(); }, [=] { s->Logoff(); },
                [=](const std::string &name) { addItem(calendar, name); }};
    }
    // The names the writer's operations left in the store, sorted.
    std::vector<std::string> written()
    {
        if (!GetParam().admin)
            return sharedSubjects();
        std::vector<std::string> names;
        for (const UserInfo &u : ServerAdmin(file()).users())
            if (u.name != "Administrator" && u.name != "Ann Lee")
                names.push_back(u.name);
        std::sort(names.begin(), names.end());
        return names;
    }
    // Writes the group; returns how many of its operations succeeded.
    int writeGroup(Writer &w)
    {
        w.begin();
        if (GetParam().failingWrite > 0)
            faults::failWrite(GetParam().failingWrite);
        int done = 0;
        for (int i = 0; i < GetParam().count; ++i) {
            if (errorOf([&] { w.add("in group " + std::to_string(1000 + i)); }) != 0)
                break;
            ++done;
        }
        faults::clear();
        return done;
    }
};

TEST_P(GroupTest, OnlyACommittedGroupLands)
{
    const GroupCase &c = GetParam();
    writer().add("before");
    int done = 0;
    if (c.end == End::ProcessDies) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                Writer w = writer();
                writeGroup(w);
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0); // no commit, no logoff, no destructors
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    } else {
        Writer w = writer();
        done = writeGroup(w);
        if (c.end == End::Commit || c.end == End::FailingWriteThenCommit)
            w.commit();
        else if (c.end == End::Abandon || c.end == End::FailingWriteThenAbandon)
            w.abandon();
        else if (c.end == End::Logoff)
            w.logoff();
        // Once a group has ended, the writer writes as usual again.
        if (c.end != End::Logoff && c.end != End::Release)
            w.add("after");
    }
    const bool lands = c.end == End::Commit || c.end == End::FailingWriteThenCommit;
    if (c.end == End::FailingWriteThenCommit)
        EXPECT_LT(done, c.count);
    std::vector<std::string> expected{"before"};
    for (int i = 0; lands && i < done; ++i) // the failed operation leaves nothing of itself
        expected.push_back("in group " + std::to_string(1000 + i));
    if (c.end != End::Logoff && c.end != End::Release && c.end != End::ProcessDies)
        expected.push_back("after");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written(), expected);
    EXPECT_TRUE(consistent());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, GroupTest,
    ::testing::Values(GroupCase{"Committed", false, End::Commit, 1500, 0},
                      GroupCase{"Abandoned", false, End::Abandon, 1500, 0},
                      GroupCase{"LoggedOffOpen", false, End::Logoff, 1500, 0},
                      GroupCase{"ReleasedOpen", false, End::Release, 1500, 0},
                      GroupCase{"FailingWriteAbandoned", false, End::FailingWriteThenAbandon, 1500, 1001},
                      GroupCase{"FailingWriteCommitted", false, End::FailingWriteThenCommit, 1500, 1001},
                      GroupCase{"ProcessDied", false, End::ProcessDies, 1500, 0},
                      GroupCase{"AdminCommitted", true, End::Commit, 40, 0},
                      GroupCase{"AdminReleasedOpen", true, End::Release, 40, 0},
                      GroupCase{"AdminFailingWriteCommitted", true, End::FailingWriteThenCommit, 40, 100},
                      GroupCase{"AdminProcessDied", true, End::ProcessDies, 40, 0}),
    ParamName());

TEST_F(StoreFixture, GroupsDoNotNest)
{
    Session s = logon();
    s.beginGroup();
    EXPECT_EQ(errorOf([&] { s.beginGroup(); }), ErrorCode::InvalidArgument);
    s.commitGroup();
    EXPECT_EQ(errorOf([&] { s.commitGroup(); }), ErrorCode::InvalidArgument);
}

} // namespace
