// The store's SQL interface: parameters, the write hook, errors, connection settings
// and the schema's own rules.
#include "store/Database.h"
#include "store/Schema.h"
#include "store/SqliteEngine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace {

// The engine's result code of the error the call throws, or 0 when it throws none.
int dbErrorOf(const std::function<void()> &call, std::string *what = nullptr)
{
    try {
        call();
    } catch (const store::StoreError &e) {
        if (what)
            *what = e.what();
        return e.engineCode();
    }
    return 0;
}

std::string contents(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "larkspur-db-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        db = store::Database::open(m_dir / "test.db", true);
        db->configure();
        store::createSchema(*db);
    }
    void TearDown() override
    {
        db.reset();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    std::int64_t scalar(const char *sql)
    {
        auto q = db->query(sql);
        return q.step() ? q.int64(0) : -1;
    }

    std::filesystem::path m_dir;
    std::unique_ptr<store::Database> db;
};

TEST_F(DatabaseTest, ConnectionSettings)
{
    auto q = db->query("PRAGMA journal_mode");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.text(0), "wal");
    q.reset();
    EXPECT_EQ(scalar("PRAGMA foreign_keys"), 1);
    EXPECT_EQ(scalar("PRAGMA synchronous"), 1); // NORMAL
    EXPECT_EQ(store::schemaVersion(*db), store::SchemaVersion);
    std::string guid = store::storeGuid(*db);
    EXPECT_EQ(guid.size(), 32u);
    EXPECT_EQ(guid.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST_F(DatabaseTest, TextIsBoundByteForByte)
{
    const std::string odd("a\0b'\"; DROP TABLE messages; --\xFF", 33);
    db->exec("CREATE TABLE t(v)");
    db->query("INSERT INTO t(v) VALUES(?)").bind(1, std::string_view(odd)).run();
    db->query("INSERT INTO t(v) VALUES(?)").bind(1, std::string_view()).run();
    db->query("INSERT INTO t(v) VALUES(?)").bind(1, std::optional<std::string>()).run();
    auto q = db->query("SELECT v, typeof(v) FROM t ORDER BY rowid");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.text(0), odd);
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.text(1), "text"); // an empty text is not NULL
    EXPECT_EQ(q.optText(0), std::string());
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.optText(0), std::nullopt);
    q.reset();
    EXPECT_EQ(scalar("SELECT count(*) FROM messages"), 0); // the table is still there
}

TEST_F(DatabaseTest, EnvIsAskedBeforeEachWriteStatementOnly)
{
    struct Counting : store::Env {
        int writes = 0;
        bool fail = false;
        std::optional<Fault> before(Step step) override
        {
            if (step != Step::Write)
                return std::nullopt;
            ++writes;
            return fail ? std::optional<Fault>(Fault{store::Failure::DiskFull, "refused"}) : std::nullopt;
        }
    } env;
    store::Env::install(&env);
    db->exec("CREATE TABLE t(v)");
    for (const char *sql : {"BEGIN", "INSERT INTO t(v) VALUES(1)", "  update t SET v = 2", "SELECT * FROM t",
                            "REPLACE INTO t(rowid, v) VALUES(1, 3)", "DELETE FROM t WHERE v = 99", "COMMIT"})
        db->query(sql).run();
    EXPECT_EQ(env.writes, 4);
    env.fail = true;
    EXPECT_EQ(dbErrorOf([&] { db->query("INSERT INTO t(v) VALUES(4)").run(); }), 13); // SQLITE_FULL
    store::Env::install(nullptr);
    EXPECT_EQ(scalar("SELECT count(*) FROM t"), 1); // the refused write did not happen
}

TEST_F(DatabaseTest, EngineErrorsCarryTheirCode)
{
    std::string what;
    EXPECT_EQ(dbErrorOf([&] { db->query("SELECT * FROM no_such_table"); }, &what), 1); // SQLITE_ERROR
    EXPECT_NE(what.find("no_such_table"), std::string::npos);
    try {
        db->query("INSERT INTO messages(folder_id) VALUES(?)").bind(1, std::int64_t(12345)).run();
        ADD_FAILURE() << "no error";
    } catch (const store::StoreError &e) {
        EXPECT_EQ(e.engineCode(), 19); // SQLITE_CONSTRAINT: no such folder
        EXPECT_FALSE(e.diskFull());
    }
}

TEST_F(DatabaseTest, DeletingAMessageTakesItsFieldsAndBindingAlong)
{
    db->exec("INSERT INTO stores(id, name, kind) VALUES(1, 'S', 0);"
             "INSERT INTO folders(id, store_id, name) VALUES(1, 1, 'root');"
             "INSERT INTO messages(id, folder_id, hidden) VALUES(1, 1, 1), (2, 1, 0);"
             "INSERT INTO message_fields VALUES(1, 10, 0, 'a'), (1, 11, 0, 'b'), (2, 10, 0, 'c');"
             "INSERT INTO bindings(message_id, name) VALUES(1, 'x');");
    db->exec("DELETE FROM messages WHERE id = 1");
    EXPECT_EQ(scalar("SELECT count(*) FROM message_fields"), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM bindings"), 0);
    db->exec("DELETE FROM folders WHERE id = 1");
    EXPECT_EQ(scalar("SELECT count(*) FROM messages"), 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM message_fields"), 0);
}

TEST_F(DatabaseTest, SubjectPrefixRangeUsesTheIndex)
{
    auto q = db->query("EXPLAIN QUERY PLAN SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 "
                       "AND subject >= ? AND subject < ? ORDER BY id");
    std::string plan;
    while (q.step())
        plan += q.text(3) + "\n";
    EXPECT_NE(plan.find("messages_subject"), std::string::npos) << plan;
}

TEST_F(DatabaseTest, AFileOfAnotherKindIsRefusedUntouched)
{
    auto other = m_dir / "other.db";
    store::Database::open(other, true)->exec(
        "PRAGMA journal_mode=DELETE; CREATE TABLE notes(x); PRAGMA user_version = 7;");
    const std::string before = contents(other);
    EXPECT_EQ(dbErrorOf([&] { store::SqliteEngine::open(other, store::OpenMode::Existing); }), 26); // SQLITE_NOTADB
    EXPECT_EQ(contents(other), before);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "other.db-wal"));
    EXPECT_NE(dbErrorOf([&] { store::SqliteEngine::open(m_dir / "missing.db", store::OpenMode::Existing); }), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "missing.db"));
}

} // namespace
