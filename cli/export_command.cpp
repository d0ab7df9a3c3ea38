// `transquadrix export FILE`: the export run with the file named on the
// command line, followed by a short summary: rows written per table, and the
// list elements passed over with the reason.
#include <cstddef>
#include <iostream>

#include "app/process_state.h"
#include "cli/cli_port.h"
#include "cli/commands.h"
#include "export/export_run.h"

namespace tq::cli {
namespace {

// Passed-over elements listed one by one; the rest are only counted.
constexpr std::size_t kMaxSkippedLines = 10;

void PrintSummary(const ExportReport& report) {
  std::cout << "Filas escritas:\n";
  for (const ExportReport::TableRows& table : report.tables) {
    std::cout << "  " << table.table << ": " << table.rows << '\n';
  }
  if (report.skipped.empty()) return;
  std::cout << "Elementos omitidos: " << report.skipped.size() << '\n';
  for (std::size_t i = 0; i < report.skipped.size() && i < kMaxSkippedLines;
       ++i) {
    const ExportReport::Skipped& skipped = report.skipped[i];
    std::cout << "  " << skipped.list << " n.º " << skipped.index + 1 << ": "
              << skipped.reason << '\n';
  }
  if (report.skipped.size() > kMaxSkippedLines) {
    std::cout << "  ... y " << report.skipped.size() - kMaxSkippedLines
              << " más\n";
  }
}

}  // namespace

int RunExportCommand(const CommandOptions& options) {
  ProcessState state;
  CliPort port(options.file);
  ExportReport report;
  if (BExportarClick(state, port, options.working_dir, &report) ==
      RunOutcome::kNoFile) {
    return kExitNoFile;
  }
  PrintSummary(report);
  return kExitCompleted;
}

}  // namespace tq::cli
