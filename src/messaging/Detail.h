// Internal to the object model: the state behind the handles, entry identifiers, the
// guard every public operation runs in, and the transaction batching of a session.
#pragma once

#include "core/Error.h"
#include "FaultInjection.h"
#include "Handles.h"
#include "Message.h"
#include "store/Batch.h"
#include "store/Engine.h"

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

namespace messaging::detail {

// What an entry identifier names; part of the identifier, so an id of one kind never
// finds an object of another.
enum class IdKind : int { Store = 1, Folder = 2, Message = 3, AddressEntry = 4 };

std::string makeId(const std::string &guid, IdKind kind, std::int64_t rowId);
// The row id an identifier of that kind names in this store, or nullopt.
std::optional<std::int64_t> parseId(const std::string &guid, IdKind kind, std::string_view id);

// Translates an engine failure into the object model's error.
Error translate(const store::StoreError &e);

struct SessionState {
    std::filesystem::path path;
    std::unique_ptr<store::Engine> engine;
    // Every write of the session goes through it (see store::Batch for the rule).
    std::unique_ptr<store::Batch> batch;
    std::string guid;
    std::string profileName;
    store::Profile profile;
    // Folders seen to exist; the object model never removes a folder.
    std::unordered_set<std::int64_t> knownFolders;
    // The message the last enumeration step found, handed out by the iterator.
    std::shared_ptr<MessageState> prefetched;

    ~SessionState();
    bool loggedOn() const { return engine != nullptr; }
    store::Engine &store() const { return *engine; }
    // InvalidArgument when not logged on; commits a batch that has grown old.
    void enter();
    // Runs one write operation atomically in the session's batch. With several it is
    // wrapped in a savepoint, so a failure undoes all of it.
    template <class Operation>
    void write(Operation &&operation, bool several)
    {
        batch->write(std::forward<Operation>(operation), several);
    }
    // After an engine failure: how many saved changes of the open batch the engine
    // rolled back on its own (it does so on some I/O errors); forgets what the session
    // had seen of them.
    int writesLostToRollback() noexcept;
    // Commits what was done before a failing operation; never throws.
    void commitAfterError() noexcept;
    // Ends the batch by its rule, then closes the store.
    void close();
};

using store::MessageRow;
using store::ColSubject;
using store::ColBody;
using store::ColSensitivity;
using store::ColCategories;
using store::ColAllDay;
using store::ColLocation;
using store::ColStart;
using store::ColEnd;
using store::ColStamp;

struct MessageState {
    std::int64_t id = 0;      // 0 until a new message or copy is first saved
    bool loaded = false;      // row holds the saved columns
    std::optional<store::MessagePlace> place; // where the saved message is, once known
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

// After a failed operation: commits what the session did before it and returns the
// error to throw, which says so when the store undid saved changes of the session (the
// engine rolled its transaction back, or the commit after the failure failed too).
Error afterError(const SessionPtr &session, const Error &error);

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
    } catch (const Error &e) {
        throw afterError(session, e);
    } catch (const store::StoreError &e) {
        throw afterError(session, translate(e));
    } catch (const std::bad_alloc &) {
        throw afterError(session, Error(ErrorCode::StoreFailure, std::string(operation) + " failed: out of memory"));
    }
}

} // namespace messaging::detail
