// The export run: from the exchange document to the six working tables.
//
// BExportarClick follows the export action of the window through a RunPort:
// file choice, existence test, load, then the six builders in their fixed
// order. The six tables are built first under temporary names in the working
// directory and replace the old ones only when all six are complete: a run
// that fails leaves every table exactly as it was.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "app/run_port.h"

namespace tq {

// What an export did, for the command-line summary.
struct ExportReport {
  struct TableRows {
    std::string table;  // "ASIGNOMT", ...
    std::size_t rows = 0;
  };
  struct Skipped {
    std::string list;    // the output list's name, "MATERIAS", ...
    std::size_t index;   // 0-based position of the list element
    std::string reason;  // Spanish, UTF-8
  };
  std::vector<TableRows> tables;  // in the order written
  std::vector<Skipped> skipped;
};

// Raises tq::Error on failure (nothing changed then but ArchivoXML and
// DocXML); the result code keeps its value.
RunOutcome BExportarClick(ProcessState& state, RunPort& port,
                          const std::filesystem::path& working_dir,
                          ExportReport* report = nullptr);

}  // namespace tq
