// Writing one entry of an ini file as the Windows profile-string writer does.
#pragma once

#include <filesystem>
#include <string_view>

namespace tq {

// Sets `key` in `section` to `value`. The file is created if missing; section
// and key are matched ignoring letter case and added when missing; an
// existing value is replaced; every other line, comment, blank line, line
// ending and their order stay as they were. Written atomically. Raises Error
// "Unable to write to <path>" when the file cannot be written.
void WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value,
                               const std::filesystem::path& path);

}  // namespace tq
