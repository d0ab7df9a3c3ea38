// The bundled example document: it is what its generator writes, and the six
// tables exported from it read back, through an independent dBase reader
// (python3-dbfread), exactly as the export's rules give them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/process_state.h"
#include "export/export_run.h"
#include "export/tests/export_fixture.h"

namespace tq {
namespace {
namespace fs = std::filesystem;

const fs::path kSource = TQ_SOURCE_DIR;
const fs::path kExample = kSource / "examples" / "instituto_ejemplo.xml";
const char* const kPython = "/usr/bin/python3";

// Runs `command` through the shell with its output in `output`; its exit
// status.
int RunCommand(const std::string& command, const fs::path& output) {
  const int status =
      std::system((command + " >'" + output.string() + "' 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ExampleDocument, IsWhatItsGeneratorWrites) {
  testing::ScratchDir dir;
  ASSERT_EQ(RunCommand(std::string(kPython) + " '" +
                           (kSource / "examples" / "make_example.py").string() +
                           "' '" + (dir / "generado.xml").string() + "'",
                       dir / "salida.txt"),
            0)
      << testing::ReadBytes(dir / "salida.txt");
  EXPECT_TRUE(testing::ReadBytes(dir / "generado.xml") ==
              testing::ReadBytes(kExample))
      << "run examples/make_example.py and commit its output";
}

TEST(ExampleDocument, ExportedTablesReadBackWithDbfread) {
  testing::ScratchDir work;
  ProcessState state;
  testing::FakePort port(kExample.string());
  ExportReport report;
  ASSERT_EQ(BExportarClick(state, port, work.path(), &report),
            RunOutcome::kCompleted);

  const testing::Cells rows = {
      {"ASIGNOMT", "33"}, {"PROFT", "40"}, {"AULAT", "54"},
      {"GRUPOST", "60"},  {"ASIGT", "300"}, {"DIASHORAST", "30"}};
  ASSERT_EQ(report.tables.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(report.tables[i].table, rows[i][0]);
    EXPECT_EQ(std::to_string(report.tables[i].rows), rows[i][1]);
  }
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].index, 5u);
  EXPECT_EQ(report.skipped[0].reason, "código de materia repetido 'Mat'");
  EXPECT_EQ(report.skipped[1].index, 34u);

  const fs::path output = work / "dbfread.txt";
  const int status = RunCommand(
      std::string(kPython) + " '" +
          (kSource / "export" / "tests" / "check_exported_tables.py").string() +
          "' '" + kExample.string() + "' '" + work.path().string() + "'",
      output);
  EXPECT_EQ(status, 0) << testing::ReadBytes(output);
  EXPECT_EQ(testing::ReadBytes(output),
            "ASIGNOMT 33\nPROFT 40\nAULAT 54\nGRUPOST 60\nASIGT 300\n"
            "DIASHORAST 30\n");
}

}  // namespace
}  // namespace tq
