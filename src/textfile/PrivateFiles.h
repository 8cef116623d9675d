// Files and folders the programs make for the administrator: the owner's alone, and never
// reached through a link that someone else placed on the way.
//
// A calendar export or the identifier file may land in a folder other users can write to
// (/tmp, a shared drive folder). Whoever can write there can guess a fixed name and put a
// symbolic link in its place, so nothing here opens a fixed name that it might create:
// whole files are written to a new file with a random name, made exclusively, and renamed
// into place; appending refuses to follow a link.
#pragma once

#include <filesystem>
#include <string_view>

namespace textfile {

// Replaces the file `target` with `data`. The data goes to a new file with a random name
// in the target's folder (created exclusively, never through a link), is forced to the
// disk and then renamed over the target, so the target holds either its old or its whole
// new content. The new file has mode 0600 whatever the umask; when `target` is a regular
// file already, its permission bits are kept. A link at `target` is replaced, not
// followed. Throws std::system_error ("cannot write \"<target>\"") and leaves no
// temporary file behind.
void replaceFile(const std::filesystem::path &target, std::string_view data);

// Moves the file `from` to `to` in the same file system unless `to` exists, and forces
// the move to the disk. False (errno set; EEXIST when `to` exists) when it cannot.
bool moveIntoPlace(const std::filesystem::path &from, const std::filesystem::path &to);

// Opens `path` for appending, creating it with mode 0600 when missing. Fails with ELOOP
// (returns -1, errno set) when `path` itself is a symbolic link.
int openForAppend(const std::filesystem::path &path);

// Creates `dir` and any missing folders above it with mode 0700; folders that exist are
// left as they are. False (errno set) when one cannot be made.
bool createPrivateFolders(const std::filesystem::path &dir);

} // namespace textfile
