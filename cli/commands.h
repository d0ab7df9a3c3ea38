// The commands of `transquadrix`. Each returns the process exit status:
// 0 "Proceso finalizado", 1 "No existe archivo", 2 an error (its message on
// standard error).
#pragma once

#include <filesystem>
#include <string>

namespace tq::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitNoFile = 1;
inline constexpr int kExitError = 2;

struct CommandOptions {
  std::string file;                    // the exchange document, absolute
  std::filesystem::path working_dir;   // the working tables' folder
};

int RunExportCommand(const CommandOptions& options);
int RunImportCommand(const CommandOptions& options);

}  // namespace tq::cli
