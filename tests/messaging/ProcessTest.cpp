// Other processes on the same store: two writers at once, a writer that dies in the
// middle, and the fault switch read from the environment.
#include "TestStore.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>

using namespace larkspur::test;

namespace {

// Starts the worker program adding COUNT items "<prefix><n>" to the shared calendar,
// with the fault switch given (or none); its output is read by finish().
std::FILE *startWorker(const std::filesystem::path &store, const std::string &prefix, int count,
                       const std::string &fault = {})
{
    std::string command = "env -u LARKSPUR_FAULT " + (fault.empty() ? "" : "LARKSPUR_FAULT=" + fault + " ") +
                          STORE_WORKER + " '" + store.string() + "' " + prefix + " " + std::to_string(count);
    std::FILE *child = ::popen(command.c_str(), "r");
    if (!child)
        throw std::runtime_error("cannot start the worker");
    return child;
}

// Waits for the worker; returns its exit status and what it printed.
std::pair<int, std::string> finish(std::FILE *child)
{
    std::string out;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, child)) > 0)
        out.append(buf, n);
    int status = ::pclose(child);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

class ProcessTest : public StoreFixture {
protected:
    std::multiset<std::string> sharedSubjects()
    {
        auto list = subjects(sharedCalendar(logon()));
        return {list.begin(), list.end()};
    }
};

TEST_F(ProcessTest, TwoWritersAtOnceLoseNothing)
{
    const int count = 3000;
    std::FILE *a = startWorker(storePath(), "A-", count);
    std::FILE *b = startWorker(storePath(), "B-", count);
    {   // This process writes at the same time.
        Session s = logon();
        for (int i = 1; i <= count; ++i)
            addItem(sharedCalendar(s), "C-" + std::to_string(i));
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
    EXPECT_TRUE(consistent());
}

TEST_F(ProcessTest, FaultSwitchFromTheEnvironment)
{
    auto [status, out] = finish(startWorker(storePath(), "E-", 10, "write:5"));
    EXPECT_EQ(status, 3);
    EXPECT_EQ(out.rfind(std::to_string(ErrorCode::DiskFull) + " ", 0), 0u) << out;
    EXPECT_NE(out.find("write 5"), std::string::npos) << out;
    // The four items saved before the failing write stay, although the worker never
    // logged off.
    EXPECT_EQ(sharedSubjects(), (std::multiset<std::string>{"E-1", "E-2", "E-3", "E-4"}));

    auto [status2, out2] = finish(startWorker(storePath(), "F-", 3, "Message.Update:2:-2147024891"));
    EXPECT_EQ(status2, 3);
    EXPECT_EQ(out2.rfind(std::to_string(ErrorCode::NoAccess) + " Message.Update", 0), 0u) << out2;
    EXPECT_EQ(sharedSubjects().count("F-1"), 1u);
    EXPECT_EQ(sharedSubjects().count("F-2"), 0u);
    EXPECT_TRUE(consistent());
}

TEST_F(ProcessTest, WriterKilledInTheMiddleLeavesNoHalfItem)
{
    fillCalendar(mailboxFolder(logon()), 1500);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The copy loop, ended abruptly without any chance to commit.
        try {
            Session s = logon();
            int done = 0;
            copyLoop(s, done, [&] {
                if (done == 2 * 1200)
                    ::_exit(0);
            });
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_TRUE(consistent());
    Session s = logon();
    // Whole batches reached the disk; the batch open at the end did not.
    int copies = checkCopies(s);
    EXPECT_LE(copies, 1200);
    EXPECT_GT(copies, 0);
    int stamped = stampedSources(s);
    EXPECT_TRUE(stamped == copies || stamped == copies + 1) << stamped << " " << copies;
}

} // namespace
