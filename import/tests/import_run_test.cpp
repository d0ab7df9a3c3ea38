// The import run: its frame, the teacher loop and the result document.
#include "import/import_run.h"

#include <gtest/gtest.h>

#include <functional>

#include "formats/table_layouts.h"
#include "import/tests/import_fixture.h"
#include "platform/error.h"

namespace tq {
namespace {

namespace fs = std::filesystem;
using testing::Assignment;
using testing::FakePort;
using testing::Group;
using testing::Lesson;
using testing::OutlineOfSalidas;
using testing::ReadFile;
using testing::Room;
using testing::RootChildren;
using testing::Slot;
using testing::Subject;
using testing::Teacher;
using testing::TempDir;
using testing::WorkingTables;
using Lines = std::vector<std::string>;

constexpr std::string_view kDocument =
    R"(<?xml version="1.0" encoding="UTF-8"?>)"
    "\n<SERVICIO><SALIDAS><listasal seq=\"PROFESORES\"/></SALIDAS></SERVICIO>\n";

class ImportRunTest : public ::testing::Test {
 protected:
  ImportRunTest() {
    tables_.subjects = {Subject("MAT", "M001")};
    tables_.slots = {Slot("L1", "T-L1", "1"), Slot("L2", "T-L2", "1")};
    tables_.rooms = {Room("A1", "DC-A1")};
    tables_.groups = {Group("1A", "U-1A")};
    tables_.assignments = {Assignment("MAT", "1A", "M-1A")};
  }

  fs::path Input() const { return docs_ / "datos.xml"; }
  fs::path Result() const { return docs_ / "ResultadoQuadrixdatos.xml"; }

  // Writes the document and the tables, then runs the import on them.
  RunOutcome Run(std::string_view document = kDocument) {
    testing::WriteFile(Input(), document);
    tables_.Write(work_.Path());
    port_.choice = Input().string();
    return BImportarClick(state_, port_, work_.Path(), &report_);
  }

  // Every component has let its table go: each can be opened exclusively.
  void ExpectTablesReleased() {
    for (const fs::path& file : fs::directory_iterator(work_.Path())) {
      SCOPED_TRACE(file.string());
      dbf::Table table("check", file);
      EXPECT_NO_THROW(table.Open());
    }
  }

  TempDir work_;
  TempDir docs_;
  WorkingTables tables_;
  ProcessState state_;
  FakePort port_;
  ImportReport report_;
};

TEST_F(ImportRunTest, NoFileEndsTheRunWithItsMessage) {
  struct Case {
    const char* name;
    int32_t mode;
    std::optional<std::string> choice;
    int32_t code_after;
    Lines events;
  };
  const Case cases[] = {
      {"stand-alone, dialog cancelled", 0, std::nullopt, 7,
       {"dialog", "message No existe archivo"}},
      {"host mode, dialog cancelled", 2, std::nullopt, 0,
       {"dialog", "message No existe archivo", "close"}},
      {"host mode, missing file", 2, "/nonexistent/datos.xml", 0,
       {"dialog", "message No existe archivo", "close"}},
      {"a folder is no file", 0, "/tmp", 7,
       {"dialog", "message No existe archivo"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProcessState state;
    state.ModoAnfitrion = c.mode;
    state.CodigoResultado = 7;
    FakePort port;
    port.choice = c.choice;
    EXPECT_EQ(BImportarClick(state, port, work_.Path()), RunOutcome::kNoFile);
    EXPECT_EQ(state.CodigoResultado, c.code_after);
    EXPECT_EQ(port.events, c.events);
    EXPECT_EQ(state.DocXML, nullptr);
  }
}

TEST_F(ImportRunTest, CompletedRunReplacesTheResultAndSetsCodeOne) {
  tables_.teachers = {Teacher("A1", "E1", "F1")};
  tables_.lessons = {Lesson("A1", "1", "1", "MAT", "A1", "1A", "MAT")};
  testing::WriteFile(Result(), "earlier result");
  state_.ModoAnfitrion = 2;

  EXPECT_EQ(Run(), RunOutcome::kCompleted);
  EXPECT_EQ(state_.CodigoResultado, 1);
  EXPECT_EQ(port_.events, (Lines{"dialog", "busy", "normal",
                                 "message Proceso finalizado", "close"}));
  EXPECT_EQ(OutlineOfSalidas(Result()),
            (Lines{"ERROR CN_ERROR=0 TE_ERROR=Servicio finalizado Correctamente",
                   "EMPLEADO_1 X_EMPLEADO=E1 F_TOMAPOS=F1",
                   "  ACTIVIDAD_1 M001|1|T-L1|DC-A1|U-1A|M-1A"}));
  EXPECT_EQ(ReadFile(Input()), kDocument) << "the input is never written";
  EXPECT_EQ(report_.result_file, Result());
  ExpectTablesReleased();

  // A later run whose dialog is cancelled imports the same document again.
  port_.choice.reset();
  state_.ModoAnfitrion = 0;
  fs::remove(Result());
  EXPECT_EQ(BImportarClick(state_, port_, work_.Path()), RunOutcome::kCompleted);
  EXPECT_TRUE(fs::exists(Result()));
}

TEST_F(ImportRunTest, TeacherLoopWalksEveryTeacherRowInTableOrder) {
  tables_.teachers = {Teacher("A1", "E1", "F1"), Teacher("B2", "E2", "F2"),
                      Teacher("O'NE", "E3", "F3"), Teacher("A1", "E4", "F4"),
                      Teacher("C3", "E5", "F5")};
  tables_.lessons = {
      Lesson("A1", "1", "1", "MAT", "A1", "1A", "MAT"),
      Lesson("C3", "0", "1", "MAT", "A1", "1A", "MAT"),
      Lesson("A1", "0", "2", "MAT", "A1", "1A", "MAT"),
      Lesson("O'NE", "1", "2", "X", "A1", "1A", "MAT"),
      Lesson("ZZ", "1", "1", "MAT", "A1", "1A", "MAT"),
      Lesson("A1", "1", "2", "", "Z9", "1A", "MAT"),
      Lesson("a1", "1", "2", "MAT", "A1", "1A", "MAT"),
  };
  ASSERT_EQ(Run(), RunOutcome::kCompleted);

  const std::string first = "  ACTIVIDAD_1 M001|1|T-L1|DC-A1|U-1A|M-1A";
  const std::string second = "  ACTIVIDAD_2 G439|1|T-L2||U-1A|M-1A";
  EXPECT_EQ(OutlineOfSalidas(Result()),
            (Lines{"ERROR CN_ERROR=0 TE_ERROR=Servicio finalizado Correctamente",
                   "EMPLEADO_1 X_EMPLEADO=E1 F_TOMAPOS=F1", first, second,
                   "EMPLEADO_2 X_EMPLEADO=E2 F_TOMAPOS=F2",
                   "EMPLEADO_3 X_EMPLEADO=E3 F_TOMAPOS=F3",
                   "  ACTIVIDAD_1 X|1|T-L2|DC-A1|U-1A|M-1A",
                   "EMPLEADO_4 X_EMPLEADO=E4 F_TOMAPOS=F4", first, second,
                   "EMPLEADO_5 X_EMPLEADO=E5 F_TOMAPOS=F5"}));

  EXPECT_EQ(report_.teachers, 5u);
  EXPECT_EQ(report_.lessons, 5u);
  EXPECT_EQ(report_.rows_day_zero, 3u);
  ASSERT_EQ(report_.unmatched.size(), 4u);
  EXPECT_EQ(report_.unmatched[1].lookup, "aula");
  EXPECT_EQ(report_.unmatched[1].lessons, 2u);
  EXPECT_EQ(report_.unmatched[1].first_keys, Lines{"Z9"});
  EXPECT_EQ(report_.unmatched[0].lessons, 0u);
}

TEST_F(ImportRunTest, EmptyTeacherTableLeavesOnlyTheStatusBlock) {
  tables_.lessons = {Lesson("A1", "1", "1", "MAT", "A1", "1A", "MAT")};
  ASSERT_EQ(Run(), RunOutcome::kCompleted);
  EXPECT_EQ(OutlineOfSalidas(Result()),
            (Lines{"ERROR CN_ERROR=0 TE_ERROR=Servicio finalizado Correctamente"}));
  EXPECT_EQ(report_.teachers, 0u);
}

// The whole result of a tiny input, byte for byte: nodes before and after the
// old SALIDAS stay as loaded, the new SALIDAS is last, written without any
// whitespace, empty values keep their key and have no text, and code page
// 1252 text from the tables arrives as UTF-8.
TEST_F(ImportRunTest, WritesTheExactResultDocument) {
  tables_.teachers = {Teacher("A1", "N\xF1" "1", "")};
  tables_.lessons = {Lesson("A1", "1", "1", "MAT", "Z9", "1A", "MAT")};
  ASSERT_EQ(Run("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<SERVICIO>\n  <CABECERA a=\"1\">x</CABECERA>\n"
                "  <SALIDAS><listasal seq=\"MATERIAS\"/></SALIDAS>\n"
                "  <PIE/>\n</SERVICIO>\n"),
            RunOutcome::kCompleted);
  EXPECT_EQ(ReadFile(Result()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<SERVICIO>\n  <CABECERA a=\"1\">x</CABECERA>\n  \n"
            "  <PIE/>\n"
            "<SALIDAS><ERROR><salida dato=\"CN_ERROR\">0</salida>"
            "<salida dato=\"TE_ERROR\">Servicio finalizado Correctamente</salida>"
            "</ERROR>"
            "<listasal seq=\"EMPLEADO_1\">"
            "<salida dato=\"X_EMPLEADO\">N\xC3\xB1" "1</salida>"
            "<salida dato=\"F_TOMAPOS\"/>"
            "<listasal seq=\"ACTIVIDAD_1\">"
            "<salida dato=\"X_ACTIVIDAD\">M001</salida>"
            "<salida dato=\"N_DIASEMANA\">1</salida>"
            "<salida dato=\"X_TRAMO\">T-L1</salida>"
            "<salida dato=\"X_DEPCENTRO\"/>"
            "<salida dato=\"X_UNIDAD\">U-1A</salida>"
            "<salida dato=\"X_MATERIAOMC\">M-1A</salida>"
            "</listasal></listasal></SALIDAS></SERVICIO>\n");
}

TEST_F(ImportRunTest, ReplacesOnlyTheFirstSalidasWhateverTheRoot) {
  struct Case {
    const char* name;
    std::string document;
    Lines root_children;
  };
  const Case cases[] = {
      {"elements after SALIDAS come first",
       "<SERVICIO><A/><SALIDAS/><B/><C/></SERVICIO>",
       {"A", "B", "C", "SALIDAS"}},
      {"the second SALIDAS stays, ahead of the new one",
       "<SERVICIO><SALIDAS><X/></SALIDAS><SALIDAS><Y/></SALIDAS></SERVICIO>",
       {"SALIDAS", "SALIDAS"}},
      {"a root that is not SERVICIO", "<OTRO><SALIDAS/><D/></OTRO>",
       {"D", "SALIDAS"}},
  };
  tables_.teachers = {Teacher("A1", "E1", "F1")};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Run(c.document), RunOutcome::kCompleted);
    EXPECT_EQ(RootChildren(Result()), c.root_children);
    EXPECT_EQ(OutlineOfSalidas(Result()),
              (Lines{"ERROR CN_ERROR=0 TE_ERROR=Servicio finalizado Correctamente",
                     "EMPLEADO_1 X_EMPLEADO=E1 F_TOMAPOS=F1"}));
  }
  // The second SALIDAS kept its content and received nothing.
  ASSERT_EQ(Run(cases[1].document), RunOutcome::kCompleted);
  EXPECT_NE(ReadFile(Result()).find("<SALIDAS><Y/></SALIDAS><SALIDAS><ERROR>"),
            std::string::npos);
}

// A run that fails saves nothing: an earlier result stays as it was, the
// result code keeps its value, the pointer is normal again, no message is
// shown, and every table is let go.
TEST_F(ImportRunTest, FailedRunChangesNothing) {
  struct Case {
    const char* name;
    std::string document;
    std::function<void(WorkingTables&)> damage;
    std::string removed_table;  // a file taken away after writing
    std::string message;        // part of the error's text
  };
  const auto nothing = [](WorkingTables&) {};
  const Case cases[] = {
      {"no SALIDAS", "<SERVICIO><OTRA/></SERVICIO>", nothing, "",
       "no tiene sección SALIDAS"},
      {"not well-formed", "<SERVICIO><SALIDAS></SERVICIO>", nothing, "",
       "datos.xml"},
      {"empty file", "", nothing, "", "datos.xml"},
      {"SOLUC lacks CODGRUPO", std::string(kDocument),
       [](WorkingTables& t) {
         t.soluc_fields.erase(t.soluc_fields.begin() + 5);
         t.lessons[0].erase(t.lessons[0].begin() + 5);
       },
       "", "wwTableSoluc: No se encuentra el campo 'CODGRUPO'"},
      {"DIA is not a whole number", std::string(kDocument),
       [](WorkingTables& t) {
         t.soluc_fields[1] = {"DIA", dbf::FieldKind::kString, 2};
         t.lessons[0][1].value = "x";
       },
       "", "'x' no es un valor entero válido"},
      {"ASIGT missing", std::string(kDocument), nothing, "ASIGT.DBF",
       "ASIGT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir work;
    WorkingTables tables = tables_;
    tables.teachers = {Teacher("A1", "E1", "F1")};
    tables.lessons = {Lesson("A1", "1", "1", "MAT", "A1", "1A", "MAT")};
    c.damage(tables);
    tables.Write(work.Path());
    if (!c.removed_table.empty()) fs::remove(work / c.removed_table);
    testing::WriteFile(Input(), c.document);
    testing::WriteFile(Result(), "earlier result");
    ProcessState state;
    state.CodigoResultado = 7;
    state.ModoAnfitrion = 2;
    FakePort port;
    port.choice = Input().string();

    try {
      BImportarClick(state, port, work.Path());
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
          << e.what();
    }
    EXPECT_EQ(ReadFile(Result()), "earlier result");
    EXPECT_EQ(state.CodigoResultado, 7);
    EXPECT_FALSE(port.busy);
    EXPECT_EQ(port.events, (Lines{"dialog", "busy", "normal"}));
    for (const fs::path& file : fs::directory_iterator(work.Path())) {
      dbf::Table table("check", file);
      EXPECT_NO_THROW(table.Open()) << file;
    }
  }
}

TEST_F(ImportRunTest, FindsTablesWrittenInSmallLetters) {
  tables_.teachers = {Teacher("A1", "E1", "F1")};
  tables_.lessons = {Lesson("A1", "1", "1", "MAT", "A1", "1A", "MAT")};
  tables_.Write(work_.Path());
  fs::rename(work_ / "SOLUC.DBF", work_ / "soluc.dbf");
  testing::WriteFile(Input(), kDocument);
  port_.choice = Input().string();
  ASSERT_EQ(BImportarClick(state_, port_, work_.Path()), RunOutcome::kCompleted);
  EXPECT_EQ(OutlineOfSalidas(Result()).size(), 3u);
}

}  // namespace
}  // namespace tq
