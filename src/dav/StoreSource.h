// StoreSource: the CalendarSource on a store file, through the messaging object model
// and the iCalendar library.
//
// Each request borrows a logged-on session from a small pool and reads inside one read
// snapshot of its engine. The object model keeps process-wide state and is used by one
// thread at a time: the exports that build a CalendarState run under one lock, while
// the cheap reads of every request (accounts, calendars, revisions) go straight to the
// snapshot's own engine and run side by side.
//
// While the store's revision stays (every commit that writes raises it) and the file is
// the same, what earlier requests read at that revision (accounts, calendars, folder
// revisions) is answered from memory: the cheap answers (304s) cost one read of the
// store's revision and no read snapshot.
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

namespace dav {

class StoreSource : public CalendarSource {
public:
    explicit StoreSource(std::filesystem::path store);
    ~StoreSource() override;
    std::unique_ptr<Snapshot> open(bool fromMemory) override;

    struct Pooled;
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace dav
