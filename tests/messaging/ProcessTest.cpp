// Other processes on the same store: two writers at once, a writer that dies in the
// middle.
#include "TestStore.h"

#include "store/Engine.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

using namespace larkspur::test;

namespace {

// Starts the worker program adding COUNT items "<prefix><n>" to the shared calendar; its
// output is read by finish().
std::FILE *startWorker(const std::filesystem::path &store, const std::string &prefix, int count)
{
    const std::string command = std::string(STORE_WORKER) + " '" + store.string() + "' " + prefix + " " + std::to_string(count);
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

TEST_F(StoreFixture, TwoWritersAtOnceLoseNothing)
{
    const int count = 3000;
    std::FILE *workers[] = {startWorker(file(), "A-", count), startWorker(file(), "B-", count)};
    {   // This process writes at the same time.
        Session s = logon();
        for (int i = 1; i <= count; ++i)
            addItem(sharedCalendar(s), "C-" + std::to_string(i));
    }
    for (std::FILE *worker : workers) {
        const auto [status, out] = finish(worker);
        EXPECT_EQ(status, 0) << out;
    }
    std::vector<std::string> expected;
    for (const char *prefix : {"A-", "B-", "C-"})
        for (int i = 1; i <= count; ++i)
            expected.push_back(prefix + std::to_string(i));
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(sharedSubjects() == expected) << sharedSubjects().size() << " items";
    EXPECT_TRUE(consistent());
}

TEST_F(StoreFixture, WriterKilledInTheMiddleLeavesNoHalfItem)
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

// Two connections to one store committing in turn: what the first read ahead and kept
// past its commit gives way to what the second changed meanwhile.
TEST_F(StoreFixture, AnotherConnectionsCommitIsSeenPastWhatWasReadAhead)
{
    const auto location = teststores::newLocation(dir(), "engines.db");
    auto a = store::openEngine(location, store::OpenMode::Create);
    std::vector<store::Id> ids;
    a->begin();
    const store::Id storeId = a->addStore("S", store::StoreKind::Public, 0);
    const store::Id folder = a->addFolder(storeId, 0, "F");
    store::MessageRow row;
    row.folder = folder;
    row.subject = "first";
    for (int i = 0; i < 3; ++i)
        ids.push_back(a->addMessage(row, {}));
    a->commit();
    auto b = store::openEngine(location, store::OpenMode::Existing);

    a->begin();
    a->folderMessages(folder);
    ASSERT_TRUE(a->message(ids[0])); // the others are read with it
    EXPECT_TRUE(a->deleteMessage(ids[0], a->messagePlace(ids[0])));
    a->commit();

    b->begin();
    EXPECT_TRUE(b->deleteMessage(ids[1], std::nullopt));
    row.subject = "second";
    EXPECT_TRUE(b->updateMessage(ids[2], store::ColSubject, row, {}, {}));
    b->commit();

    a->begin();
    EXPECT_FALSE(a->messagePlace(ids[1]));
    EXPECT_FALSE(a->deleteMessage(ids[1], std::nullopt));
    EXPECT_EQ(a->message(ids[2])->subject, "second");
    a->commit();

    // A transaction that a failed statement ended (the server rolls it back by itself)
    // leaves nothing of what it read ahead or wrote.
    a->begin();
    a->folderMessages(folder);
    EXPECT_TRUE(a->deleteMessage(ids[2], a->messagePlace(ids[2])));
    EXPECT_THROW(a->addFolder(storeId, 999999, "no parent"), store::StoreError);
    if (a->inTransaction())
        a->rollback(); // the file engine leaves the failed transaction to its owner
    a->begin();
    EXPECT_TRUE(a->messagePlace(ids[2]));
    a->commit();
    a.reset();
    b.reset();
    teststores::release(location);
}

} // namespace
