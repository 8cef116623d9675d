// Other processes on the same store: two writers at once, a writer that dies in the
// middle, and the fault switch read from the environment.
#include "TestStore.h"

#include "messaging/PropTags.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <set>

extern char **environ;

using namespace messaging;
using larkspur::test::sharedCalendar;
using larkspur::test::StoreFixture;

namespace {

struct Child {
    pid_t pid = -1;
    int output = -1;
};

// Starts the worker program with extra environment entries; its standard output is
// captured through a pipe.
Child startWorker(const std::vector<std::string> &args, const std::vector<std::string> &extraEnv = {})
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> all = {STORE_WORKER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env(extraEnv);
    for (char **e = environ; *e; ++e) {
        if (std::string(*e).rfind("LARKSPUR_FAULT=", 0) != 0)
            env.emplace_back(*e);
    }
    std::vector<char *> envp;
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    Child child;
    int rc = posix_spawn(&child.pid, STORE_WORKER, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        throw std::runtime_error("cannot start the worker");
    }
    child.output = fds[0];
    return child;
}

// Waits for the worker; returns its exit status and what it printed.
std::pair<int, std::string> finish(Child child)
{
    std::string out;
    std::array<char, 512> buf;
    ssize_t n;
    while ((n = ::read(child.output, buf.data(), buf.size())) > 0)
        out.append(buf.data(), static_cast<std::size_t>(n));
    ::close(child.output);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

class ProcessTest : public StoreFixture {
protected:
    std::multiset<std::string> sharedSubjects()
    {
        Session s = logon();
        auto list = larkspur::test::subjects(sharedCalendar(s));
        s.Logoff();
        return {list.begin(), list.end()};
    }
};

TEST_F(ProcessTest, TwoWritersAtOnceLoseNothing)
{
    const int count = 3000;
    Child a = startWorker({storePath().string(), "A-", std::to_string(count)});
    Child b = startWorker({storePath().string(), "B-", std::to_string(count)});
    // This process writes at the same time.
    {
        Session s = logon();
        Folder calendar = sharedCalendar(s);
        for (int i = 1; i <= count; ++i)
            larkspur::test::addItem(calendar, "C-" + std::to_string(i));
        s.Logoff();
    }
    auto [statusA, outA] = finish(a);
    auto [statusB, outB] = finish(b);
    EXPECT_EQ(statusA, 0) << outA;
    EXPECT_EQ(statusB, 0) << outB;
    auto got = sharedSubjects();
    EXPECT_EQ(got.size(), 3u * count);
    for (const char *prefix : {"A-", "B-", "C-"})
        for (int i = 1; i <= count; ++i)
            ASSERT_EQ(got.count(prefix + std::to_string(i)), 1u) << prefix << i;
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}

TEST_F(ProcessTest, FaultSwitchFromTheEnvironment)
{
    auto [status, out] = finish(startWorker({storePath().string(), "E-", "10"}, {"LARKSPUR_FAULT=write:5"}));
    EXPECT_EQ(status, 3);
    EXPECT_EQ(out.rfind(std::to_string(ErrorCode::DiskFull) + " ", 0), 0u) << out;
    EXPECT_NE(out.find("write 5"), std::string::npos) << out;
    // The four items saved before the failing write stay, although the worker never
    // logged off.
    EXPECT_EQ(sharedSubjects(), (std::multiset<std::string>{"E-1", "E-2", "E-3", "E-4"}));

    auto [status2, out2] =
        finish(startWorker({storePath().string(), "F-", "3"}, {"LARKSPUR_FAULT=Message.Update:2:-2147024891"}));
    EXPECT_EQ(status2, 3);
    EXPECT_EQ(out2.rfind(std::to_string(ErrorCode::NoAccess) + " Message.Update", 0), 0u) << out2;
    EXPECT_EQ(sharedSubjects().count("F-1"), 1u);
    EXPECT_EQ(sharedSubjects().count("F-2"), 0u);
    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
}

TEST_F(ProcessTest, WriterKilledInTheMiddleLeavesNoHalfItem)
{
    {
        ServerAdmin(storePath()).addUser("Ann Lee", std::string("AL"));
        Session s = logon();
        Folder calendar = larkspur::test::mailboxFolder(s, "Ann Lee");
        for (int i = 0; i < 1500; ++i) {
            Message m = calendar.Messages().Add();
            m.SetSubject("Item " + std::to_string(i));
            m.Fields().Item(PropTag::ICalendarSource).SetValue(std::string("BEGIN:VEVENT"));
            m.Fields().Item(0x80010003).SetValue(std::int64_t(i));
            m.Update();
        }
        s.Logoff();
    }
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The copy loop, ended abruptly without any chance to commit.
        try {
            Session s = logon();
            Folder shared = sharedCalendar(s);
            std::string target = shared.ID();
            int n = 0;
            for (Message m : larkspur::test::mailboxFolder(s, "Ann Lee").Messages()) {
                m.SetStamp("N::0:" + m.Subject());
                m.Update();
                Message copy = m.CopyTo(target);
                copy.SetSubject("AL- " + copy.Subject());
                copy.Update();
                if (++n == 1200)
                    ::_exit(0);
            }
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_TRUE(ServerAdmin(storePath()).check().empty());
    Session s = logon();
    int copies = 0;
    for (Message m : sharedCalendar(s).Messages()) {
        ++copies;
        EXPECT_EQ(m.Subject().rfind("AL- Item ", 0), 0u);
        EXPECT_EQ(m.Fields().Tags().size(), 2u);
        EXPECT_EQ(m.Stamp(), "N::0:" + m.Subject().substr(4));
    }
    // Whole batches reached the disk; the batch open at the end did not.
    EXPECT_LE(copies, 1200);
    EXPECT_GT(copies, 0);
    int stamped = 0;
    for (Message m : larkspur::test::mailboxFolder(s, "Ann Lee").Messages())
        stamped += m.Stamp().has_value() ? 1 : 0;
    EXPECT_TRUE(stamped == copies || stamped == copies + 1) << stamped << " " << copies;
}

} // namespace
