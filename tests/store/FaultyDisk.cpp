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
    int kind; // -1: neither the log nor the database
    sqlite3_file *real() { return reinterpret_cast<sqlite3_file *>(this + 1); }
};

Wrapped *wrapped(sqlite3_file *f)
{
    return reinterpret_cast<Wrapped *>(f);
}

int fClose(sqlite3_file *f)
{
    return wrapped(f)->real()->pMethods->xClose(wrapped(f)->real());
}
int fRead(sqlite3_file *f, void *buf, int amount, sqlite3_int64 offset)
{
    return wrapped(f)->real()->pMethods->xRead(wrapped(f)->real(), buf, amount, offset);
}
int fWrite(sqlite3_file *f, const void *buf, int amount, sqlite3_int64 offset)
{
    Wrapped *w = wrapped(f);
    if (g_disk && w->kind >= 0) {
        if (int rc = g_disk->onWrite(static_cast<FaultyDisk::File>(w->kind)))
            return rc;
    }
    return w->real()->pMethods->xWrite(w->real(), buf, amount, offset);
}
int fTruncate(sqlite3_file *f, sqlite3_int64 size)
{
    return wrapped(f)->real()->pMethods->xTruncate(wrapped(f)->real(), size);
}
int fSync(sqlite3_file *f, int flags)
{
    Wrapped *w = wrapped(f);
    if (g_disk && w->kind >= 0) {
        if (int rc = g_disk->onSync(static_cast<FaultyDisk::File>(w->kind)))
            return rc;
    }
    return w->real()->pMethods->xSync(w->real(), flags);
}
int fFileSize(sqlite3_file *f, sqlite3_int64 *size)
{
    return wrapped(f)->real()->pMethods->xFileSize(wrapped(f)->real(), size);
}
int fLock(sqlite3_file *f, int lock)
{
    return wrapped(f)->real()->pMethods->xLock(wrapped(f)->real(), lock);
}
int fUnlock(sqlite3_file *f, int lock)
{
    return wrapped(f)->real()->pMethods->xUnlock(wrapped(f)->real(), lock);
}
int fCheckReservedLock(sqlite3_file *f, int *out)
{
    return wrapped(f)->real()->pMethods->xCheckReservedLock(wrapped(f)->real(), out);
}
int fFileControl(sqlite3_file *f, int op, void *arg)
{
    return wrapped(f)->real()->pMethods->xFileControl(wrapped(f)->real(), op, arg);
}
int fSectorSize(sqlite3_file *f)
{
    return wrapped(f)->real()->pMethods->xSectorSize(wrapped(f)->real());
}
int fDeviceCharacteristics(sqlite3_file *f)
{
    return wrapped(f)->real()->pMethods->xDeviceCharacteristics(wrapped(f)->real());
}
int fShmMap(sqlite3_file *f, int region, int size, int extend, void volatile **out)
{
    return wrapped(f)->real()->pMethods->xShmMap(wrapped(f)->real(), region, size, extend, out);
}
int fShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    return wrapped(f)->real()->pMethods->xShmLock(wrapped(f)->real(), offset, n, flags);
}
void fShmBarrier(sqlite3_file *f)
{
    wrapped(f)->real()->pMethods->xShmBarrier(wrapped(f)->real());
}
int fShmUnmap(sqlite3_file *f, int deleteFlag)
{
    return wrapped(f)->real()->pMethods->xShmUnmap(wrapped(f)->real(), deleteFlag);
}

// No memory-mapped pages (xFetch), so that every write goes through fWrite.
const sqlite3_io_methods kMethods = {
    2,          fClose,     fRead,     fWrite,      fTruncate,   fSync,
    fFileSize,  fLock,      fUnlock,   fCheckReservedLock,        fFileControl,
    fSectorSize, fDeviceCharacteristics, fShmMap, fShmLock, fShmBarrier, fShmUnmap,
    nullptr,    nullptr,
};

int vOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    Wrapped *w = wrapped(file);
    w->kind = (flags & SQLITE_OPEN_WAL) ? static_cast<int>(FaultyDisk::File::Log)
              : (flags & SQLITE_OPEN_MAIN_DB) ? static_cast<int>(FaultyDisk::File::Database)
                                              : -1;
    const int rc = g_real->xOpen(g_real, name, w->real(), flags, outFlags);
    w->base.pMethods = w->real()->pMethods ? &kMethods : nullptr;
    return rc;
}
int vDelete(sqlite3_vfs *, const char *name, int syncDir)
{
    return g_real->xDelete(g_real, name, syncDir);
}
int vAccess(sqlite3_vfs *, const char *name, int flags, int *out)
{
    return g_real->xAccess(g_real, name, flags, out);
}
int vFullPathname(sqlite3_vfs *, const char *name, int n, char *out)
{
    return g_real->xFullPathname(g_real, name, n, out);
}
void *vDlOpen(sqlite3_vfs *, const char *name)
{
    return g_real->xDlOpen(g_real, name);
}
void vDlError(sqlite3_vfs *, int n, char *out)
{
    g_real->xDlError(g_real, n, out);
}
void (*vDlSym(sqlite3_vfs *, void *handle, const char *symbol))(void)
{
    return g_real->xDlSym(g_real, handle, symbol);
}
void vDlClose(sqlite3_vfs *, void *handle)
{
    g_real->xDlClose(g_real, handle);
}
int vRandomness(sqlite3_vfs *, int n, char *out)
{
    return g_real->xRandomness(g_real, n, out);
}
int vSleep(sqlite3_vfs *, int microseconds)
{
    return g_real->xSleep(g_real, microseconds);
}
int vCurrentTime(sqlite3_vfs *, double *out)
{
    return g_real->xCurrentTime(g_real, out);
}
int vGetLastError(sqlite3_vfs *, int n, char *out)
{
    return g_real->xGetLastError(g_real, n, out);
}
int vCurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *out)
{
    return g_real->xCurrentTimeInt64(g_real, out);
}

void registerVfs()
{
    static sqlite3_vfs vfs;
    if (g_real)
        return;
    g_real = sqlite3_vfs_find(nullptr);
    if (!g_real)
        throw std::runtime_error("no default SQLite VFS");
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(sizeof(Wrapped)) + g_real->szOsFile;
    vfs.mxPathname = g_real->mxPathname;
    vfs.zName = kVfsName;
    vfs.xOpen = vOpen;
    vfs.xDelete = vDelete;
    vfs.xAccess = vAccess;
    vfs.xFullPathname = vFullPathname;
    vfs.xDlOpen = vDlOpen;
    vfs.xDlError = vDlError;
    vfs.xDlSym = vDlSym;
    vfs.xDlClose = vDlClose;
    vfs.xRandomness = vRandomness;
    vfs.xSleep = vSleep;
    vfs.xCurrentTime = vCurrentTime;
    vfs.xGetLastError = vGetLastError;
    vfs.xCurrentTimeInt64 = vCurrentTimeInt64;
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
