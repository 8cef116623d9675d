// StoreSource: the CalendarSource on a store file, through the messaging object model
// and the iCalendar library.
//
// Each request borrows a logged-on session from a small pool and reads inside one read
// transaction (one snapshot). The object model keeps process-wide state and is used by
// one thread at a time: the exports that build a CalendarState run under one lock,
// while the cheap reads of every request (accounts, calendars, revisions) go straight
// to the snapshot's own connection and run side by side.
//
// While the store file and its write-ahead log are untouched (same size and change
// time), what earlier requests read (accounts, calendars, revisions) is answered from
// memory without a transaction: the cheap answers (304s) cost no store access.
//
// A revision is a digest of everything the folder's items hold, recomputed only when
// the store has changed since the connection last looked. States are kept per calendar
// for the latest revisions seen, so a sync token stays usable while its state is kept.
#pragma once

#include "dav/CalendarSource.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace dav {

class StoreSource : public CalendarSource {
public:
    // How many past states of each calendar are kept for sync tokens.
    static constexpr std::size_t KeptStates = 24;

    explicit StoreSource(std::filesystem::path store);
    ~StoreSource() override;
    std::unique_ptr<Snapshot> open(bool fromMemory) override;

    struct Pooled;
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace dav
