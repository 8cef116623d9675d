// Injected failures: the failing call reports its number, what was saved before it
// stays saved (or the error says the store undid it), nothing is left half done, and
// the store stays consistent. Real failures of the disk come through FaultyDisk.
#include "TestStore.h"

#include "FaultyDisk.h"

#include <sqlite3.h>

using namespace larkspur::test;

namespace {

using larkspur::test::PrintTo;

constexpr int kItems = 6;

// One piece of work as the pages do it; `done` counts the saved steps.
struct Scenario {
    const char *name;
    void (*prepare)(Session &s);
    void (*run)(Session &s, int &done);
    // Checks the store after the run stopped with `done` steps saved.
    void (*verify)(Session &s, int done);
};

void prepareCalendar(Session &s) { fillCalendar(mailboxFolder(s), kItems); }

void verifyCopies(Session &s, int done)
{
    EXPECT_EQ(checkCopies(s), done / 2);
    EXPECT_EQ(stampedSources(s), (done + 1) / 2);
}

void runCopyLoop(Session &s, int &done) { copyLoop(s, done); }

void prepareShared(Session &s)
{
    for (int i = 0; i < kItems; ++i)
        addItem(sharedCalendar(s), (i % 2 ? "AL- " : "BS- ") + std::to_string(i));
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
    auto left = subjects(sharedCalendar(s));
    EXPECT_EQ(left.size(), static_cast<std::size_t>(kItems - done));
    EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string &x) { return x.rfind("BS- ", 0) == 0; }),
              kItems / 2);
}

void installScripts(Session &s, int &done)
{
    auto events = Events::Create("MSExchange.Events");
    events->SetSession(s);
    for (int i = 0; i < 3; ++i)
        installScript(*events, s, mailboxFolder(s, "Ann Lee", "Inbox"), "Script " + std::to_string(i), "\r\nx", done);
}

void verifyScripts(Session &s, int done)
{
    auto events = Events::Create("MSExchange.Events");
    events->SetSession(s);
    Folder inbox = mailboxFolder(s, "Ann Lee", "Inbox");
    Bindings bindings = events->BoundFolder(inbox, true).Bindings();
    EXPECT_EQ(bindings.Count(), (done + 2) / 3);
    int withScript = 0;
    for (Binding b : bindings)
        withScript += s.GetMessage(b.EntryID()).Fields().Item(PropTag::ScriptText).Exists() ? 1 : 0;
    EXPECT_EQ(withScript, (done + 1) / 3);
    EXPECT_EQ(inbox.Messages().Count(), 0);
}

class WriteFaultSweep : public StoreFixture, public ::testing::WithParamInterface<Scenario> {};

// Fails the first, second, ... store write of the scenario until it runs through.
TEST_P(WriteFaultSweep, EveryFailingWriteLeavesAConsistentStore)
{
    {
        Session s = logon();
        GetParam().prepare(s);
    }
    const auto pristine = teststores::newLocation(dir(), "pristine.db");
    teststores::copyStore(file(), pristine);
    bool completed = false;
    for (int nth = 1; nth < 200 && !completed; ++nth) {
        SCOPED_TRACE("failing write " + std::to_string(nth));
        for (const char *suffix : {"-wal", "-shm"})
            std::filesystem::remove(file().string() + suffix);
        teststores::copyStore(pristine, file());
        int done = 0;
        std::string description;
        std::int32_t number = 0;
        {
            Session s = logon();
            faults::failWrite(nth);
            number = errorOf([&] { GetParam().run(s, done); }, &description);
            faults::clear();
        }
        completed = number == 0;
        if (!completed) {
            EXPECT_EQ(number, ErrorCode::DiskFull);
            EXPECT_NE(description.find("write " + std::to_string(nth)), std::string::npos) << description;
        }
        EXPECT_TRUE(consistent());
        Session s = logon();
        GetParam().verify(s, done);
    }
    EXPECT_TRUE(completed);
    teststores::release(pristine);
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFaultSweep,
                         ::testing::Values(Scenario{"CopyLoop", prepareCalendar, runCopyLoop, verifyCopies},
                                           Scenario{"FilterDelete", prepareShared, filterDelete, verifyFilterDelete},
                                           Scenario{"InstallScripts", prepareCalendar, installScripts, verifyScripts}),
                         ParamName());

using testsupport::FaultyDisk;

struct DiskFault {
    const char *name;
    // Breaks the disk; `pages` is what the store holds before the work.
    void (*arm)(FaultyDisk &disk, std::int64_t pages);
    bool group;          // the work is one write group
    std::int32_t number; // of the failure the work or, committing it, Logoff meets
};

class DiskFaults : public StoreFixture, public ::testing::WithParamInterface<DiskFault> {};

// The copy loop on a disk that fails: an operation fails whole.
TEST_P(DiskFaults, TheErrorSaysWhatLandedAndNothingLandsHalf)
{
    if (teststores::onServer())
        GTEST_SKIP() << "the test disk lies under store files";
    const DiskFault &c = GetParam();
    fillCalendar(mailboxFolder(logon()), 300);
    const auto pages = static_cast<std::int64_t>(std::filesystem::file_size(file()) / 4096);
    FaultyDisk disk;
    copyLoopFails(c.group, c.number, [&] { c.arm(disk, pages); }, [&] { disk.heal(); });
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DiskFaults,
    ::testing::Values(
        DiskFault{"DiskFullInAStatement", [](FaultyDisk &d, std::int64_t pages) { d.limitGrowth(pages, 4); }, false,
                  ErrorCode::DiskFull},
        DiskFault{"LogWriteFailsAtCommit",
                  [](FaultyDisk &d, std::int64_t) { d.failWrite(FaultyDisk::File::Log, 1, SQLITE_IOERR_WRITE); },
                  false, ErrorCode::StoreFailure},
        DiskFault{"DiskFullAtCommit",
                  [](FaultyDisk &d, std::int64_t) { d.failWrite(FaultyDisk::File::Log, 1, SQLITE_FULL); }, false,
                  ErrorCode::DiskFull},
        // The first sync is the commit's own, of a fresh log's header; the second is the one
        // that makes the session durable at Logoff, after the commit.
        DiskFault{"SyncFailsAtLogoff",
                  [](FaultyDisk &d, std::int64_t) { d.failSync(FaultyDisk::File::Log, 2, SQLITE_IOERR_FSYNC); },
                  false, ErrorCode::StoreFailure},
        DiskFault{"CommitOfAGroupRefused", [](FaultyDisk &d, std::int64_t) { d.failCommit(1); }, true,
                  ErrorCode::StoreFailure},
        DiskFault{"LogWriteFailsInAGroup",
                  [](FaultyDisk &d, std::int64_t) { d.failWrite(FaultyDisk::File::Log, 1, SQLITE_IOERR_WRITE); },
                  true, ErrorCode::StoreFailure},
        DiskFault{"DiskFullInAGroup", [](FaultyDisk &d, std::int64_t pages) { d.limitGrowth(pages, 4); }, true,
                  ErrorCode::DiskFull}),
    ParamName());

// A connection the server ends mid-run: the run stops with a numbered error, what was
// committed stays, and nothing half-done is left.
TEST_F(StoreFixture, LostConnectionEndsTheRunAndKeepsWhatWasCommitted)
{
    if (!teststores::onServer())
        GTEST_SKIP() << "a connection to a server";
    Session s = logon();
    const Folder calendar = mailboxFolder(s);
    fillCalendar(calendar, 3);
    s.Logoff();
    s.Logon("Administrator");
    addItem(mailboxFolder(s), "not committed yet");
    teststores::killConnections(file());
    std::string description;
    EXPECT_EQ(errorOf([&] { addItem(mailboxFolder(s), "after the loss"); }, &description), ErrorCode::StoreFailure);
    EXPECT_NE(description.find("connection"), std::string::npos) << description;
    EXPECT_EQ(subjects(mailboxFolder(logon())), (std::vector<std::string>{"Item 0", "Item 1", "Item 2"}));
    EXPECT_TRUE(consistent());
}

} // namespace
