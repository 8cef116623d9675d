// Sql: the text of every statement the engines share, in one place.
//
// These statements are plain SQL that SQLite and PostgreSQL both read: parameters are
// "?" (an engine numbering them differently rewrites "?" to "$1", "$2", ... in order;
// "?<n>" names parameter n), "end" is quoted (a keyword of PostgreSQL), inserts that must not fail on a duplicate use
// "ON CONFLICT ... DO NOTHING/UPDATE", the ids of new rows of administration come back
// through "RETURNING" (the statements of the copy and delete loops do without it: SQLite
// builds a temporary table at every run of such a statement; new messages get their id
// from the engine), and text compares bytewise (PostgreSQL: columns of the "C"
// collation). What only one engine understands (pragmas, the schema's DDL, its
// transaction statements) stays in that engine.
#pragma once

#include <string>

namespace store::sql {

// ---- profiles and stores
inline constexpr const char *Profile = "SELECT id, owner_entry FROM profiles WHERE name = ?";
inline constexpr const char *StoresOfKind = "SELECT id FROM stores WHERE kind = ? ORDER BY id";
// The profile's stores with their names, in three groups: the public stores, the owner's
// mailboxes, the shared ones in the order of sharing.
inline constexpr const char *NamedStoresOfKind = "SELECT id, name FROM stores WHERE kind = ? ORDER BY id";
inline constexpr const char *NamedOwnedStores =
    "SELECT id, name FROM stores WHERE kind = ? AND owner_entry = ? ORDER BY id";
// The shares are read in their own order (the unary + keeps the (profile, store) index
// out, which would need a sort of every row by seq afterwards).
inline constexpr const char *NamedSharedStores =
    "SELECT s.id, s.name FROM shares sh JOIN stores s ON s.id = sh.store_id WHERE +sh.profile_id = ? ORDER BY sh.seq";
// ?1 name, ?2 public kind, ?3 mailbox kind, ?4 owner entry, ?5 profile
inline constexpr const char *ProfileStoreByName =
    "SELECT s.id FROM stores s WHERE s.name = ?1 AND (s.kind = ?2 OR (s.kind = ?3 AND s.owner_entry = ?4) "
    "OR EXISTS (SELECT 1 FROM shares sh WHERE sh.store_id = s.id AND sh.profile_id = ?5))";
// ?1 store, ?2 public kind, ?3 mailbox kind, ?4 owner entry, ?5 profile
inline constexpr const char *ProfileSeesStore =
    "SELECT 1 FROM stores s WHERE s.id = ?1 AND (s.kind = ?2 OR (s.kind = ?3 AND s.owner_entry = ?4) "
    "OR EXISTS (SELECT 1 FROM shares sh WHERE sh.store_id = s.id AND sh.profile_id = ?5))";
inline constexpr const char *Store = "SELECT name, kind, owner_entry FROM stores WHERE id = ?";
inline constexpr const char *StoreByName = "SELECT id FROM stores WHERE name = ?";
inline constexpr const char *AddStore = "INSERT INTO stores(name, kind, owner_entry) VALUES(?, ?, ?) RETURNING id";
inline constexpr const char *AddProfile = "INSERT INTO profiles(name, owner_entry) VALUES(?, ?) RETURNING id";
inline constexpr const char *AddShare =
    "INSERT INTO shares(profile_id, store_id) VALUES(?, ?) ON CONFLICT(profile_id, store_id) DO NOTHING";
inline constexpr const char *RemoveShare = "DELETE FROM shares WHERE profile_id = ? AND store_id = ?";

// ---- folders
inline constexpr const char *Folder = "SELECT store_id, parent_id, name FROM folders WHERE id = ?";
inline constexpr const char *RootFolder =
    "SELECT id FROM folders WHERE store_id = ? AND parent_id IS NULL ORDER BY id LIMIT 1";
inline constexpr const char *Subfolders = "SELECT id FROM folders WHERE parent_id = ? ORDER BY id";
inline constexpr const char *Subfolder =
    "SELECT id FROM folders WHERE parent_id = ? AND name = ? ORDER BY id LIMIT 1";
inline constexpr const char *AddFolder =
    "INSERT INTO folders(store_id, parent_id, name) VALUES(?, ?, ?) RETURNING id";

// ---- messages
inline constexpr const char *Message = "SELECT folder_id, hidden, subject, body, sensitivity, categories, all_day, "
                                       "location, start, \"end\", stamp, changed_at FROM messages WHERE id = ?";
inline constexpr const char *MessagePlace = "SELECT folder_id, hidden FROM messages WHERE id = ?";
inline constexpr const char *MessageFields = "SELECT tag, type, value FROM message_fields WHERE message_id = ?";
inline constexpr const char *FolderMessages =
    "SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 ORDER BY id";
// A range on the subject index: ?2 <= subject < ?3.
inline constexpr const char *FolderMessagesInRange =
    "SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 AND subject >= ? AND subject < ? ORDER BY id";
inline constexpr const char *FolderMessagesFrom =
    "SELECT id, subject FROM messages WHERE folder_id = ? AND hidden = 0 AND subject >= ? ORDER BY id";
inline constexpr const char *AddMessage =
    "INSERT INTO messages(id, folder_id, hidden, subject, body, sensitivity, categories, all_day, location, start, "
    "\"end\", stamp, changed_at) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char *AddMessageField =
    "INSERT INTO message_fields(message_id, tag, type, value) VALUES(?, ?, ?, ?)";
inline constexpr const char *SetMessageField =
    "INSERT INTO message_fields(message_id, tag, type, value) VALUES(?, ?, ?, ?) "
    "ON CONFLICT(message_id, tag) DO UPDATE SET type = excluded.type, value = excluded.value";
inline constexpr const char *RemoveMessageField = "DELETE FROM message_fields WHERE message_id = ? AND tag = ?";
inline constexpr const char *DeleteMessage = "DELETE FROM messages WHERE id = ?";
// "UPDATE messages SET <the columns>, changed_at = ?11 WHERE id = ?10": column bit b is
// parameter b + 1.
std::string updateMessage(unsigned columns);

// ---- bindings
inline constexpr const char *BoundFolder = "SELECT 1 FROM bound_folders WHERE folder_id = ?";
inline constexpr const char *SaveBoundFolder =
    "INSERT INTO bound_folders(folder_id) VALUES(?) ON CONFLICT(folder_id) DO NOTHING";
inline constexpr const char *FolderBindings = "SELECT b.message_id FROM bindings b JOIN messages m ON m.id = "
                                              "b.message_id WHERE m.folder_id = ? ORDER BY b.message_id";
inline constexpr const char *Binding =
    "SELECT name, active, event_mask, handler_class FROM bindings WHERE message_id = ?";
inline constexpr const char *AddBindingMessage =
    "INSERT INTO messages(id, folder_id, hidden, subject) VALUES(?, ?, 1, ?)";
inline constexpr const char *AddBinding =
    "INSERT INTO bindings(message_id, name, active, event_mask, handler_class) VALUES(?, ?, ?, ?, ?)";
inline constexpr const char *UpdateBinding =
    "UPDATE bindings SET name = ?, active = ?, event_mask = ?, handler_class = ? WHERE message_id = ?";
inline constexpr const char *SetHandlerDataSaved = "UPDATE bindings SET custom_saved = 1 WHERE message_id = ?";

// ---- address lists and entries
inline constexpr const char *AddressLists = "SELECT id, name FROM address_lists ORDER BY id";
inline constexpr const char *AddressListByName = "SELECT id FROM address_lists WHERE name = ?";
inline constexpr const char *AddAddressList = "INSERT INTO address_lists(name) VALUES(?) RETURNING id";
inline constexpr const char *AddressEntry = "SELECT list_id, name, display_type FROM address_entries WHERE id = ?";
// lower() folds ASCII letters only, as the order promises.
inline constexpr const char *AddressEntries =
    "SELECT id FROM address_entries WHERE list_id = ? ORDER BY lower(name), id";
inline constexpr const char *AddressEntryByName =
    "SELECT id FROM address_entries WHERE list_id = ? AND name = ? ORDER BY id LIMIT 1";
inline constexpr const char *AnyAddressEntryByName =
    "SELECT id FROM address_entries WHERE name = ? ORDER BY id LIMIT 1";
inline constexpr const char *AddressEntriesInRange =
    "SELECT id FROM address_entries WHERE list_id = ? AND name >= ? AND name < ? ORDER BY name, id LIMIT ?";
inline constexpr const char *AddressEntriesFrom =
    "SELECT id, name FROM address_entries WHERE list_id = ? AND name >= ? ORDER BY name, id";
inline constexpr const char *AddAddressEntry =
    "INSERT INTO address_entries(list_id, name, display_type) VALUES(?, ?, ?) RETURNING id";
inline constexpr const char *EntryField = "SELECT type, value FROM entry_fields WHERE entry_id = ? AND tag = ?";
inline constexpr const char *EntryFieldTags = "SELECT tag FROM entry_fields WHERE entry_id = ? ORDER BY tag";
inline constexpr const char *SetEntryField =
    "INSERT INTO entry_fields(entry_id, tag, type, value) VALUES(?, ?, ?, ?) "
    "ON CONFLICT(entry_id, tag) DO UPDATE SET type = excluded.type, value = excluded.value";
// ?1 owner tag, ?2 mailbox kind, ?3 profile
inline constexpr const char *Users =
    "SELECT e.id, e.name, e.display_type, "
    "  (SELECT value FROM entry_fields f WHERE f.entry_id = e.id AND f.tag = ?1), "
    "  (SELECT name FROM stores s WHERE s.owner_entry = e.id AND s.kind = ?2 ORDER BY s.id LIMIT 1), "
    "  (SELECT count(*) FROM stores s JOIN shares sh ON sh.store_id = s.id "
    "     WHERE s.owner_entry = e.id AND sh.profile_id = ?3), "
    "  (SELECT count(*) FROM profiles p WHERE p.id = ?3 AND p.owner_entry = e.id) "
    "FROM address_entries e ORDER BY lower(e.name), e.id";

// ---- revisions and the change log
inline constexpr const char *StoreRevision = "SELECT coalesce(max(revision), 0) FROM revisions";
inline constexpr const char *FolderRevision = "SELECT revision FROM folders WHERE id = ?";
inline constexpr const char *AddRevision = "INSERT INTO revisions(revision, at, entries) VALUES(?, ?, ?)";
inline constexpr const char *RaiseFolderRevision = "UPDATE folders SET revision = ? WHERE id = ?";
// One row per folder and revision; `entries` packed as store/ChangeList.h says.
inline constexpr const char *LogChanges = "INSERT INTO changes(folder_id, revision, entries) VALUES(?, ?, ?)";
inline constexpr const char *ChangesSince =
    "SELECT revision, entries FROM changes WHERE folder_id = ? AND revision > ? ORDER BY revision";
inline constexpr const char *Meta = "SELECT value FROM meta WHERE key = ?";
inline constexpr const char *SetMeta =
    "INSERT INTO meta(key, value) VALUES(?, ?) ON CONFLICT(key) DO UPDATE SET value = excluded.value";
inline constexpr const char *HighestMessage = "SELECT coalesce(max(id), 0) FROM messages";
inline constexpr const char *LoggedEntries = "SELECT coalesce(sum(entries), 0) FROM revisions";
// The oldest revision to keep: the one at which the newest revisions hold ?1 entries
// (0 when they all hold fewer), or the oldest committed at or after ?2 (seconds since
// 1970), whichever is older.
inline constexpr const char *OldestKept =
    "SELECT CASE WHEN by_count < by_age THEN by_count ELSE by_age END FROM (SELECT "
    "coalesce((SELECT revision FROM (SELECT revision, sum(entries) OVER (ORDER BY revision DESC) AS total "
    "FROM revisions) AS counted WHERE total >= ?1 ORDER BY revision DESC LIMIT 1), 0) AS by_count, "
    "coalesce((SELECT min(revision) FROM revisions WHERE at >= ?2), 9223372036854775807) AS by_age) AS kept";
inline constexpr const char *TrimChanges = "DELETE FROM changes WHERE revision < ?";
inline constexpr const char *TrimRevisions = "DELETE FROM revisions WHERE revision < ?";

// ---- the store's own invariants: each query yields one row per fault (its first
// column names the culprit); the counts must come out as given.
struct Invariant {
    const char *query;
    const char *fault;
};
inline constexpr Invariant InvariantsNone[] = {
    {"SELECT s.name FROM stores s WHERE (SELECT count(*) FROM folders f WHERE f.store_id = s.id "
     "AND f.parent_id IS NULL) <> 1",
     "store without exactly one root folder"},
    {"SELECT f.name FROM folders f JOIN folders p ON p.id = f.parent_id WHERE p.store_id <> f.store_id",
     "folder in another store than its parent"},
    {"SELECT s.name FROM stores s WHERE s.kind = 1 AND NOT EXISTS (SELECT 1 FROM folders r "
     "JOIN folders c ON c.parent_id = r.id WHERE r.store_id = s.id AND r.parent_id IS NULL AND c.name = 'Calendar')",
     "mailbox without a \"Calendar\" folder"},
    {"SELECT s.name FROM stores s WHERE s.kind = 1 AND s.name <> 'Mailbox - ' || "
     "coalesce((SELECT e.name FROM address_entries e WHERE e.id = s.owner_entry), '')",
     "mailbox whose name does not match its owner"},
    {"SELECT m.id FROM messages m WHERE m.hidden = 1 AND NOT EXISTS "
     "(SELECT 1 FROM bindings b WHERE b.message_id = m.id)",
     "hidden message that holds no binding"},
    {"SELECT b.message_id FROM bindings b JOIN messages m ON m.id = b.message_id WHERE m.hidden = 0",
     "binding held by a visible message"},
    {"SELECT f.name FROM folders f WHERE f.revision > (SELECT coalesce(max(revision), 0) FROM revisions)",
     "folder whose revision is newer than the store's"},
};
inline constexpr Invariant InvariantsCount1[] = {
    {"SELECT count(*) FROM stores WHERE kind = 0", "the server must hold exactly one public store"},
    {"SELECT count(*) FROM address_lists WHERE name = 'Global Address List'",
     "the server must hold the address list \"Global Address List\""},
    {"SELECT count(*) FROM profiles WHERE name = 'Administrator'",
     "the server must hold the profile \"Administrator\""},
};
inline constexpr const char *MessageCategories = "SELECT id, categories FROM messages WHERE categories IS NOT NULL";
// Every calendar action walks to the shared calendar (core/StoreLayout.h): the public
// store's root, its subfolder at position ?2 (counted from 0), in that the folder named ?1.
inline constexpr const char *SharedCalendarFound =
    "SELECT EXISTS (SELECT 1 FROM folders c WHERE c.name = ?1 AND "
    "c.parent_id = (SELECT id FROM folders WHERE parent_id = (SELECT r.id FROM folders r "
    "JOIN stores s ON s.id = r.store_id WHERE s.kind = 0 AND r.parent_id IS NULL "
    "ORDER BY r.id LIMIT 1) ORDER BY id LIMIT 1 OFFSET ?2))";

} // namespace store::sql
