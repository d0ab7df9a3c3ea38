// The import run: from the timetable in SOLUC and the working tables to the
// result document "ResultadoQuadrix<name>" beside the chosen document.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "app/run_port.h"

namespace tq {

// What an import did, for the command-line summary.
struct ImportReport {
  std::filesystem::path result_file;
  std::size_t teachers = 0;
  std::size_t lessons = 0;          // activity lists written
  std::size_t rows_day_zero = 0;    // SOLUC rows passed over, DIA 0
  struct Unmatched {
    std::string lookup;             // "franja", "aula", "unidad", "materia"
    std::size_t lessons = 0;        // lessons whose look-up found nothing
    std::vector<std::string> first_keys;  // the first few keys, UTF-8
  };
  std::vector<Unmatched> unmatched;
};

// Raises tq::Error on failure: nothing is saved then and the result code
// keeps its value.
RunOutcome BImportarClick(ProcessState& state, RunPort& port,
                          const std::filesystem::path& working_dir,
                          ImportReport* report = nullptr);

}  // namespace tq
