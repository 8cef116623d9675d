// PgSchema: the tables of a store in a PostgreSQL database.
//
// The tables are those of an SQLite store of the current version, with PostgreSQL's
// types: row ids are bigint, texts compare bytewise (the "C" collation), field values are
// kept as text beside their type. The schema version and the store's identifier live in
// the table meta. A store is made only in a database that holds no tables at all, so
// nothing of ours is ever mixed with somebody else's tables.
#pragma once

#include "store/PgDatabase.h"

#include <cstdint>
#include <string>

namespace store {

// The layout's version, kept in meta as schema_version. The first (4, as the SQLite
// layout of its day) logged one row per message and kind; 5 packs the change log as the
// file engine does.
inline constexpr int FirstPgSchemaVersion = 4;
inline constexpr int PgSchemaVersion = 5;

// Creates the schema in one transaction, holding the writer lock. Throws
// StoreError(NotAStore) when the database already holds tables (a store among them, or
// anything else).
void createPgSchema(PgDatabase &db, std::int64_t writerLock);
// The schema version of the store in the database; 0 when it holds none.
int pgSchemaVersion(PgDatabase &db);
// Brings a store of the first version to the current one, in one transaction holding
// the writer lock; nothing when another program did it first.
void upgradePgSchema(PgDatabase &db, std::int64_t writerLock);
// Drops every table of the store (inside the caller's transaction).
void dropPgSchema(PgDatabase &db);
std::string pgStoreGuid(PgDatabase &db);

} // namespace store
