// Fuzzes the export run end to end: the bytes are the exchange document,
// exported through a silent port into one scratch working directory per
// process. Any input must either complete or raise tq::Error; a crash,
// leak, overflow or undefined behaviour is a fault. A run that raised must
// leave no temporary table behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "app/process_state.h"
#include "export/export_run.h"
#include "fuzz/fuzz_port.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  namespace fs = std::filesystem;
  const fs::path& scratch = tq::fuzz::ScratchFolder("export_run_fuzz");
  const fs::path document = scratch / "datos.xml";
  tq::fuzz::WriteBytes(document, data, size);
  tq::ProcessState state;
  tq::fuzz::SilentPort port(document.string());
  try {
    tq::ExportReport report;
    tq::BExportarClick(state, port, scratch / "work", &report);
  } catch (const tq::Error&) {
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(scratch / "work")) {
    if (entry.path().filename().string().find(".~tq") != std::string::npos) {
      std::abort();  // a temporary table outlived its run
    }
  }
  return 0;
}
