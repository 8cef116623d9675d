// drivePath: where a Windows path the program was given lives on this machine.
//
// The program keeps the Windows paths it was given ("C:\Larkspur Calendar ID.Txt",
// "C:\Tessel\Books05.ICO") and shows them as they are; only opening a file goes
// through this mapping.
//
//  - On Windows the path is used as it is.
//  - Elsewhere a drive letter X: maps to the directory named by LARKSPUR_DRIVE_X
//    (LARKSPUR_DRIVE_C for C:), else to $XDG_DATA_HOME/larkspur/drive_x
//    (~/.local/share/larkspur/drive_x). That directory is created on demand, mode
//    0700: the mapping of a drive path creates it when missing (not the folders inside
//    it).
//  - A backslash is a path separator everywhere, so "<folder>\Books05.ICO" resolves
//    on Linux too. Paths without a drive letter keep everything else as it is.
#pragma once

#include <filesystem>
#include <string_view>

namespace textfile {

// The local path for `windowsPath` (see above). Never throws for a failed directory
// creation: opening the file then reports the missing path.
std::filesystem::path drivePath(std::string_view windowsPath);

// The directory that stands for drive `letter` (upper or lower case); not created.
std::filesystem::path driveRoot(char letter);

} // namespace textfile
