#include "dav/WalIndex.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dav {

namespace {

constexpr std::uint32_t IndexVersion = 3007000;

std::uint32_t word(const unsigned char *at)
{
    std::uint32_t w;
    std::memcpy(&w, at, sizeof w);
    return w;
}

// SQLite's checksum of the header's first 40 bytes, in the machine's own byte order.
bool checksumHolds(const WalIndex::Header &h)
{
    std::uint32_t s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < 40; i += 8) {
        s1 += word(&h[i]) + s2;
        s2 += word(&h[i + 4]) + s1;
    }
    return s1 == word(&h[40]) && s2 == word(&h[44]);
}

} // namespace

const WalIndex *WalIndex::open(const std::filesystem::path &store)
{
    static std::mutex lock;
    static std::vector<const WalIndex *> opened;
    const std::string path = store.native() + "-shm";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    std::lock_guard guard(lock);
    for (const WalIndex *index : opened)
        if (index->m_device == st.st_dev && index->m_inode == st.st_ino)
            return index;
    if (opened.size() >= MaxFiles)
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    // Kept whatever happens next (see WalIndex.h).
    if (::fstat(fd, &st) != 0)
        st = {};
    opened.push_back(new WalIndex(fd, st.st_dev, st.st_ino));
    return opened.back();
}

std::optional<WalIndex::Header> WalIndex::header() const
{
    unsigned char both[2 * sizeof(Header)];
    if (::pread(m_fd, both, sizeof both, 0) != static_cast<ssize_t>(sizeof both))
        return std::nullopt;
    Header h;
    std::memcpy(h.data(), both, h.size());
    const bool initialized = h[12] != 0;
    if (std::memcmp(both, both + h.size(), h.size()) != 0 || !initialized || word(&h[0]) != IndexVersion
        || !checksumHolds(h))
        return std::nullopt;
    return h;
}

} // namespace dav
