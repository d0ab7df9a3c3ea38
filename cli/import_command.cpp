// `transquadrix import FILE`: the import run with the file named on the
// command line, followed by a short summary of what the run found.
#include <iostream>
#include <string>

#include "app/process_state.h"
#include "cli/cli_port.h"
#include "cli/commands.h"
#include "import/import_run.h"

namespace tq::cli {
namespace {

// Spanish names of the look-ups the report counts.
std::string LookupName(const std::string& lookup) {
  if (lookup == "franja") return "franja horaria (DIASHORAST)";
  if (lookup == "aula") return "aula (AULAT)";
  if (lookup == "unidad") return "unidad (GRUPOST)";
  if (lookup == "materia") return "materia (ASIGT y ASIGNOMT)";
  return lookup;
}

void PrintSummary(const ImportReport& report) {
  std::cout << "Profesores: " << report.teachers << '\n'
            << "Actividades escritas: " << report.lessons << '\n'
            << "Filas de SOLUC con DIA 0 (omitidas): " << report.rows_day_zero
            << '\n';
  for (const ImportReport::Unmatched& entry : report.unmatched) {
    std::cout << "Sin " << LookupName(entry.lookup) << ": " << entry.lessons
              << " actividades";
    if (!entry.first_keys.empty()) {
      std::cout << " (primeras claves: ";
      const char* separator = "";
      for (const std::string& key : entry.first_keys) {
        std::cout << separator << "«" << key << "»";
        separator = ", ";
      }
      std::cout << ')';
    }
    std::cout << '\n';
  }
  const std::u8string file = report.result_file.u8string();
  std::cout << "Documento de resultado: "
            << std::string(file.begin(), file.end()) << '\n';
}

}  // namespace

int RunImportCommand(const CommandOptions& options) {
  ProcessState state;
  CliPort port(options.file);
  ImportReport report;
  if (BImportarClick(state, port, options.working_dir, &report) ==
      RunOutcome::kNoFile) {
    return kExitNoFile;
  }
  PrintSummary(report);
  return kExitCompleted;
}

}  // namespace tq::cli
