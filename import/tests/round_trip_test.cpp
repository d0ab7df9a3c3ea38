// End to end: the example school exported, the example timetable dropped in
// as the timetabling program would, and imported; then a second export and
// import in the same process, over the tables the first import read.
#include <gtest/gtest.h>

#include "export/export_run.h"
#include "import/import_run.h"
#include "import/tests/import_fixture.h"

namespace tq {
namespace {

namespace fs = std::filesystem;
using testing::FakePort;
using testing::OutlineOfSalidas;
using testing::ReadFile;
using testing::TempDir;
using Lines = std::vector<std::string>;

const fs::path kExamples = fs::path(TQ_SOURCE_DIR) / "examples";

// The lines of the outline that follow `seq` ("EMPLEADO_2 ..."), up to the
// next teacher list.
Lines TeacherLines(const Lines& outline, const std::string& seq) {
  Lines lines;
  bool inside = false;
  for (const std::string& line : outline) {
    if (line.rfind("EMPLEADO_", 0) == 0) inside = line.rfind(seq + " ", 0) == 0;
    if (inside) lines.push_back(line);
  }
  return lines;
}

TEST(RoundTripTest, ExampleSchoolExportedTimetableImported) {
  TempDir work;
  TempDir docs;
  const fs::path document = docs / "instituto_ejemplo.xml";
  fs::copy_file(kExamples / "instituto_ejemplo.xml", document);
  const fs::path result = docs / "ResultadoQuadrixinstituto_ejemplo.xml";

  ProcessState state;
  FakePort port;
  port.choice = document.string();
  ASSERT_EQ(BExportarClick(state, port, work.Path()), RunOutcome::kCompleted);
  fs::copy_file(kExamples / "SOLUC.DBF", work / "SOLUC.DBF");

  ImportReport report;
  ASSERT_EQ(BImportarClick(state, port, work.Path(), &report),
            RunOutcome::kCompleted);
  EXPECT_EQ(state.CodigoResultado, 1);
  EXPECT_EQ(report.result_file, result);
  // 984 rows: one deleted, one of a teacher the school does not have, three
  // not placed (DIA 0), the rest lessons.
  EXPECT_EQ(report.teachers, 40u);
  EXPECT_EQ(report.lessons, 979u);
  EXPECT_EQ(report.rows_day_zero, 3u);
  ASSERT_EQ(report.unmatched.size(), 4u);
  EXPECT_EQ(report.unmatched[0].lessons, 1u);
  EXPECT_EQ(report.unmatched[0].first_keys, Lines{"V9"});
  EXPECT_EQ(report.unmatched[1].first_keys, (Lines{"", "ZZ9"}));

  const Lines outline = OutlineOfSalidas(result);
  ASSERT_FALSE(outline.empty());
  EXPECT_EQ(outline[0],
            "ERROR CN_ERROR=0 TE_ERROR=Servicio finalizado Correctamente");
  const Lines first = TeacherLines(outline, "EMPLEADO_1");
  ASSERT_EQ(first.size(), 25u);
  EXPECT_EQ(first[0], "EMPLEADO_1 X_EMPLEADO=1020300 F_TOMAPOS=01/09/2005");
  // The deleted copy of this lesson is not read: the next one is L2.
  EXPECT_EQ(first[1], "  ACTIVIDAD_1 LE|1|904001|5500101|7701000|300101");
  EXPECT_EQ(first[2], "  ACTIVIDAD_2 LE|1|904002|5500101|7701000|300101");
  // A task subject (tutoría): its code both as activity and as subject.
  EXPECT_EQ(first[15], "  ACTIVIDAD_15 G512|3|904023|5500907|7701171|G512");
  // Hour 9 does not exist: no slot, the rest found.
  EXPECT_EQ(first[24], "  ACTIVIDAD_24 LE|||5500101|7701000|300101");
  // A duty session: no room, group or subject.
  EXPECT_EQ(TeacherLines(outline, "EMPLEADO_2")[1],
            "  ACTIVIDAD_1 G512|1|904001|||");
  EXPECT_EQ(TeacherLines(outline, "EMPLEADO_40").back(),
            "  ACTIVIDAD_23 LE|1|904001|||");
  const std::string imported = ReadFile(result);

  // Nothing of the import holds a table: the export re-creates all six, and
  // the import after it writes the same result again.
  ASSERT_EQ(BExportarClick(state, port, work.Path()), RunOutcome::kCompleted);
  fs::remove(result);
  ASSERT_EQ(BImportarClick(state, port, work.Path()), RunOutcome::kCompleted);
  EXPECT_EQ(ReadFile(result), imported);
  EXPECT_EQ(ReadFile(document), ReadFile(kExamples / "instituto_ejemplo.xml"));
}

}  // namespace
}  // namespace tq
