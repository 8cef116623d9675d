// FaultyDisk: an Env for tests whose disk fails on demand, for real. Store files are
// opened through an SQLite VFS that wraps the default one; a write or sync of the
// write-ahead log or of the database file can be made to fail (an I/O error, or no room
// left), the store can be held to a page limit (a full disk, met in the middle of a
// statement), and a commit can be refused. SQLite meets these failures exactly as it
// would meet a broken disk.
//
// Constructing one installs it as the current Env; it must exist before the store is
// opened (files are opened through it) and is uninstalled when destroyed. One at a time.
#pragma once

#include "store/Env.h"

#include <cstdint>

namespace testsupport {

class FaultyDisk : public store::Env {
public:
    enum class File { Log, Database };

    FaultyDisk();
    ~FaultyDisk() override;
    FaultyDisk(const FaultyDisk &) = delete;
    FaultyDisk &operator=(const FaultyDisk &) = delete;

    // The nth write (or sync) of the file from now fails with the SQLite result code
    // (SQLITE_IOERR_WRITE, SQLITE_FULL, ...); with repeat every one from the nth on.
    void failWrite(File file, int nth, int code, bool repeat = false);
    void failSync(File file, int nth, int code);
    // The store may hold no more pages than it holds now plus `pages`; 0 lifts the limit.
    void limitGrowth(std::int64_t pagesNow, std::int64_t pages);
    // The nth commit from now is refused as on a broken disk.
    void failCommit(int nth);
    // Every fault lifted.
    void heal();

    std::string sqliteVfs() const override;
    std::int64_t pageLimit() const override { return m_pageLimit; }
    std::optional<Fault> before(Step step) override;

    // Called by the VFS: the result code a write or sync of the file meets (0: none).
    int onWrite(File file);
    int onSync(File file);

private:
    struct Switch {
        int countdown = 0; // 0: off
        int code = 0;
        bool repeat = false;
        bool hit();
    };
    Switch m_writes[2];
    Switch m_syncs[2];
    Switch m_commits;
    std::int64_t m_pageLimit = 0;
};

} // namespace testsupport
