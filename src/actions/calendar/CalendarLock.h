// CalendarLock: one bulk action on a store's shared calendar at a time.
//
// A bulk action on the shared calendar (the store tool's copies, deletions and the
// nightly refresh) holds the lock for its whole run, so two scheduled refreshes, or a
// refresh and a copy started by hand, never interleave. The lock belongs to the store:
// for a store file it is an flock() on "<store>.calendar-lock" beside it, which the
// system lets go when the holder ends, however it ends (a crash or a kill included). For
// a store on a database server it is an advisory lock that the server keeps for the
// holder's own connection and lets go when that connection ends.
//
// Not thread-safe; one object per run.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

namespace calendar {

class CalendarLock {
public:
    virtual ~CalendarLock() = default; // lets go of the lock when it is held
    // Takes the lock. When another run holds it, waits up to `patience` (zero: not at
    // all) for it to let go. True when the lock is now held; false when the other run
    // still holds it.
    virtual bool acquire(std::chrono::milliseconds patience) = 0;
    // What the lock is, for messages: the lock file, or the server's lock.
    virtual std::string name() const = 0;
};

// The lock of the store at `storePath`. Throws messaging::Error (PathFileAccessError 75,
// naming the lock file) when the lock cannot be made, e.g. a link or a folder at its
// name, or a store folder the user cannot write to; for a store on a server, the error
// of a failed logon (LogonFailed) when the server cannot be reached.
std::unique_ptr<CalendarLock> calendarLockFor(const std::filesystem::path &storePath);

// The lock file of a store file.
std::filesystem::path calendarLockFile(const std::filesystem::path &storePath);

} // namespace calendar
