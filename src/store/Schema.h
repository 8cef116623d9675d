// Schema: the tables of the server store and the layout a new server starts with.
//
// One SQLite file holds the whole server: the message stores (the public store and the
// users' mailboxes), their folder trees and messages, the address list, the profiles
// and what is shared to them, and the event bindings. The schema version lives in
// PRAGMA user_version. A file of an older version that this program can upgrade is
// upgraded in place when it is opened (openStore); any other version is not opened.
#pragma once

#include "store/Database.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace store {

inline constexpr int SchemaVersion = 2;
// The oldest version openStore upgrades.
inline constexpr int OldestUpgradableVersion = 1;

// Store kinds (stores.kind).
inline constexpr int PublicStore = 0;
inline constexpr int MailboxStore = 1;

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
// Opens an existing store file for reading and writing, first upgrading a file of an
// older version in place (all steps in one transaction: a failure leaves the file as it
// was). Throws DbError like Database::open, or when the upgrade fails.
std::unique_ptr<Database> openStore(const std::filesystem::path &path);
// Upgrades an open store to SchemaVersion; nothing to do when it is there already.
void upgradeSchema(Database &db);
// The schema version of an open database (0 for a file that is not a store).
int schemaVersion(Database &db);
// The store's identifier, part of every entry identifier it hands out.
std::string storeGuid(Database &db);

} // namespace store
