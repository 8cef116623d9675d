#include "store/Schema.h"

#include <random>

namespace store {

namespace {

const char *const kSchema = R"SQL(
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

// Version 2: every folder carries the revision of its last change; each committed
// revision is a row of `revisions` (when, how many log entries); `changes` logs what each
// revision did to the messages of a folder, clustered by folder for the readers.
// `meta` holds the oldest revision the log still answers from (log_floor) and the
// highest message id ever given (message_high), so that no id is given twice.
const char *const kRevisions = R"SQL(
ALTER TABLE folders ADD COLUMN revision INTEGER NOT NULL DEFAULT 0;
CREATE TABLE revisions(
  revision INTEGER PRIMARY KEY,
  at REAL NOT NULL,
  entries INTEGER NOT NULL
);
CREATE TABLE changes(
  folder_id INTEGER NOT NULL,
  revision INTEGER NOT NULL,
  message_id INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  PRIMARY KEY(folder_id, revision, message_id, kind)
) WITHOUT ROWID;
)SQL";

// Version 1 to 2: what was there before the log began is not in it. The upgrade is
// revision 1, every folder starts at it, and a reader asking for anything older is told
// to read everything.
void upgradeTo2(Database &db)
{
    db.exec(kRevisions);
    db.exec("INSERT INTO revisions(revision, at, entries) VALUES(1, (julianday('now') - 2440587.5) * 86400.0, 0);"
            "UPDATE folders SET revision = 1;"
            "INSERT INTO meta(key, value) VALUES('log_floor', '1');"
            "INSERT INTO meta(key, value) SELECT 'message_high', coalesce(max(id), 0) FROM messages;");
}

struct Upgrade {
    int from;
    void (*apply)(Database &db);
};
const Upgrade kUpgrades[] = {{1, upgradeTo2}};

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

} // namespace

void createSchema(Database &db)
{
    db.exec("BEGIN IMMEDIATE");
    try {
        db.exec(kSchema);
        db.exec(kRevisions);
        db.query("INSERT INTO meta(key, value) VALUES('guid', ?)").bind(1, randomGuid()).run();
        db.exec("INSERT INTO meta(key, value) VALUES('log_floor', '0'), ('message_high', '0')");
        db.exec("PRAGMA user_version = " + std::to_string(SchemaVersion));
        db.exec("COMMIT");
    } catch (...) {
        if (db.inTransaction())
            db.exec("ROLLBACK");
        throw;
    }
}

int schemaVersion(Database &db)
{
    auto q = db.query("PRAGMA user_version");
    return q.step() ? static_cast<int>(q.int64(0)) : 0;
}

void upgradeSchema(Database &db)
{
    for (const Upgrade &step : kUpgrades) {
        if (schemaVersion(db) != step.from)
            continue;
        db.exec("BEGIN IMMEDIATE");
        try {
            // Another process may have taken this step while this one waited.
            if (schemaVersion(db) == step.from) {
                step.apply(db);
                db.exec("PRAGMA user_version = " + std::to_string(step.from + 1));
            }
            db.exec("COMMIT");
        } catch (...) {
            if (db.inTransaction())
                db.exec("ROLLBACK");
            throw;
        }
    }
    if (schemaVersion(db) != SchemaVersion)
        throw StoreError(Failure::NotAStore, 26, "\"" + db.path().string() + "\" is not a store of this program");
}

std::string storeGuid(Database &db)
{
    auto q = db.query("SELECT value FROM meta WHERE key = 'guid'");
    if (!q.step())
        throw StoreError(Failure::NotAStore, 11, "the store has no identifier");
    return q.text(0);
}

} // namespace store
