// StoreSource: the CalendarSource on a store file, through the messaging object model
// and the iCalendar library.
//
// Each request borrows a logged-on session from a small pool and reads inside one read
// snapshot of its engine. Only so many sessions are in use at once (a database server's
// connections are shared with every workstation); requests beyond wait for one. The object model keeps process-wide state and is used by one
// thread at a time: the exports that build a CalendarState run under one lock, while
// the cheap reads of every request (accounts, calendars, revisions) go straight to the
// snapshot's own engine and run side by side.
//
// While the store's revision stays (every commit that writes raises it) and the file is
// the same, what earlier requests read at that revision (accounts, calendars, folder
// revisions) is answered from memory. For a store file, the header of its WAL index
// (WalIndex.h) tells that nothing was committed since: the cheap answers (304s) then cost
// a look at the file and at that header, and neither a session nor a read of the store.
// Elsewhere they cost one read of the store's revision and no read snapshot.
//
// The store is a file or a database on a PostgreSQL server (a postgresql:// location):
// only a file is looked at (it may be missing, or replaced by another).
//
// A calendar's revision is its folder's revision in the store (one read); what changed
// since an older one comes from the store's change log, so sync tokens outlive the
// server. Each calendar's state is kept at the latest revision built.
#pragma once

#include "dav/CalendarSource.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include <sys/stat.h>

namespace dav {

class StoreSource : public CalendarSource {
public:
    explicit StoreSource(std::filesystem::path store);
    ~StoreSource() override;
    std::unique_ptr<Snapshot> open(bool fromMemory) override;

    struct Pooled;
    struct Shared;

private:
    // A kept session of the store `st` describes (nothing for a database), else null.
    std::unique_ptr<Pooled> take(const struct stat &st);
    std::unique_ptr<Pooled> logOn(const struct stat &st);
    // A snapshot answered from memory at the store's revision as the session reads it.
    std::unique_ptr<Snapshot> fromMemoryOn(std::unique_ptr<Pooled> pooled);

    std::shared_ptr<Shared> m_shared;
};

} // namespace dav
