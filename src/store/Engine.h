// Engine: the storage engine's one typed interface. Every statement that reads or
// writes a store is made behind it; the object model above knows rows, never SQL.
//
// An Engine is one connection to one store: an SQLite file (the default) or a
// PostgreSQL database. It is opened with openEngine() and used by one thread.
//
// Reads return what the connection sees: everything committed, plus its own writes of
// the transaction it has open. A read of a row that does not exist returns nothing
// (std::nullopt, an empty list, false); only the engine's own failures throw, always as
// StoreError.
//
// Writes: each write method is atomic (all of its rows or none, also when it throws)
// and must be called inside a transaction (begin ... commit). Transactions belong to
// store::Batch, the one class that opens, commits and abandons them; nothing else calls
// begin, commit or rollback.
//
// Revisions and the change log: commit() raises the store's revision by one when the
// transaction wrote anything, and gives every folder whose messages or bindings it
// touched that revision; it logs one entry (folder, message, revision, kind) per message
// added, changed or deleted and per binding added, changed or removed. So "what changed
// in folder F since revision R" is read from the log, and a folder's revision is one read.
#pragma once

#include "store/Rows.h"
#include "store/StoreError.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace store {

class Env;

class Engine {
public:
    virtual ~Engine() = default;

    // The store's identifier (32 upper-case hex digits), part of every entry identifier.
    virtual const std::string &guid() const = 0;
    // Where the store lives (a file path), for messages.
    virtual std::string location() const = 0;

    // ---- transactions (for store::Batch only)
    // Starts a write transaction; other writers wait for the store until it ends.
    virtual void begin() = 0;
    // Commits it, with its revision and change log. On a failure the transaction is
    // rolled back whole and StoreError is thrown.
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
    // False also when the engine itself rolled the transaction back after a failure.
    virtual bool inTransaction() const = 0;
    // A savepoint inside the transaction, for an operation made of several writes.
    virtual void savepoint() = 0;
    virtual void releaseSavepoint() = 0;
    virtual void rollbackToSavepoint() noexcept = 0;
    // Makes everything committed so far durable on disk.
    virtual void sync() = 0;
    // Housekeeping when a session ends (trimming the change log, folding the
    // write-ahead log into the store file). Outside a transaction only; a failure of it
    // is no failure of the session and is not reported.
    virtual void tidy() noexcept = 0;

    // ---- read snapshots (for readers that must see one state across many reads)
    // Starts a snapshot: every read until endRead() sees the store as committed at this
    // call, whatever other connections commit meanwhile. Outside a transaction only;
    // nothing is written inside a snapshot, and inTransaction() stays false in it.
    virtual void beginRead() = 0;
    // Ends the snapshot (no-op without one).
    virtual void endRead() noexcept = 0;

    // ---- profiles and stores
    virtual std::optional<Profile> profile(std::string_view name) = 0;
    // The stores the profile sees in position order, each once at its first place: the
    // public store, the owner's mailbox, then each mailbox shared to the profile in the
    // order of sharing.
    virtual std::vector<ProfileStoreRow> profileStores(const Profile &profile) = 0;
    // One of the profile's stores by exact name.
    virtual std::optional<Id> profileStore(const Profile &profile, std::string_view name) = 0;
    virtual bool profileSeesStore(const Profile &profile, Id store) = 0;
    virtual std::optional<StoreRow> store(Id store) = 0;
    virtual std::optional<Id> storeByName(std::string_view name) = 0;
    virtual std::vector<Id> storesOfKind(StoreKind kind) = 0;

    // ---- folders
    virtual std::optional<FolderRow> folder(Id folder) = 0;
    virtual std::optional<Id> rootFolder(Id store) = 0;
    // Direct subfolders in position (creation) order.
    virtual std::vector<Id> subfolders(Id parent) = 0;
    // The first direct subfolder of exactly that name.
    virtual std::optional<Id> subfolder(Id parent, std::string_view name) = 0;
    // parent 0 makes the store's root folder.
    virtual Id addFolder(Id store, Id parent, std::string_view name) = 0;

    // ---- messages
    virtual std::optional<MessageRow> message(Id message) = 0;
    // Whether the message exists, and where (cheaper than reading it).
    virtual std::optional<MessagePlace> messagePlace(Id message) = 0;
    virtual Fields messageFields(Id message) = 0;
    // The folder's visible messages in position (creation) order; with a prefix only
    // those whose subject begins with it (bytewise, letter case significant).
    virtual std::vector<Id> folderMessages(Id folder) = 0;
    virtual std::vector<Id> folderMessagesBySubject(Id folder, std::string_view prefix) = 0;
    // A new message with its fields; its id is never one a deleted message had.
    virtual Id addMessage(const MessageRow &row, const Fields &fields) = 0;
    // Writes the `columns` of row with its change time, sets (adds or replaces) the given
    // fields and removes the `removed` ones; with nothing to change it only checks that
    // the message exists. false when it does not (then nothing is written). The row's
    // folder and hidden flag are the message's own (the change is logged there).
    virtual bool updateMessage(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                               const FieldTags &removed) = 0;
    // Deletes the message with its fields and binding; false when it does not exist.
    // `known` is where the caller already knows the message to be (saves a read).
    virtual bool deleteMessage(Id message, std::optional<MessagePlace> known) = 0;

    // ---- event bindings (a binding lives in a hidden message of its folder)
    virtual bool boundFolder(Id folder) = 0;
    virtual void saveBoundFolder(Id folder) = 0;
    // The binding messages of the folder, in creation order.
    virtual std::vector<Id> folderBindings(Id folder) = 0;
    virtual std::optional<BindingRow> binding(Id message) = 0;
    // A new binding and its hidden binding message (subject: the binding's name).
    virtual Id addBinding(Id folder, const BindingRow &row) = 0;
    // false when the binding (its message) does not exist. `folder` is the binding's own
    // (the change is logged there).
    virtual bool updateBinding(Id folder, Id message, const BindingRow &row) = 0;
    // Notes that the binding took its handler data from its message.
    virtual bool setHandlerDataSaved(Id folder, Id message) = 0;

    // ---- address lists and entries
    virtual std::vector<AddressListRow> addressLists() = 0;
    virtual std::optional<Id> addressListByName(std::string_view name) = 0;
    virtual std::optional<EntryRow> addressEntry(Id entry) = 0;
    // A list's entries by display name ignoring ASCII letter case, ties in creation order.
    virtual std::vector<Id> addressEntries(Id list) = 0;
    // The first entry (creation order) of exactly that name; list 0: of any list.
    virtual std::optional<Id> addressEntryByName(Id list, std::string_view name) = 0;
    // Up to `limit` entries whose name begins with the prefix (bytewise).
    virtual std::vector<Id> addressEntriesByPrefix(Id list, std::string_view prefix, int limit) = 0;
    virtual std::optional<Value> entryField(Id entry, std::uint32_t tag) = 0;
    // Tags of the entry's fields, ascending.
    virtual std::vector<std::uint32_t> entryFieldTags(Id entry) = 0;
    virtual void setEntryField(Id entry, std::uint32_t tag, const Value &value) = 0;

    // ---- administration
    virtual Id addAddressList(std::string_view name) = 0;
    virtual Id addAddressEntry(Id list, std::string_view name, std::int32_t displayType) = 0;
    virtual Id addStore(std::string_view name, StoreKind kind, Id ownerEntry) = 0;
    virtual Id addProfile(std::string_view name, Id ownerEntry) = 0;
    // Shares the store to the profile (after every store shared before); no-op when it is.
    virtual void addShare(Id profile, Id store) = 0;
    virtual void removeShare(Id profile, Id store) = 0;
    // Every address entry in address-list order, seen from the profile.
    virtual std::vector<UserRow> users(Id profile) = 0;
    // The engine's own integrity check and the store's invariants: one line per fault.
    virtual std::vector<std::string> check() = 0;

    // ---- revisions and the change log (committed state)
    virtual std::int64_t storeRevision() = 0;
    virtual std::int64_t folderRevision(Id folder) = 0;
    virtual FolderChanges changesSince(Id folder, std::int64_t revision) = 0;
};

// How a store is opened.
enum class OpenMode {
    Existing, // must exist and be a store; a store of an older version is upgraded in place
    Create,   // makes a new store with the schema (an empty file may already be there)
};

// Opens the store at `location` through the current Env (Env::current()): a PostgreSQL
// database when the location is a "postgresql://" (or "postgres://") URI in libpq's own
// syntax, else an SQLite file. Throws StoreError: NotAStore for a file or database that
// is not a store of this program (OpenMode::Create: a database that already holds
// tables), IoError when it cannot be opened or reached.
std::unique_ptr<Engine> openEngine(const std::filesystem::path &location, OpenMode mode);

// A lock of a store on a server, named by a number and kept by the server for one
// connection of its own (a session-level advisory lock): the server lets go of it when
// its holder releases it or its connection ends, however the holder ends.
class ServerLock {
public:
    virtual ~ServerLock() = default; // lets go of the lock when it is held
    // Takes the lock when nobody holds it: true when it is held now. Never waits.
    virtual bool tryTake() = 0;
};
// Connects to the server of the store at `location` (a server location) for the lock
// `key`. Throws StoreError when the server cannot be reached.
std::unique_ptr<ServerLock> openServerLock(const std::filesystem::path &location, std::int64_t key);

// True when the location names a database on a PostgreSQL server rather than a file.
bool isServerLocation(std::string_view location);

// Removes the store at `location`: a file with its journal files, or the tables of a
// store in a database (the database stays). Nothing happens where there is no store.
void removeStore(const std::filesystem::path &location);

} // namespace store
