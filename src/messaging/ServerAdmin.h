// ServerAdmin: what an administrator does to the server itself rather than through a
// logged-on profile: create a store file with its standard layout, add users and their
// mailboxes, share and unshare mailboxes with the "Administrator" profile, check the
// store. Used by the larkspur-store tool, by tests and by benchmarks.
//
// Each change is atomic and committed at once (durable when the ServerAdmin is
// destroyed), unless it is made inside a batch.
#pragma once

#include <cstdint>
#include <memory>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

struct UserInfo {
    std::string name;
    std::int32_t displayType = 0;
    std::optional<std::string> tag;          // field 0x802D001E
    std::optional<std::string> mailbox;      // "Mailbox - <name>" or none
    bool shared = false;                     // shared to the "Administrator" profile
};

class ServerAdmin {
public:
    // Creates a new store file (owner-only permissions) holding: the public store
    // "Public Folders" whose root has "Favorites" and "All Public Folders", the shared
    // calendar "Larkspur Calendar" in the latter; the address list "Global Address
    // List"; the user "Administrator" (owner tag "AD") with its mailbox; the profile
    // "Administrator". Throws InvalidArgument when the file already exists. On a server
    // (a "postgresql://" location) the store is made in an empty database; one that
    // already holds tables is refused with InvalidArgument.
    static void createStore(const std::filesystem::path &path);

    // True when the location names a PostgreSQL database ("postgresql://..." URI)
    // rather than a store file.
    static bool onServer(const std::filesystem::path &location);
    // Removes a store made by createStore in a database of a server: its tables go, the
    // database stays (empty, ready for another createStore). A database holding no store
    // is left alone. For a store file: the file and its journal files.
    static void removeStore(const std::filesystem::path &location);

    // Opens an existing store for administration (LogonFailed when missing).
    explicit ServerAdmin(const std::filesystem::path &path);
    ~ServerAdmin();
    ServerAdmin(const ServerAdmin &) = delete;
    ServerAdmin &operator=(const ServerAdmin &) = delete;

    // Adds an address entry. For display type 0 a mailbox "Mailbox - <name>" with the ten
    // standard folders is made too, and shared to "Administrator" unless `shared` is
    // false. InvalidArgument for an empty name, a mail user's name with "/" or when the
    // mailbox already exists.
    void addUser(std::string_view name, std::optional<std::string> tag, std::int32_t displayType = 0,
                 bool shared = true);
    // Sets or replaces a text field of the first address entry of that exact name.
    void setEntryField(std::string_view entryName, std::uint32_t tag, std::string_view value);
    // Shares or unshares the mailbox store of that name with "Administrator".
    void share(std::string_view mailboxStoreName);
    void unshare(std::string_view mailboxStoreName);
    // Adds a public folder beside "Larkspur Calendar" (under "All Public Folders"); its
    // name may not hold "/".
    void addPublicFolder(std::string_view name);
    // Every address entry in address-list order.
    std::vector<UserInfo> users() const;
    // SQLite's integrity check plus the store's own invariants; an empty list when sound.
    std::vector<std::string> check() const;

    // Holds every change from now until commitBatch in one write group (store::Batch):
    // all of it lands, or none of it does. A batch still open when this ServerAdmin is
    // destroyed (or its process dies) leaves nothing; a change that fails inside it
    // leaves nothing of itself and the batch open.
    void beginBatch();
    void commitBatch();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace messaging
