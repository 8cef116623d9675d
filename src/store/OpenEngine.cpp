#include "store/Engine.h"

#include "store/PgEngine.h"
#include "store/PgSchema.h"
#include "store/SqliteEngine.h"

namespace store {

bool isServerLocation(std::string_view location)
{
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<Engine> openEngine(const std::filesystem::path &location, OpenMode mode)
{
    if (isServerLocation(location.native()))
        return PgEngine::open(location.native(), mode);
    return SqliteEngine::open(location, mode);
}

namespace {

class PgServerLock : public ServerLock {
public:
    PgServerLock(std::unique_ptr<PgDatabase> db, std::int64_t key) : m_db(std::move(db)), m_key(key) {}
    bool tryTake() override
    {
        auto q = m_db->query("SELECT pg_try_advisory_lock(?)");
        q.bind(1, m_key);
        return q.step() && q.int64(0) == 1;
    }

private:
    // Closing the connection lets go of the lock.
    std::unique_ptr<PgDatabase> m_db;
    std::int64_t m_key;
};

} // namespace

std::unique_ptr<ServerLock> openServerLock(const std::filesystem::path &location, std::int64_t key)
{
    return std::make_unique<PgServerLock>(PgDatabase::connect(location.native()), key);
}

void removeStore(const std::filesystem::path &location)
{
    if (!isServerLocation(location.native())) {
        std::error_code ignored;
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            std::filesystem::remove(location.native() + suffix, ignored);
        return;
    }
    auto db = PgDatabase::connect(location.native());
    db->exec("BEGIN; SELECT pg_advisory_xact_lock(" + std::to_string(PgEngine::WriterLock) + ")");
    if (pgSchemaVersion(*db) > 0)
        dropPgSchema(*db);
    db->exec("COMMIT");
}

} // namespace store
