// The result code file (see result_code_file.h).
#include "app/result_code_file.h"

#include <string>

#include "platform/ini_file.h"

namespace tq {

std::filesystem::path ResultCodeFilePath(const std::filesystem::path& executable_dir) {
  return executable_dir / std::string(kResultCodeFileName);
}

void WriteResultCode(int32_t code, const std::filesystem::path& executable_dir) {
  WritePrivateProfileString(kResultCodeSection, kResultCodeKey,
                            std::to_string(code),
                            ResultCodeFilePath(executable_dir));
}

}  // namespace tq
