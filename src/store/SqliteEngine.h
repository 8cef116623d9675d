// SqliteEngine: the Engine on one SQLite file (WAL journal, foreign keys on, a busy
// timeout). The statements it shares with other engines come from store/Sql.h; what is
// SQLite's own (pragmas, the schema, transaction statements) is here and in Schema.
//
// The change log of a transaction is kept in memory while it is open and written with
// its revision at commit, so an operation costs no extra statement; an operation undone
// (a savepoint rolled back, a write that failed) leaves no log entry behind.
//
// Not thread-safe: one engine belongs to one thread.
#pragma once

#include "store/ChangeList.h"
#include "store/Database.h"
#include "store/Engine.h"

#include <memory>
#include <vector>

namespace store {

class SqliteEngine final : public Engine {
public:
    // Opens (or creates) the file; see openEngine().
    static std::unique_ptr<SqliteEngine> open(const std::filesystem::path &path, OpenMode mode);
    ~SqliteEngine() override;

    const std::string &guid() const override { return m_guid; }
    std::string location() const override { return m_db->path().string(); }

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
    std::optional<MessagePlace> messagePlace(Id message) override;
    Fields messageFields(Id message) override;
    std::vector<Id> folderMessages(Id folder) override;
    std::vector<Id> folderMessagesBySubject(Id folder, std::string_view prefix) override;
    Id addMessage(const MessageRow &row, const Fields &fields) override;
    bool updateMessage(Id message, unsigned columns, const MessageRow &row, const Fields &fields,
                       const FieldTags &removed) override;
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

    // How long the change log reaches back at least: both are kept.
    static constexpr std::int64_t KeptEntries = 100000;
    static constexpr double KeptSeconds = 30 * 24 * 3600.0;

private:
    explicit SqliteEngine(std::unique_ptr<Database> db) : m_db(std::move(db)) {}
    void log(Id folder, Id message, ChangeKind kind) { m_log.push_back({folder, message, kind}); }
    void markWritten() { m_written = true; }
    // A fresh message id above every id given before.
    Id nextMessageId();
    // The commit's own writes: the log, the revision, the folders' revisions.
    void writeRevision();
    void forgetTransaction() noexcept;
    std::int64_t metaNumber(const char *key);
    void trimLog();

    std::unique_ptr<Database> m_db;
    std::string m_guid;
    // The open transaction: what it logged, whether it wrote anything at all, where
    // each open savepoint began in the log.
    std::vector<LoggedChange> m_log;
    bool m_written = false;
    // A read snapshot is open (a read transaction, never a write one).
    bool m_reading = false;
    std::vector<std::size_t> m_savepoints;
    // A revision was committed since the last tidy (so the log may want trimming).
    bool m_committedRevisions = false;
    // The UPDATE of each combination of columns, made once.
    std::vector<std::string> m_updateSql = std::vector<std::string>(1u << ColumnCount);
    Id m_messageHigh = 0;     // 0: not read in this transaction yet
    Id m_messageHighRead = 0; // as it was read
};

// For the statements both engines share (store/Directory.h, store/Items.h): a statement
// of the connection (prepared once and kept), and whether the one just run changed a row.
inline Query prepare(Database &db, const char *text)
{
    return db.statement(text);
}
inline bool changed(Database &db, Query &)
{
    return db.changes() > 0;
}

// Reads column `valueColumn` as a field value of the type in `typeColumn`.
Value readValue(Query &q, int typeColumn, int valueColumn);
// Binds a field value; a text is bound without a copy (see Query::bindView).
void bindValue(Query &q, int typeIndex, int valueIndex, const Value &value);

} // namespace store
