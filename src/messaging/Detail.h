// Internal to the object model: the state behind the handles, entry identifiers, the
// guard every public operation runs in, and the transaction batching of a session.
#pragma once

#include "core/Error.h"
#include "FaultInjection.h"
#include "Handles.h"
#include "Message.h"
#include "store/Database.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace messaging::faults {
// Called by the store layer before every INSERT, UPDATE or DELETE.
void noteWrite();
} // namespace messaging::faults

namespace messaging::detail {

// What an entry identifier names; part of the identifier, so an id of one kind never
// finds an object of another.
enum class IdKind : int { Store = 1, Folder = 2, Message = 3, AddressEntry = 4 };

std::string makeId(const std::string &guid, IdKind kind, std::int64_t rowId);
// The row id an identifier of that kind names in this store, or nullopt.
std::optional<std::int64_t> parseId(const std::string &guid, IdKind kind, std::string_view id);

// A list of texts in one column: each element as "<byte length>:<bytes>".
std::string encodeList(const std::vector<std::string> &items);
std::vector<std::string> decodeList(std::string_view text);

// Translates an engine failure into the object model's error.
Error translate(const store::DbError &e);
PropValue readValue(store::Query &q, int typeColumn, int valueColumn);
void bindValue(store::Query &q, int typeIndex, int valueIndex, const PropValue &value);

struct SessionState {
    std::filesystem::path path;
    std::unique_ptr<store::Database> db;
    std::string guid;
    std::string profileName;
    std::int64_t profileId = 0;
    std::int64_t ownerEntry = 0;
    // Folders seen to exist; the object model never removes a folder.
    std::unordered_set<std::int64_t> knownFolders;
    // The message the last enumeration step loaded, handed out by the iterator.
    std::shared_ptr<MessageState> prefetched;

    // Batching: one write transaction spans many operations.
    int writesInTransaction = 0;
    int writeDepth = 0;
    // Inside Session::beginGroup ... commitGroup: no batch is committed before the end.
    bool grouped = false;
    std::chrono::steady_clock::time_point transactionStart;

    ~SessionState();
    bool loggedOn() const { return db != nullptr; }
    store::Database &database() const { return *db; }
    // InvalidArgument when not logged on; commits a batch that has grown old.
    void enter();
    // Runs one write operation atomically inside the batch transaction. With
    // multiStatement it is wrapped in a savepoint, so a failure undoes all of it.
    void write(const std::function<void()> &operation, bool multiStatement);
    // Commits the open batch (durable: synced to disk).
    void commit(bool durable = false);
    // After an engine failure: how many saved changes of the open batch the engine
    // rolled back on its own (it does so on a full disk or an I/O error).
    int writesLostToRollback() noexcept;
    // Rolls the open batch back (a failure left something half done in it).
    void abandonBatch() noexcept;
    // Commits what was done before a failing operation; never throws.
    void commitAfterError() noexcept;
    // Commits, checkpoints and closes the store.
    void close();
    // The stores the profile sees, in position order.
    std::vector<std::int64_t> profileStores() const;
};

struct MessageRow {
    std::int64_t folder = 0;
    bool hidden = false;
    std::string subject;
    std::string body;
    std::int32_t sensitivity = 0;
    std::optional<std::vector<std::string>> categories;
    std::int32_t allDay = 0;
    std::optional<std::string> location;
    std::optional<double> start;
    std::optional<double> end;
    std::optional<std::string> stamp;
    std::int64_t changedAt = 0;   // UTC seconds of the last save; set by the store only
};

enum Column : unsigned {
    ColSubject = 1u << 0,
    ColBody = 1u << 1,
    ColSensitivity = 1u << 2,
    ColCategories = 1u << 3,
    ColAllDay = 1u << 4,
    ColLocation = 1u << 5,
    ColStart = 1u << 6,
    ColEnd = 1u << 7,
    ColStamp = 1u << 8,
};

struct MessageState {
    std::int64_t id = 0;      // 0 until a new message or copy is first saved
    bool loaded = false;      // row holds the saved columns
    MessageRow row;           // saved values (for a new message: its initial values)
    bool fieldsLoaded = false;
    std::map<std::uint32_t, PropValue> fields;
    unsigned dirty = 0;       // Column bits with a pending value in `pending`
    MessageRow pending;
    std::map<std::uint32_t, PropValue> pendingFields;
    std::set<std::uint32_t> deletedFields; // saved fields that Update removes
};

struct MessagesState {
    std::int64_t folder = 0;
    std::optional<std::string> filter;
    std::shared_ptr<const std::vector<std::int64_t>> ids;
};

// Loads the saved row; false when the message no longer exists.
bool loadRow(SessionState &s, MessageState &m);
void ensureLoaded(SessionState &s, MessageState &m);
void ensureFields(SessionState &s, MessageState &m);
// Saves the pending changes of a message (insert for a new one).
void saveMessage(SessionState &s, MessageState &m);
std::string messageLabel(const SessionState &s, const MessageState &m);
// "Store name/Folder/Subfolder" (the root folder left out), for descriptions.
std::string folderPath(SessionState &s, std::int64_t folderId);
std::string storeName(SessionState &s, std::int64_t storeId);
bool folderExists(SessionState &s, std::int64_t folderId);

// Runs one public operation: checks its fault switch and the logon, translates engine
// failures and commits what was done before any error leaves the object model.
template <class F>
auto guarded(const SessionPtr &session, std::string_view operation, F &&body) -> decltype(body())
{
    try {
        faults::check(operation);
        if (session)
            session->enter();
        return body();
    } catch (const Error &) {
        if (session)
            session->commitAfterError();
        throw;
    } catch (const store::DbError &e) {
        int lost = session ? session->writesLostToRollback() : 0;
        if (session)
            session->commitAfterError();
        Error error = translate(e);
        if (lost > 0)
            throw Error(error.number(), error.description() + " (the store undid the session's last " +
                                            std::to_string(lost) + " saved changes)");
        throw error;
    } catch (const std::bad_alloc &) {
        if (session)
            session->commitAfterError();
        throw Error(ErrorCode::StoreFailure, std::string(operation) + " failed: out of memory");
    }
}

} // namespace messaging::detail
