// Schema: the tables of the server store and the layout a new server starts with.
//
// One SQLite file holds the whole server: the message stores (the public store and the
// users' mailboxes), their folder trees and messages, the address list, the profiles
// and what is shared to them, and the event bindings. The schema version lives in
// PRAGMA user_version; a file with another version is not opened.
#pragma once

#include "store/Database.h"

#include <cstdint>
#include <string>

namespace store {

inline constexpr int SchemaVersion = 1;

// Store kinds (stores.kind).
inline constexpr int PublicStore = 0;
inline constexpr int MailboxStore = 1;

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
// The store's identifier, part of every entry identifier it hands out.
std::string storeGuid(Database &db);

} // namespace store
