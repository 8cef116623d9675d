#include "store/Schema.h"

#include "store/PrivateItems.h"

#include <sqlite3.h>

#include <ctime>
#include <random>

namespace store {

namespace {

// The tables as the first version made them. Later versions change them only through
// upgrade steps (below), which new stores go through too.
const char *const kFirstVersion = R"SQL(
CREATE TABLE meta(
  key TEXT PRIMARY KEY,
  value TEXT NOT NULL
);
CREATE TABLE address_lists(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE
);
CREATE TABLE address_entries(
  id INTEGER PRIMARY KEY,
  list_id INTEGER NOT NULL REFERENCES address_lists(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  display_type INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX address_entries_name ON address_entries(list_id, name);
CREATE TABLE entry_fields(
  entry_id INTEGER NOT NULL REFERENCES address_entries(id) ON DELETE CASCADE,
  tag INTEGER NOT NULL,
  type INTEGER NOT NULL,
  value,
  PRIMARY KEY(entry_id, tag)
) WITHOUT ROWID;
CREATE TABLE stores(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  kind INTEGER NOT NULL,
  owner_entry INTEGER REFERENCES address_entries(id) ON DELETE SET NULL
);
CREATE TABLE folders(
  id INTEGER PRIMARY KEY,
  store_id INTEGER NOT NULL REFERENCES stores(id) ON DELETE CASCADE,
  parent_id INTEGER REFERENCES folders(id) ON DELETE CASCADE,
  name TEXT NOT NULL
);
CREATE INDEX folders_parent ON folders(parent_id);
CREATE INDEX folders_store ON folders(store_id);
CREATE TABLE messages(
  id INTEGER PRIMARY KEY,
  folder_id INTEGER NOT NULL REFERENCES folders(id) ON DELETE CASCADE,
  hidden INTEGER NOT NULL DEFAULT 0,
  subject TEXT NOT NULL DEFAULT '',
  body TEXT NOT NULL DEFAULT '',
  sensitivity INTEGER NOT NULL DEFAULT 0,
  categories TEXT,
  all_day INTEGER NOT NULL DEFAULT 0,
  location TEXT,
  start REAL,
  end REAL,
  stamp TEXT
);
CREATE INDEX messages_subject ON messages(folder_id, hidden, subject);
CREATE TABLE message_fields(
  message_id INTEGER NOT NULL REFERENCES messages(id) ON DELETE CASCADE,
  tag INTEGER NOT NULL,
  type INTEGER NOT NULL,
  value,
  PRIMARY KEY(message_id, tag)
) WITHOUT ROWID;
CREATE TABLE bindings(
  message_id INTEGER PRIMARY KEY REFERENCES messages(id) ON DELETE CASCADE,
  name TEXT NOT NULL DEFAULT '',
  active INTEGER NOT NULL DEFAULT 0,
  event_mask INTEGER NOT NULL DEFAULT 0,
  handler_class TEXT NOT NULL DEFAULT '',
  custom_saved INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE bound_folders(
  folder_id INTEGER PRIMARY KEY REFERENCES folders(id) ON DELETE CASCADE
);
CREATE TABLE profiles(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  owner_entry INTEGER REFERENCES address_entries(id) ON DELETE SET NULL
);
CREATE TABLE shares(
  seq INTEGER PRIMARY KEY AUTOINCREMENT,
  profile_id INTEGER NOT NULL REFERENCES profiles(id) ON DELETE CASCADE,
  store_id INTEGER NOT NULL REFERENCES stores(id) ON DELETE CASCADE,
  UNIQUE(profile_id, store_id)
);
CREATE INDEX shares_store ON shares(store_id);
)SQL";

std::string randomGuid()
{
    std::random_device rd;
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        unsigned byte = rd() & 0xffu;
        out += hex[byte >> 4];
        out += hex[byte & 0xfu];
    }
    return out;
}

// One step of an upgrade: brings a store of version `from` one version further. Steps
// run in list order, every step of one upgrade in the same transaction; each step is
// self-contained and relies on nothing but the tables of its version.
struct UpgradeStep {
    int from;
    void (*apply)(Database &db);
};

// 1 -> 2: private items that earlier programs copied into the public store showed their
// location, categories, event text and a stamp holding their subject; they are masked.
void maskPrivateCopies(Database &db)
{
    maskPrivateItems(db);
}

// 1 -> 2: the time of a message's last save (UTC seconds), so that what is exported from
// an unchanged folder stays the same. Messages already there take the time of the
// upgrade.
void addMessageChangeTime(Database &db)
{
    db.exec("ALTER TABLE messages ADD COLUMN changed_at INTEGER NOT NULL DEFAULT 0");
    db.query("UPDATE messages SET changed_at = ?").bind(1, static_cast<std::int64_t>(std::time(nullptr))).run();
}

// 2 -> 3: every folder carries the revision of its last change; each committed revision
// is a row of `revisions` (when, how many log entries); `changes` logs what each revision
// did to the messages of a folder (store/ChangeList.h), clustered by folder for the
// readers. `meta` holds the
// oldest revision the log still answers from (log_floor) and the highest message id ever
// given (message_high), so that no id is given twice. The upgrade is revision 1 and every
// folder starts at it; what was there before is not in the log, so a reader asking from
// before it is told to read everything (a store without messages has nothing to tell).
void addRevisionsAndLog(Database &db)
{
    db.exec("ALTER TABLE folders ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;"
            "CREATE TABLE revisions("
            "  revision INTEGER PRIMARY KEY,"
            "  at REAL NOT NULL,"
            "  entries INTEGER NOT NULL"
            ");"
            "CREATE TABLE changes("
            "  folder_id INTEGER NOT NULL,"
            "  revision INTEGER NOT NULL,"
            "  entries BLOB NOT NULL,"
            "  PRIMARY KEY(folder_id, revision)"
            ") WITHOUT ROWID;"
            "INSERT INTO revisions(revision, at, entries) VALUES(1, (julianday('now') - 2440587.5) * 86400.0, 0);"
            "INSERT INTO meta(key, value) SELECT 'log_floor', EXISTS (SELECT 1 FROM messages);"
            "INSERT INTO meta(key, value) SELECT 'message_high', coalesce(max(id), 0) FROM messages;");
}

// 3 -> 4: the change log packs one row per folder and revision. The first stores of
// version 3 logged one row per message and kind; that log is dropped for the packed one,
// and a reader asking from a revision before the upgrade is told to read everything
// (asking from the last revision itself still answers: nothing changed since).
void packChangeLog(Database &db)
{
    {
        auto q = db.query("SELECT count(*) FROM pragma_table_info('changes') WHERE name = 'message_id'");
        if (!q.step() || q.int64(0) == 0)
            return; // already packed
    }
    db.exec("DROP TABLE changes;"
            "CREATE TABLE changes("
            "  folder_id INTEGER NOT NULL,"
            "  revision INTEGER NOT NULL,"
            "  entries BLOB NOT NULL,"
            "  PRIMARY KEY(folder_id, revision)"
            ") WITHOUT ROWID;"
            "UPDATE meta SET value = (SELECT coalesce(max(revision), 1) FROM revisions) WHERE key = 'log_floor';");
}

const UpgradeStep kUpgradeSteps[] = {
    {1, &maskPrivateCopies},
    {1, &addMessageChangeTime},
    {2, &addRevisionsAndLog},
    {3, &packChangeLog},
};

void applyUpgradeSteps(Database &db, int from, int to)
{
    for (const UpgradeStep &step : kUpgradeSteps)
        if (step.from >= from && step.from < to)
            step.apply(db);
    db.exec("PRAGMA user_version = " + std::to_string(to));
}

// Runs the work in one write transaction; a failure rolls all of it back.
template <class F>
void inWriteTransaction(Database &db, F &&work)
{
    db.exec("BEGIN IMMEDIATE");
    try {
        work();
        db.exec("COMMIT");
    } catch (...) {
        if (db.inTransaction())
            db.exec("ROLLBACK");
        throw;
    }
}

} // namespace

void createSchema(Database &db, int version)
{
    inWriteTransaction(db, [&] {
        db.exec(kFirstVersion);
        db.query("INSERT INTO meta(key, value) VALUES('guid', ?)").bind(1, randomGuid()).run();
        applyUpgradeSteps(db, 1, version);
    });
}

void upgradeSchema(Database &db)
{
    if (schemaVersion(db) == SchemaVersion)
        return;
    inWriteTransaction(db, [&] {
        // Read again under the write lock: another program may have upgraded it meanwhile.
        const int version = schemaVersion(db);
        if (version == SchemaVersion)
            return;
        if (version < OldestUpgradableVersion || version > SchemaVersion)
            throw StoreError(Failure::NotAStore, SQLITE_NOTADB,
                             "the store has version " + std::to_string(version) + ", which this program cannot upgrade");
        applyUpgradeSteps(db, version, SchemaVersion);
    });
}

int schemaVersion(Database &db)
{
    auto q = db.query("PRAGMA user_version");
    return q.step() ? static_cast<int>(q.int64(0)) : 0;
}

std::string storeGuid(Database &db)
{
    auto q = db.query("SELECT value FROM meta WHERE key = 'guid'");
    if (!q.step())
        throw StoreError(Failure::NotAStore, SQLITE_CORRUPT, "the store has no identifier");
    return q.text(0);
}

} // namespace store
