// Paths of the working directory, the dialog folder and the executable.
//
// The system names its folders the Windows way ("C:\QTEMP"). On Windows they
// are used as they are. Elsewhere a drive-letter path follows the convention
// of the compatibility layer in which users run the timetabling program:
// "C:\..." is "$WINEPREFIX/drive_c/..." ($WINEPREFIX defaults to ~/.wine),
// and each component is matched ignoring letter case against what exists.
#pragma once

#include <filesystem>
#include <string_view>

namespace tq {

// "C:\QTEMP", mapped.
std::filesystem::path DefaultWorkingDirectory();
// "c:\qtemp\gestaro", mapped.
std::filesystem::path DefaultDialogFolder();

// Maps a Windows path to a local one as above. Components that do not exist
// are kept as written.
std::filesystem::path MapWindowsPath(std::string_view windows_path);

// The entry of `folder` whose name equals `name` ignoring ASCII letter case
// (an exact match first); `folder / name` when there is none.
std::filesystem::path FindIgnoringCase(const std::filesystem::path& folder,
                                       std::string_view name);

// The folder of the running executable.
std::filesystem::path ExecutableDirectory();

}  // namespace tq
