#include "textfile/DrivePath.h"
#include "textfile/PrivateFiles.h"

#include <cctype>
#include <cstdlib>
#include <string>
#include <system_error>

namespace textfile {

namespace {

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::filesystem::path dataHome()
{
    std::string xdg = environment("XDG_DATA_HOME");
    if (!xdg.empty())
        return std::filesystem::path(xdg);
    const char *home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : ".") / ".local" / "share";
}

bool hasDriveLetter(std::string_view path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

} // namespace

std::filesystem::path driveRoot(char letter)
{
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    std::string configured = environment((std::string("LARKSPUR_DRIVE_") + upper).c_str());
    if (!configured.empty())
        return std::filesystem::path(configured);
    return dataHome() / "larkspur" / (std::string("drive_") + lower);
}

std::filesystem::path drivePath(std::string_view windowsPath)
{
#ifdef _WIN32
    return std::filesystem::path(std::string(windowsPath));
#else
    std::string rest(windowsPath);
    std::filesystem::path root;
    const bool onDrive = hasDriveLetter(windowsPath);
    if (onDrive) {
        root = driveRoot(windowsPath[0]);
        rest.erase(0, 2);
    }
    for (char &c : rest) {
        if (c == '\\')
            c = '/';
    }
    if (!onDrive)
        return std::filesystem::path(rest);

    // Made for this user alone: the identifier file is written in it.
    createPrivateFolders(root);
    // "C:\x" and "C:x" both name x at the drive's top: there is no current folder per
    // drive here.
    std::size_t skip = 0;
    while (skip < rest.size() && rest[skip] == '/')
        ++skip;
    rest.erase(0, skip);
    return rest.empty() ? root : root / rest;
#endif
}

} // namespace textfile
