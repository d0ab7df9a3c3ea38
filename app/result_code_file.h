// The result code file through which host mode hands its result back.
//
// "Quadrano.ini" in the executable's folder; the one entry written is
// section "Transformadores", key "Transformado", the code as decimal text
// ("1", "0", "-1"). Everything else in the file stays as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tq {

inline constexpr std::string_view kResultCodeFileName = "Quadrano.ini";
inline constexpr std::string_view kResultCodeSection = "Transformadores";
inline constexpr std::string_view kResultCodeKey = "Transformado";

// `executable_dir` / "Quadrano.ini".
std::filesystem::path ResultCodeFilePath(const std::filesystem::path& executable_dir);

// Writes `code` into the file. Raises Error "Unable to write to <path>" when
// the file cannot be written.
void WriteResultCode(int32_t code, const std::filesystem::path& executable_dir);

}  // namespace tq
