// transquadrix: the converter's two runs from the command line, for scripting
// and for end-to-end tests. It drives the same runs as the window.
//
//   transquadrix export FILE [--workdir DIR]
//   transquadrix import FILE [--workdir DIR]
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "cli/commands.h"
#include "platform/paths.h"

namespace {

constexpr std::string_view kUsage =
    "Uso: transquadrix export|import ARCHIVO [--workdir CARPETA]\n"
    "  export   convierte el documento de intercambio en las tablas de trabajo\n"
    "  import   escribe el horario de SOLUC en ResultadoQuadrix<ARCHIVO>\n"
    "  --workdir CARPETA   carpeta de las tablas (por omisión C:\\QTEMP)\n";

int Usage() {
  std::cerr << kUsage;
  return tq::cli::kExitError;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command;
  std::string file;
  std::filesystem::path working_dir;
  bool have_file = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--workdir") {
      if (++i == argc) return Usage();
      working_dir = argv[i];
    } else if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return tq::cli::kExitCompleted;
    } else if (command.empty()) {
      command = arg;
    } else if (!have_file) {
      file = arg;
      have_file = true;
    } else {
      return Usage();
    }
  }
  if (!have_file || (command != "export" && command != "import")) return Usage();

  try {
    tq::cli::CommandOptions options;
    // The runs work on full paths, as the file dialog gives them.
    options.file = file.empty() ? file : std::filesystem::absolute(file).string();
    options.working_dir =
        working_dir.empty() ? tq::DefaultWorkingDirectory() : working_dir;
    return command == "export" ? tq::cli::RunExportCommand(options)
                               : tq::cli::RunImportCommand(options);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return tq::cli::kExitError;
  }
}
