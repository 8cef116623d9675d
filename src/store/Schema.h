// Schema: the tables of an SQLite store, and how a store of an older version is brought
// up to this one.
//
// One SQLite file holds the whole server: the message stores (the public store and the
// users' mailboxes), their folder trees and messages, the address list, the profiles
// and what is shared to them, the event bindings, the revisions and the change log. The
// schema version lives in PRAGMA user_version. A file of an older version is upgraded in
// place when it is opened (one transaction per version step); a file of a newer version,
// or one that is no store, is not opened.
#pragma once

#include "store/Database.h"

#include <cstdint>
#include <string>

namespace store {

// 1: the first stores. 2: folder revisions, the revisions and the change log.
inline constexpr int SchemaVersion = 2;

// Field value types (message_fields.type, entry_fields.type).
inline constexpr int FieldText = 0;
inline constexpr int FieldInteger = 1;
inline constexpr int FieldReal = 2;
inline constexpr int FieldBool = 3;

// Creates every table and index in an empty database and records the version and a
// fresh random store identifier (32 upper-case hex digits).
void createSchema(Database &db);
// The schema version of an open database (0 for a file that is not a store).
int schemaVersion(Database &db);
// Upgrades a store of an older version to SchemaVersion. Safe against another process
// doing the same at once: each step checks the version inside its own transaction.
// Throws StoreError(NotAStore) for a file of no known version.
void upgradeSchema(Database &db);
// The store's identifier, part of every entry identifier it hands out.
std::string storeGuid(Database &db);

} // namespace store
