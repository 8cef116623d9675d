#include "textfile/PrivateFiles.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>

namespace textfile {

namespace {

std::string randomName()
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[12];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes))
        throw std::system_error(errno, std::generic_category(), "no random numbers");
    std::string name = ".larkspur-";
    for (unsigned char b : bytes)
        name += letters[b % (sizeof letters - 1)];
    return name;
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The rename into place is durable only once the folder itself is on the disk.
void syncFolder(const std::filesystem::path &dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void replaceFile(const std::filesystem::path &target, std::string_view data)
{
    const std::string what = "cannot write \"" + target.string() + "\"";
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    mode_t mode = 0600;
    struct stat old {};
    if (::lstat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        mode = old.st_mode & 0777;

    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        temp = dir / randomName();
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), what);

    const bool written = writeAll(fd, data) && (mode == 0600 || ::fchmod(fd, mode) == 0) && ::fsync(fd) == 0;
    int error = written ? 0 : errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw std::system_error(error, std::generic_category(), what);
    }
    syncFolder(dir);
}

bool moveIntoPlace(const std::filesystem::path &from, const std::filesystem::path &to)
{
    int moved = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL) // a file system without it: a hard link never replaces either
        moved = ::link(from.c_str(), to.c_str());
    if (moved != 0)
        return false;
    syncFolder(to.has_parent_path() ? to.parent_path() : std::filesystem::path("."));
    return true;
}

int openForAppend(const std::filesystem::path &path)
{
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool createPrivateFolders(const std::filesystem::path &dir)
{
    if (dir.empty() || ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT || dir.parent_path() == dir)
        return false;
    return createPrivateFolders(dir.parent_path()) && (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST);
}

} // namespace textfile
