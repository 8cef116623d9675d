#include "CalendarLock.h"

#include "core/Error.h"
#include "messaging/ServerAdmin.h"
#include "messaging/ServerLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace calendar {

namespace {

// How often a waiting run looks again: flock() itself cannot wait with a limit.
constexpr std::chrono::milliseconds RetryEvery{50};

class FileLock : public CalendarLock {
public:
    explicit FileLock(std::filesystem::path file) : m_file(std::move(file))
    {
        // Never through a link someone placed at the name, never anything but a file.
        do {
            m_fd = ::open(m_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        } while (m_fd < 0 && errno == EINTR);
        if (m_fd < 0)
            fail(errno);
        struct stat st {};
        const int error = ::fstat(m_fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
        if (error != 0) {
            ::close(m_fd);
            fail(error);
        }
    }
    ~FileLock() override { ::close(m_fd); }
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    bool acquire(std::chrono::milliseconds patience) override
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        for (;;) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return true;
            if (errno == EINTR)
                continue;
            if (errno != EWOULDBLOCK)
                fail(errno);
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                return false;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(RetryEvery, deadline - now));
        }
    }

    std::string name() const override { return "\"" + m_file.string() + "\""; }

private:
    [[noreturn]] void fail(int error) const
    {
        throw messaging::Error(messaging::ErrorCode::PathFileAccessError,
                               "Path/File access error: the lock \"" + m_file.string() + "\" cannot be taken ("
                                   + std::strerror(error) + ")");
    }

    std::filesystem::path m_file;
    int m_fd = -1;
};

// Waits for the lock by asking again now and then, until `patience` is spent.
template <class Try>
bool tryUntil(std::chrono::milliseconds patience, Try &&tryOnce)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (tryOnce())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(RetryEvery, deadline - now));
    }
}

// The server keeps the lock for this object's own connection: the holder's transactions
// come and go, the lock stays until the run ends or its connection does.
class ServerCalendarLock : public CalendarLock {
public:
    explicit ServerCalendarLock(const std::filesystem::path &store) : m_lock(store, Key) {}
    bool acquire(std::chrono::milliseconds patience) override
    {
        return tryUntil(patience, [&] { return m_lock.tryTake(); });
    }
    std::string name() const override { return "the server's lock on the shared calendar"; }

private:
    // One number for every store: each database has advisory locks of its own.
    static constexpr std::int64_t Key = 0x4C41524B53504341; // "LARKSPCA"
    messaging::ServerLock m_lock;
};

} // namespace

std::filesystem::path calendarLockFile(const std::filesystem::path &storePath)
{
    std::filesystem::path file = storePath;
    file += ".calendar-lock";
    return file;
}

std::unique_ptr<CalendarLock> calendarLockFor(const std::filesystem::path &storePath)
{
    if (messaging::ServerAdmin::onServer(storePath))
        return std::make_unique<ServerCalendarLock>(storePath);
    return std::make_unique<FileLock>(calendarLockFile(storePath));
}

} // namespace calendar
