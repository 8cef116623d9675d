#include "ServerLock.h"

#include "Detail.h"

namespace messaging {

ServerLock::ServerLock(const std::filesystem::path &location, std::int64_t key)
{
    try {
        m_lock = store::openServerLock(location, key);
    } catch (const store::StoreError &e) {
        throw Error(ErrorCode::LogonFailed, std::string("Logon failed: ") + e.what());
    }
}

ServerLock::~ServerLock() = default;

bool ServerLock::tryTake()
{
    try {
        return m_lock->tryTake();
    } catch (const store::StoreError &e) {
        throw detail::translate(e);
    }
}

} // namespace messaging
