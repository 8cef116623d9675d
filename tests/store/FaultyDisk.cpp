#include "FaultyDisk.h"

#include <sqlite3.h>

#include <stdexcept>

namespace testsupport {

namespace {

constexpr const char *kVfsName = "larkspur-faulty-disk";

FaultyDisk *g_disk = nullptr;
sqlite3_vfs *g_real = nullptr;

// A file of the wrapped VFS: what SQLite sees, followed by the real file.
struct alignas(8) Wrapped {
    sqlite3_file base;
    int kind; // a FaultyDisk::File, or -1 for the other files
};

sqlite3_file *real(sqlite3_file *f)
{
    return reinterpret_cast<sqlite3_file *>(reinterpret_cast<Wrapped *>(f) + 1);
}

// A method of the file passed on to the real file, or of the VFS to the real VFS.
template <auto Method>
constexpr auto toFile = [](sqlite3_file *f, auto... args) { return (real(f)->pMethods->*Method)(real(f), args...); };
template <auto Method>
constexpr auto toVfs = [](sqlite3_vfs *, auto... args) { return (g_real->*Method)(g_real, args...); };

// Writes and syncs of the log and the database file meet the disk's faults first.
template <auto Method, int (FaultyDisk::*Fault)(FaultyDisk::File)>
constexpr auto faulty = [](sqlite3_file *f, auto... args) {
    const int kind = reinterpret_cast<Wrapped *>(f)->kind;
    if (g_disk && kind >= 0) {
        if (int rc = (g_disk->*Fault)(static_cast<FaultyDisk::File>(kind)))
            return rc;
    }
    return (real(f)->pMethods->*Method)(real(f), args...);
};

using M = sqlite3_io_methods;
// Version 2: no memory-mapped pages, so that every write goes through xWrite.
const sqlite3_io_methods kMethods = {
    2, toFile<&M::xClose>, toFile<&M::xRead>, faulty<&M::xWrite, &FaultyDisk::onWrite>, toFile<&M::xTruncate>,
    faulty<&M::xSync, &FaultyDisk::onSync>, toFile<&M::xFileSize>, toFile<&M::xLock>, toFile<&M::xUnlock>,
    toFile<&M::xCheckReservedLock>, toFile<&M::xFileControl>, toFile<&M::xSectorSize>,
    toFile<&M::xDeviceCharacteristics>, toFile<&M::xShmMap>, toFile<&M::xShmLock>, toFile<&M::xShmBarrier>,
    toFile<&M::xShmUnmap>, nullptr, nullptr};

int open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *w = reinterpret_cast<Wrapped *>(file);
    w->kind = (flags & SQLITE_OPEN_WAL)       ? static_cast<int>(FaultyDisk::File::Log)
              : (flags & SQLITE_OPEN_MAIN_DB) ? static_cast<int>(FaultyDisk::File::Database)
                                              : -1;
    const int rc = g_real->xOpen(g_real, name, real(file), flags, outFlags);
    w->base.pMethods = real(file)->pMethods ? &kMethods : nullptr;
    return rc;
}

void registerVfs()
{
    static sqlite3_vfs vfs;
    if (g_real)
        return;
    g_real = sqlite3_vfs_find(nullptr);
    if (!g_real)
        throw std::runtime_error("no default SQLite VFS");
    using V = sqlite3_vfs;
    vfs = {2,
           static_cast<int>(sizeof(Wrapped)) + g_real->szOsFile,
           g_real->mxPathname,
           nullptr,
           kVfsName,
           nullptr,
           open,
           toVfs<&V::xDelete>,
           toVfs<&V::xAccess>,
           toVfs<&V::xFullPathname>,
           toVfs<&V::xDlOpen>,
           toVfs<&V::xDlError>,
           toVfs<&V::xDlSym>,
           toVfs<&V::xDlClose>,
           toVfs<&V::xRandomness>,
           toVfs<&V::xSleep>,
           toVfs<&V::xCurrentTime>,
           toVfs<&V::xGetLastError>,
           toVfs<&V::xCurrentTimeInt64>,
           nullptr,
           nullptr,
           nullptr};
    if (sqlite3_vfs_register(&vfs, 0) != SQLITE_OK)
        throw std::runtime_error("cannot register the faulty disk");
}

} // namespace

bool FaultyDisk::Switch::hit()
{
    if (countdown == 0)
        return false;
    if (countdown > 1) {
        --countdown;
        return false;
    }
    if (!repeat)
        countdown = 0;
    return true;
}

FaultyDisk::FaultyDisk()
{
    registerVfs();
    g_disk = this;
    store::Env::install(this);
}

FaultyDisk::~FaultyDisk()
{
    store::Env::install(nullptr);
    g_disk = nullptr;
}

void FaultyDisk::failWrite(File file, int nth, int code, bool repeat)
{
    m_writes[static_cast<int>(file)] = {nth, code, repeat};
}

void FaultyDisk::failSync(File file, int nth, int code)
{
    m_syncs[static_cast<int>(file)] = {nth, code, false};
}

void FaultyDisk::limitGrowth(std::int64_t pagesNow, std::int64_t pages)
{
    m_pageLimit = pages > 0 ? pagesNow + pages : 0;
}

void FaultyDisk::failCommit(int nth)
{
    m_commits = {nth, SQLITE_IOERR, false};
}

void FaultyDisk::heal()
{
    for (Switch *s : {&m_writes[0], &m_writes[1], &m_syncs[0], &m_syncs[1], &m_commits})
        *s = Switch();
    m_pageLimit = 0;
}

std::string FaultyDisk::sqliteVfs() const
{
    return kVfsName;
}

std::optional<store::Env::Fault> FaultyDisk::before(Step step)
{
    if (step == Step::Commit && m_commits.hit())
        return Fault{store::Failure::IoError, "the commit failed (faulty disk)"};
    return std::nullopt;
}

int FaultyDisk::onWrite(File file)
{
    Switch &s = m_writes[static_cast<int>(file)];
    return s.hit() ? s.code : 0;
}

int FaultyDisk::onSync(File file)
{
    Switch &s = m_syncs[static_cast<int>(file)];
    return s.hit() ? s.code : 0;
}

} // namespace testsupport
