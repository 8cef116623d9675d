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

struct TrimCase {
    const char *name;
    int oldRevisions;     // of the 200 revisions made before, the first ones are 40 days old
    int entriesEach;      // log entries each of the 200 revisions counts
    std::int64_t floor;   // the oldest revision a reader may still ask from afterwards
};

void PrintTo(const TrimCase &c, std::ostream *os)
{
    *os << c.name;
}

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
    {
        auto engine = store::openEngine(path, store::OpenMode::Create);
        store::Batch batch(*engine, store::Batch::EachOperation);
        batch.write([&] { folder = engine->addFolder(engine->addStore("S", store::StoreKind::Public, 0), 0, "F"); });
    }
    {   // A long history, as years of use leave it: revisions 2 to 201, one entry of the folder each.
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        const std::string sql =
            "WITH RECURSIVE r(n) AS (SELECT 2 UNION ALL SELECT n + 1 FROM r WHERE n < 201) "
            "INSERT INTO revisions(revision, at, entries) SELECT n, CASE WHEN n < 2 + " + std::to_string(c.oldRevisions) +
            " THEN " + std::to_string(now - 40 * 86400.0) + " ELSE " + std::to_string(now) + " END, " +
            std::to_string(c.entriesEach) + " FROM r; INSERT INTO changes SELECT " + std::to_string(folder) +
            ", revision, revision, 2 FROM revisions WHERE revision > 1; UPDATE revisions SET at = (SELECT min(at) FROM "
            "revisions) WHERE revision = 1;";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    auto engine = store::openEngine(path, store::OpenMode::Existing);
    {   // One more change; the end of the batch trims the log.
        store::Batch batch(*engine, store::Batch::EachOperation);
        batch.write([&] { engine->addMessage(store::MessageRow{folder}, {}); });
    }
    EXPECT_EQ(engine->storeRevision(), 202);
    EXPECT_EQ(engine->folderRevision(folder), 202);
    if (c.floor > 0)
        EXPECT_TRUE(engine->changesSince(folder, c.floor - 1).tooOld);
    const store::FolderChanges kept = engine->changesSince(folder, c.floor);
    ASSERT_FALSE(kept.tooOld);
    ASSERT_EQ(kept.changes.size(), static_cast<std::size_t>(202 - std::max<std::int64_t>(c.floor, 1)));
    EXPECT_EQ(kept.changes.front().revision, std::max<std::int64_t>(c.floor, 1) + 1);
    EXPECT_EQ(kept.changes.back().kind, store::ChangeKind::Added);
}

INSTANTIATE_TEST_SUITE_P(
    Log, ChangeLogTrim,
    ::testing::Values(TrimCase{"OldAndMoreThanTheEntriesKept", 150, 1000, 101},
                      TrimCase{"RecentThoughMoreThanTheEntriesKept", 0, 1000, 0},
                      TrimCase{"OldButFewerThanTheEntriesKept", 200, 400, 0},
                      TrimCase{"AllOldAndMoreThanTheEntriesKept", 200, 1000, 101}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
