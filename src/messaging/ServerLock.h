// ServerLock: a lock of a store on a database server, named by a number, that the server
// keeps for a connection of its own: it lets go of it when the lock is destroyed or the
// holder's connection ends, however the holder ends (a crash, a kill, a lost network).
// For locks that must outlive a transaction, such as the one bulk action on the shared
// calendar at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace store {
class ServerLock;
}

namespace messaging {

class ServerLock {
public:
    // Connects to the server of the store at `location` (a "postgresql://" location).
    // Throws Error (LogonFailed) when the server cannot be reached.
    ServerLock(const std::filesystem::path &location, std::int64_t key);
    ~ServerLock();
    ServerLock(const ServerLock &) = delete;
    ServerLock &operator=(const ServerLock &) = delete;

    // Takes the lock unless another connection holds it; never waits. Throws Error
    // (StoreFailure) when the connection fails.
    bool tryTake();

private:
    std::unique_ptr<store::ServerLock> m_lock;
};

} // namespace messaging
