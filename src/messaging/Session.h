// Session: one logged-on view of the server store through a profile.
//
// A Session is created, logged on with a profile name ("Administrator"), used, and
// logged off. Logon opens the store file named by LARKSPUR_STORE, else
// $XDG_DATA_HOME/larkspur/store.db (~/.local/share/larkspur/store.db); a missing file
// or an unknown profile fails with ErrorCode::LogonFailed and creates nothing.
//
// Writes made through the session's objects are batched into transactions and are
// committed no later than Logoff, the destruction of the last handle onto the session,
// or the moment an Error leaves the object model (what was done before the failing call
// is committed; the failing call itself leaves nothing half done). The session writes
// through a store::Batch, whose header states the rule for a batch still open at the end.
//
// Copying a Session copies the handle: both refer to the same logged-on state.
#pragma once

#include "Handles.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace messaging {

class Session {
public:
    // A session on the default store path (LARKSPUR_STORE, else the XDG data dir).
    Session();
    // A session on an explicit store file.
    explicit Session(std::filesystem::path storePath);
    ~Session();
    Session(const Session &);
    Session &operator=(const Session &);
    Session(Session &&) noexcept;
    Session &operator=(Session &&) noexcept;

    // Opens the store and resolves the profile. Throws LogonFailed for a missing store
    // file, an unknown profile, or a second Logon without Logoff.
    void Logon(std::string_view profileName);
    // Commits pending writes and closes the store. Objects taken from this session fail
    // afterwards (InvalidArgument "session is not logged on").
    void Logoff();
    bool LoggedOn() const;

    // Makes every write from now until commitGroup() one transaction: all of it reaches
    // the store, or none of it does (after abandonGroup(), a Logoff or release of the
    // session before commitGroup(), or a crash). An Error inside the group leaves the
    // group open for the caller to commit or abandon. Groups do not nest; other
    // processes wait for the store until the group ends, so keep groups short.
    void beginGroup();
    void commitGroup();
    void abandonGroup() noexcept;

    // The stores the profile sees, in position order: "Public Folders", the profile
    // owner's mailbox, then every mailbox shared to the profile in the order of sharing.
    messaging::InfoStores InfoStores() const;
    messaging::AddressLists AddressLists() const;
    // A message from any store the profile sees, hidden binding messages included.
    // storeId may be empty. Throws NotFound (naming the id) when no such message exists.
    messaging::Message GetMessage(std::string_view entryId, std::string_view storeId = {}) const;

    // The store file this session opens or has opened.
    const std::filesystem::path &storePath() const;
    // The default store path (LARKSPUR_STORE, else $XDG_DATA_HOME/larkspur/store.db).
    static std::filesystem::path defaultStorePath();

    // Internal: the state shared by every handle of this session.
    const detail::SessionPtr &state() const { return m_state; }

private:
    detail::SessionPtr m_state;
};

} // namespace messaging
