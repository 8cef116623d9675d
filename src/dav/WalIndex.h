// WalIndex: the header of a store file's write-ahead-log index ("<store>-shm"), the
// few bytes through which every SQLite connection learns what is committed.
//
// SQLite keeps the header twice, one copy after the other; a commit writes the second
// copy first and the first one last, and a reader that finds the two copies equal, marked
// initialized and with a matching checksum has a header that was whole at one moment.
// The header changes with every commit (the last frame, its checksum) and every restart
// of the log (new salts), and never takes a value it had before. So while the header
// reads the same as it did before some read of the store, nothing was committed since
// that read began.
//
// The file is read with pread, never mapped: a file cut short by a connection that
// rebuilds it gives a short read, not a fault. The index is only the one the store's
// connections use while a connection of this process stays open (the last one to close
// removes it, and the next one makes a new file): the caller stops trusting a WalIndex
// before it closes a connection.
//
// A WalIndex is never closed: closing any descriptor of a file lets go of every POSIX
// lock the process holds on it, and SQLite's connections in this process hold theirs on
// this very file (the one that keeps the file from being rebuilt under them, and those
// of their read transactions). A file seen before is read through the descriptor opened
// then; a process opens at most MaxFiles of them and then goes without.
#pragma once

#include <array>
#include <filesystem>
#include <optional>

#include <sys/types.h>

namespace dav {

class WalIndex {
public:
    using Header = std::array<unsigned char, 48>;

    static constexpr std::size_t MaxFiles = 16;

    // The index beside `store`; null when there is none (a store not in WAL mode) or
    // this process has opened MaxFiles already.
    static const WalIndex *open(const std::filesystem::path &store);
    WalIndex(const WalIndex &) = delete;
    WalIndex &operator=(const WalIndex &) = delete;

    // The header as it is now; nullopt when it cannot be read whole or is not
    // consistent (the copies differ, it is not initialized, its checksum is wrong).
    std::optional<Header> header() const;

private:
    WalIndex(int fd, dev_t device, ino_t inode) : m_fd(fd), m_device(device), m_inode(inode) {}
    ~WalIndex() = default;  // never: see above
    int m_fd;
    dev_t m_device;
    ino_t m_inode;
};

} // namespace dav
