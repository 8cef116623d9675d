// PgEngine: the Engine on a PostgreSQL database, for stores that several machines use
// over the network. The statements it shares with the SQLite engine come from
// store/Sql.h; what is PostgreSQL's own (the schema, locks, transaction statements) is
// here and in PgSchema.
//
// Writers take turns: a write transaction begins by taking the store's writer lock (a
// transaction-level advisory lock) and holds it until it ends, as SQLite's write lock is
// held. Readers never wait. So two write transactions never run at once, and neither
// deadlocks nor serialization failures can arise between them; revisions and message
// ids are numbered without gaps or clashes. A writer waits for the lock at most
// LockWait, then fails as busy.
//
// While it holds the lock, nothing but its own writes changes the store: rows it has
// read stay as read, so writes whose outcome it knows already are deferred and sent in
// a pipeline, and the messages of a folder it walks are read ahead in blocks. Every
// other statement, a savepoint and the commit collect the deferred writes first.
//
// The change log of a transaction is kept in memory while it is open and written with
// its revision at commit; an operation undone leaves no log entry behind.
//
// Not thread-safe: one engine belongs to one thread.
#pragma once

#include "store/ChangeList.h"
#include "store/Engine.h"
#include "store/PgDatabase.h"

#include <map>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace store {

class PgEngine final : public Engine {
public:
    // Opens (or creates) the file; see openEngine().
    static std::unique_ptr<PgEngine> open(const std::string &uri, OpenMode mode);
    ~PgEngine() override;

    const std::string &guid() const override { return m_guid; }
    std::string location() const override { return m_db->location(); }

    void begin() override;
    void commit() override;
    void rollback() noexcept override;
    bool inTransaction() const override { return m_db->inTransaction() && !m_reading; }
    void savepoint() override;
    void releaseSavepoint() override;
    void rollbackToSavepoint() noexcept override;
    void sync() override;
    void tidy() noexcept override;
    void beginRead() override;
    void endRead() noexcept override;

    std::optional<Profile> profile(std::string_view name) override;
    std::vector<ProfileStoreRow> profileStores(const Profile &profile) override;
    std::optional<Id> profileStore(const Profile &profile, std::string_view name) override;
    bool profileSeesStore(const Profile &profile, Id store) override;
    std::optional<StoreRow> store(Id store) override;
    std::optional<Id> storeByName(std::string_view name) override;
    std::vector<Id> storesOfKind(StoreKind kind) override;

    std::optional<FolderRow> folder(Id folder) override;
    std::optional<Id> rootFolder(Id store) override;
    std::vector<Id> subfolders(Id parent) override;
    std::optional<Id> subfolder(Id parent, std::string_view name) override;
    Id addFolder(Id store, Id parent, std::string_view name) override;

    std::optional<MessageRow> message(Id message) override;
    Fields messageFields(Id message) override;
    std::vector<Id> folderMessages(Id folder) override;
    std::vector<Id> folderMessagesBySubject(Id folder, std::string_view prefix) override;
    Id addMessage(const MessageRow &row, const Fields &fields) override;
    bool updateMessage(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                       const FieldTags &removed) override;
    std::optional<MessagePlace> messagePlace(Id message) override;
    bool deleteMessage(Id message, std::optional<MessagePlace> known) override;

    bool boundFolder(Id folder) override;
    void saveBoundFolder(Id folder) override;
    std::vector<Id> folderBindings(Id folder) override;
    std::optional<BindingRow> binding(Id message) override;
    Id addBinding(Id folder, const BindingRow &row) override;
    bool updateBinding(Id folder, Id message, const BindingRow &row) override;
    bool setHandlerDataSaved(Id folder, Id message) override;

    std::vector<AddressListRow> addressLists() override;
    std::optional<Id> addressListByName(std::string_view name) override;
    std::optional<EntryRow> addressEntry(Id entry) override;
    std::vector<Id> addressEntries(Id list) override;
    std::optional<Id> addressEntryByName(Id list, std::string_view name) override;
    std::vector<Id> addressEntriesByPrefix(Id list, std::string_view prefix, int limit) override;
    std::optional<Value> entryField(Id entry, std::uint32_t tag) override;
    std::vector<std::uint32_t> entryFieldTags(Id entry) override;
    void setEntryField(Id entry, std::uint32_t tag, const Value &value) override;

    Id addAddressList(std::string_view name) override;
    Id addAddressEntry(Id list, std::string_view name, std::int32_t displayType) override;
    Id addStore(std::string_view name, StoreKind kind, Id ownerEntry) override;
    Id addProfile(std::string_view name, Id ownerEntry) override;
    void addShare(Id profile, Id store) override;
    void removeShare(Id profile, Id store) override;
    std::vector<UserRow> users(Id profile) override;
    std::vector<std::string> check() override;

    std::int64_t storeRevision() override;
    std::int64_t folderRevision(Id folder) override;
    FolderChanges changesSince(Id folder, std::int64_t revision) override;

    // The advisory lock every write transaction holds (the store's writer lock).
    static constexpr std::int64_t WriterLock = 0x4C41524B53505257; // "LARKSPRW"
    // How long a writer waits for the lock before failing as busy (as on SQLite).
    static constexpr int LockWaitSeconds = 10;
    // How long the change log reaches back at least, as on SQLite.
    static constexpr std::int64_t KeptEntries = 100000;
    static constexpr double KeptSeconds = 30 * 24 * 3600.0;

private:
    explicit PgEngine(std::unique_ptr<PgDatabase> db) : m_db(std::move(db)) {}
    void log(Id folder, Id message, ChangeKind kind) { m_log.push_back({folder, message, kind}); }
    void markWritten() { m_written = true; }
    // True while this connection holds the writer lock (a write transaction is open).
    bool holdsWriterLock() const { return m_db->inTransaction() && !m_reading; }
    void syncSavepoints() { m_db->setSavepointDepth(m_savepoints.size()); }
    // The direct paths (PgItems.cpp) behind the batching layer (PgBatching.cpp).
    std::optional<MessageRow> readMessage(Id message);
    std::optional<MessagePlace> readMessagePlace(Id message);
    Fields readMessageFields(Id message);
    bool deleteMessageNow(Id message);
    std::vector<Id> readFolderMessages(Id folder);
    std::vector<Id> readFolderMessagesBySubject(Id folder, std::string_view prefix);
    bool updateMessageNow(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                          const FieldTags &removed);
    // Reads the rows and fields of the walked messages around `at` into the cache.
    void readAhead(std::size_t at);
    // Reads where the walked messages around `at` are (a deletion by position needs no
    // more) into the cache.
    void readPlacesAhead(std::size_t at);
    // Forgets what was read ahead (an operation undone may have written any of it).
    void forgetReadAhead() noexcept;
    const MessageRow *cachedRow(Id message);
    void forgetCached(Id message);
    // Remembers a walk of the visible messages of `folder`, read at store revision `seen`
    // (-1: unknown), and where its members are.
    void rememberWalk(const std::vector<Id> &ids, Id folder, std::int64_t seen);
    // The store's revision a walk about to be read will see (-1 when not worth knowing).
    std::int64_t revisionForWalk();
    // A fresh message id above every id given before.
    Id nextMessageId();
    // The commit's own writes: the log, the revision, the folders' revisions.
    void writeRevision();
    // Forgets the open transaction and everything read ahead.
    void forgetTransaction() noexcept;
    // Forgets the open transaction but keeps what was read ahead (see m_knownRevision).
    void endTransaction() noexcept;
    std::int64_t metaNumber(const char *key);
    void trimLog();

    std::unique_ptr<PgDatabase> m_db;
    std::string m_guid;
    // The open transaction: what it logged, whether it wrote anything at all, where
    // each open savepoint began in the log.
    std::vector<LoggedChange> m_log;
    bool m_written = false;
    bool m_reading = false; // inside a read snapshot
    std::vector<std::size_t> m_savepoints;
    // A revision was committed since the last tidy (so the log may want trimming).
    bool m_committedRevisions = false;
    // The UPDATE of each combination of columns, made once.
    std::vector<std::string> m_updateSql = std::vector<std::string>(1u << ColumnCount);
    // What was read ahead while this connection held the writer lock, or (a walk's places)
    // just before: rows and fields of messages (a row nullopt: the message does not
    // exist). It holds the store as of revision m_knownRevision, kept so by this
    // connection's own writes; it is used only under the writer lock, and dropped when a
    // transaction begins at another revision (somebody else committed meanwhile) or ends
    // in a rollback. Every commit that writes raises the store's revision.
    std::unordered_map<Id, std::optional<MessageRow>> m_rows;
    std::unordered_map<Id, Fields> m_fields;
    // Where messages are, read ahead the same way for messages whose rows were not.
    std::unordered_map<Id, std::optional<MessagePlace>> m_places;
    // Messages whose rows this connection changed without reading them again.
    std::unordered_set<Id> m_changed;
    // The store's revision the read-ahead belongs to; -1 when it belongs to none.
    std::int64_t m_knownRevision = -1;
    // Outside a transaction: the read-ahead holds the store at m_knownRevision (the
    // last transaction ended by its commit, or a walk was read since).
    bool m_readAheadKept = false;
    // Rows and fields read ahead kept past a commit, at most.
    static constexpr std::size_t RowsKept = 4096;
    // Places of messages kept past a commit, at most.
    static constexpr std::size_t PlacesKept = 1u << 17;
    // The ids of the folder walked last (any snapshot of a folder's members), and where
    // each stands in it, so that the messages around one read are read with it.
    std::vector<Id> m_walk;
    // Writes gathered for the next flush, each kind sent as one statement then: new
    // messages, their fields, updates of columns only (by the set of columns written),
    // deletions of messages read ahead.
    std::vector<std::pair<Id, MessageRow>> m_pendingAdds;
    std::vector<std::tuple<Id, std::uint32_t, Value>> m_pendingFields;
    std::map<unsigned, std::vector<std::pair<Id, MessageRow>>> m_pendingUpdates;
    std::vector<Id> m_pendingDeletes;
    void queueAdd(Id id, const MessageRow &row);
    void queueField(Id id, std::uint32_t tag, const Value &value);
    void sendPending();
    // New and changed messages gathered since the last send; at SendAhead of them the next
    // such write sends them first, so that the server writes while the caller works on the
    // next ones. (Deletions cost the caller next to nothing: they wait for the flush.)
    std::size_t m_pendingItems = 0;
    void sendIfMany()
    {
        if (m_pendingItems >= SendAhead)
            m_db->push();
    }
    static constexpr std::size_t SendAhead = 128;
    std::unordered_map<Id, std::size_t> m_walkAt;
    // The directory as the open transaction read it ahead under the writer lock (see
    // PgDirectory.cpp): address entries with their fields and the first entry of each
    // name, the root folder of a store, a folder's children. Any write of the directory
    // or of folders forgets all of it.
    struct EntryAhead {
        std::optional<EntryRow> row; // nullopt: no such entry
        std::map<std::uint32_t, Value> fields;
    };
    std::unordered_map<Id, EntryAhead> m_entries;
    std::map<std::pair<Id, std::string>, Id> m_entryByName;
    std::unordered_map<Id, std::optional<Id>> m_roots;
    std::unordered_map<Id, std::vector<std::pair<Id, std::string>>> m_children;
    // The entries of the list walked last, and where each stands in it.
    std::vector<Id> m_entryWalk;
    std::unordered_map<Id, std::size_t> m_entryWalkAt;
    void readEntriesAhead(std::size_t at);
    const EntryAhead *cachedEntry(Id entry);
    void forgetDirectory() noexcept;
    Id m_messageHigh = 0;     // 0: not read in this transaction yet
    Id m_messageHighRead = 0; // as it was read
};

// For the statements both engines share (store/Directory.h, store/Items.h): a statement
// of the connection (prepared on the server at its first use), and whether the one just
// run changed a row.
inline PgQuery prepare(PgDatabase &db, const char *text)
{
    return db.query(text);
}
inline bool changed(PgDatabase &, PgQuery &q)
{
    return q.changes() > 0;
}

Value readValue(PgQuery &q, int typeColumn, int valueColumn);
void bindValue(PgQuery &q, int typeIndex, int valueIndex, const Value &value);

} // namespace store
