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
