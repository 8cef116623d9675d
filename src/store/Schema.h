// Schema: the tables of an SQLite store, and how a store of an older version is brought
// up to this one.
//
// One SQLite file holds the whole server: the message stores (the public store and the
// users' mailboxes), their folder trees and messages, the address list, the profiles
// and what is shared to them, the event bindings, the revisions and the change log. The
// schema version lives in PRAGMA user_version. A file of an older version that this
// program can upgrade is upgraded in place when the engine opens it; any other version is
// not opened.
#pragma once

#include "store/Database.h"

#include <cstdint>
#include <string>

namespace store {

// 1: the first stores. 2: private copies masked, the change time of messages. 3: the
// revisions of the store and its folders, the change log. 4: the change log packed, one
// row per folder and revision.
inline constexpr int SchemaVersion = 4;
// The oldest version the engine upgrades.
inline constexpr int OldestUpgradableVersion = 1;

// Field value types (message_fields.type, entry_fields.type).
inline constexpr int FieldText = 0;
inline constexpr int FieldInteger = 1;
inline constexpr int FieldReal = 2;
inline constexpr int FieldBool = 3;

// Creates every table and index in an empty database and records the version and a
// fresh random store identifier (32 upper-case hex digits). A new store is made as the
// first version was and then upgraded, so new and upgraded stores are alike; `version`
// stops short of the current one (to make the files that upgrades start from).
void createSchema(Database &db, int version = SchemaVersion);
// Upgrades an open store of an older version to SchemaVersion in place, all steps in one
// transaction (a failure leaves the file as it was); nothing to do when it is there
// already. Safe against another process doing the same at once. Throws StoreError
// (NotAStore for a version it cannot upgrade).
void upgradeSchema(Database &db);
// The schema version of an open database (0 for a file that is not a store).
int schemaVersion(Database &db);
// The store's identifier, part of every entry identifier it hands out.
std::string storeGuid(Database &db);

} // namespace store
