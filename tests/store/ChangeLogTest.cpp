// Trimming the change log: at least the last 30 days and the last 100,000 entries are
// kept, whichever reaches further back, and a reader asking from before what is kept is
// told to read everything.
#include "store/Batch.h"
#include "store/SqliteEngine.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

store::MessageRow rowIn(store::Id folder)
{
    store::MessageRow row;
    row.folder = folder;
    return row;
}

struct TrimCase {
    const char *name;
    int oldRevisions; // of the 200 revisions made before, the first ones are 40 days old
    int entriesEach;  // log entries each of the 200 revisions counts
    bool trimmed;     // afterwards the log begins after the 100th of them
};

class ChangeLogTrim : public ::testing::TestWithParam<TrimCase> {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "larkspur-log-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::filesystem::path m_dir;
};

TEST_P(ChangeLogTrim, KeepsWhatTheRuleKeepsAndSaysTooOldForTheRest)
{
    const TrimCase &c = GetParam();
    const auto path = m_dir / "store.db";
    store::Id folder = 0;
    std::int64_t base = 0; // the store's revision before the history
    {
        auto engine = store::openEngine(path, store::OpenMode::Create);
        store::Batch batch(*engine, store::Batch::EachOperation);
        batch.write([&] { folder = engine->addFolder(engine->addStore("S", store::StoreKind::Public, 0), 0, "F"); });
        batch.commit();
        base = engine->storeRevision();
    }
    {   // 200 revisions of one new message each, then aged and swollen as years of use
        // leave them: the oldest ones 40 days old, each counting many entries.
        auto engine = store::openEngine(path, store::OpenMode::Existing);
        store::Batch batch(*engine, store::Batch::EachOperation);
        for (int i = 0; i < 200; ++i)
            batch.write([&] { engine->addMessage(rowIn(folder), {}); });
    }
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        const std::string old = std::to_string(now - 40 * 86400.0);
        const std::int64_t lastOld = c.oldRevisions > 0 ? base + c.oldRevisions : 0;
        const std::string sql = "UPDATE revisions SET at = CASE WHEN revision <= " + std::to_string(lastOld) +
                                " THEN " + old + " ELSE " + std::to_string(now) +
                                " END, entries = CASE WHEN revision > " + std::to_string(base) + " THEN " +
                                std::to_string(c.entriesEach) + " ELSE 0 END";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    auto engine = store::openEngine(path, store::OpenMode::Existing);
    {   // One more change; the end of the batch trims the log.
        store::Batch batch(*engine, store::Batch::EachOperation);
        batch.write([&] { engine->addMessage(rowIn(folder), {}); });
    }
    const std::int64_t last = base + 201;
    EXPECT_EQ(engine->storeRevision(), last);
    EXPECT_EQ(engine->folderRevision(folder), last);
    // Trimmed, the newest 100 revisions of 1,000 entries and the last one remain.
    const std::int64_t floor = c.trimmed ? base + 100 : 0;
    if (c.trimmed) {
        EXPECT_TRUE(engine->changesSince(folder, floor - 1).tooOld);
    }
    const store::FolderChanges kept = engine->changesSince(folder, floor);
    ASSERT_FALSE(kept.tooOld);
    ASSERT_EQ(kept.changes.size(), static_cast<std::size_t>(c.trimmed ? 101 : 201));
    EXPECT_EQ(kept.changes.front().revision, c.trimmed ? floor + 1 : base + 1);
    EXPECT_EQ(kept.changes.back().kind, store::ChangeKind::Added);
}

INSTANTIATE_TEST_SUITE_P(
    Log, ChangeLogTrim,
    ::testing::Values(TrimCase{"OldAndMoreThanTheEntriesKept", 150, 1000, true},
                      TrimCase{"RecentThoughMoreThanTheEntriesKept", 0, 1000, false},
                      TrimCase{"OldButFewerThanTheEntriesKept", 200, 400, false},
                      TrimCase{"AllOldAndMoreThanTheEntriesKept", 200, 1000, true}),
    [](const auto &test) { return std::string(test.param.name); });

} // namespace

namespace {

// A group whose transaction the engine undid on its own (as SQLite does on some I/O
// errors) must not land with only the writes made after the loss.
TEST(WriteGroup, UndoneByTheEngineRefusesLaterWritesAndItsCommit)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "larkspur-group-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    {
        auto engine = store::openEngine(dir / "store.db", store::OpenMode::Create);
        store::Batch batch(*engine, store::Batch::SessionLimits);
        store::Id folder = 0;
        batch.write([&] { folder = engine->addFolder(engine->addStore("S", store::StoreKind::Public, 0), 0, "F"); });
        batch.commit();
        batch.beginGroup();
        batch.write([&] { engine->addMessage(rowIn(folder), {}); });
        engine->rollback(); // what the engine does by itself after such a failure
        EXPECT_GT(batch.lostWrites(), 0);
        EXPECT_THROW(batch.write([&] { engine->addMessage(rowIn(folder), {}); }), store::StoreError);
        EXPECT_THROW(batch.commitGroup(), store::StoreError);
        EXPECT_TRUE(engine->folderMessages(folder).empty());
        // Once the group is over, the batch writes again.
        batch.write([&] { engine->addMessage(rowIn(folder), {}); });
        batch.commit();
        EXPECT_EQ(engine->folderMessages(folder).size(), 1u);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
