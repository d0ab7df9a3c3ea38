// The four catalogue builders: subjects, teachers, rooms, groups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/builders.h"
#include "export/tests/export_fixture.h"
#include "formats/table_layouts.h"

namespace tq {
namespace {

using testing::Cells;
using testing::Columns;
using testing::Element;
using testing::List;
using testing::ReadRows;

struct Case {
  const char* name;
  std::vector<std::vector<std::string>> elements;  // values of each element
  Cells expected;
};

// Builds `table` from one list named `seq` holding `elements`.
std::vector<testing::Row> BuildList(void (*builder)(const BuilderContext&),
                                    const TableLayout& table, std::string_view seq,
                                    const std::vector<std::vector<std::string>>& elements,
                                    ExportReport* report = nullptr) {
  std::vector<std::string> xml_elements;
  for (const auto& values : elements) xml_elements.push_back(Element(values));
  testing::ScratchDir dir;
  const xml::Document document =
      testing::Parse(testing::Exchange({List(seq, xml_elements)}));
  return ReadRows(testing::Build(builder, table, document, dir.path(), report));
}

const std::string k45(45, 'n');

TEST(ExportarAsignaturas, WritesSubjectsWithTheirRules) {
  const Case cases[] = {
      {"positions and ESTAREA",
       {{"G439", "GUA", "GUARDIA", "Guardia"}, {"300123", "MAT", "MATEM", "Matemáticas"}},
       {{"GUA", "GUARDIA", "Guardia", "G439", "T"},
        {"MAT", "MATEM", "Matemáticas", "300123", "F"}}},
      {"ESTAREA false for lower-case g and empty subject",
       {{"g1", "A", "", ""}, {"", "B", "", ""}},
       {{"A", "", "", "g1", "F"}, {"B", "", "", "", "F"}}},
      {"codes differing in case: the first wins",
       {{"M1", "ab", "L1", "Uno"}, {"M2", "AB", "L2", "Dos"}},
       {{"ab", "L1", "Uno", "M1", "F"}}},
      {"accented codes differing in case",
       {{"M1", "ÁL", "", ""}, {"M2", "ál", "", ""}},
       {{"ÁL", "", "", "M1", "F"}}},
      {"codes differing after the fourth character both stay, cut",
       {{"M1", "MATE1", "", ""}, {"M2", "MATE2", "", ""}},
       {{"MATE", "", "", "M1", "F"}, {"MATE", "", "", "M2", "F"}}},
      {"widths cut and value texts trimmed",
       {{"  123456789 ", "\tABCDE\n", "123456789", k45}},
       {{"ABCD", "12345678", k45.substr(0, 40), "12345678", "F"}}},
      {"fewer than two values give no row; missing positions empty",
       {{}, {"solo"}, {"M", "C"}},
       {{"C", "", "", "M", "F"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Columns(BuildList(&ExportarAsignaturas, kAsignomt, "MATERIAS", c.elements),
                      {"COD", "CODLARGO", "NOMBRE", "MATERIA", "ESTAREA"}),
              c.expected);
  }
}

TEST(ExportarAsignaturas, ReportsRowsAndElementsPassedOver) {
  ExportReport report;
  BuildList(&ExportarAsignaturas, kAsignomt, "MATERIAS",
            {{"M1", "ab"}, {"uno"}, {"M2", "AB"}}, &report);
  ASSERT_EQ(report.tables.size(), 1u);
  EXPECT_EQ(report.tables[0].table, "ASIGNOMT");
  EXPECT_EQ(report.tables[0].rows, 1u);
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].list, "MATERIAS");
  EXPECT_EQ(report.skipped[0].index, 1u);
  EXPECT_EQ(report.skipped[1].index, 2u);
  EXPECT_NE(report.skipped[1].reason.find("'AB'"), std::string::npos);
}

TEST(ExportarProfesores, WritesTeachersByPosition) {
  const Case cases[] = {
      {"positions",
       {{"1000234", "01/09/2019", "Pérez Gómez, Ana", "APG"}},
       {{"APG", "Pérez Gómez, Ana", "", "", "1000234", "01/09/2019"}}},
      {"widths",
       {{"12345678901", "01/09/2019x", k45, "ABCDE"}},
       {{"ABCD", k45.substr(0, 40), "", "", "1234567890", "01/09/2019"}}},
      {"two values: the rest empty", {{"7", "8"}}, {{"", "", "", "", "7", "8"}}},
      {"one value: no row", {{"7"}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Columns(BuildList(&ExportarProfesores, kProft, "PROFESORES", c.elements),
                      {"ABREV", "NOMBRE", "DEPART", "DNI", "X_EMPLEADO", "F_TOMAPOS"}),
              c.expected);
  }
}

TEST(ExportarAulas, WritesRoomsWithTheAbbreviationFallback) {
  const Case cases[] = {
      {"positions",
       {{"D100", "LAB1", "Laboratorio", "B"}},
       {{"LAB1", "Laboratorio", "B", "", "D100"}}},
      {"empty abbreviation takes DEPCENTRO, cut",
       {{"D12345", "", "Aula", "A"}},
       {{"D123", "Aula", "A", "", "D12345"}}},
      {"blank abbreviation likewise",
       {{"D9", " \t ", "Aula", "A"}},
       {{"D9", "Aula", "A", "", "D9"}}},
      {"building of two characters keeps the first",
       {{"D1", "A1", "Aula", "BC"}},
       {{"A1", "Aula", "B", "", "D1"}}},
      {"two values", {{"D1", "A1"}}, {{"A1", "", "", "", "D1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Columns(BuildList(&ExportarAulas, kAulat, "AULAS", c.elements),
                      {"ABREV", "NOMBRE", "EDIFICIO", "MAXALUM", "DEPCENTRO"}),
              c.expected);
  }
}

TEST(ExportarGrupos, WritesGroupsWithLevelAndDescription) {
  const Case cases[] = {
      {"positions",
       {{"U100", "1EA", "M", "ESO", "1", "A"}},
       {{"1EA", "M", "ESO", "1", "A", "U100", "M ESO 1 A"}}},
      {"empty level gives NIV in both",
       {{"U1", "G1", "M", " ", "1", "A"}},
       {{"G1", "M", "NIV", "1", "A", "U1", "M NIV 1 A"}}},
      // " NIV  " is written; trailing blanks read back as field filling.
      {"all four empty keep the blanks",
       {{"U1", "G1", "", "", "", ""}},
       {{"G1", "", "NIV", "", "", "U1", " NIV"}}},
      {"blanks next to empty values",
       {{"U1", "G1", "", "", "1", ""}},
       {{"G1", "", "NIV", "1", "", "U1", " NIV 1"}}},
      {"DESCRIP from the full texts, fields cut",
       {{"U1", "G1", "MT", "BACHIL", "1ºX", "ABC"}},
       {{"G1", "M", "BACHI", "1ºX", "AB", "U1", "MT BACHIL 1ºX ABC"}}},
      {"missing positions empty",
       {{"U1", "G1"}},
       {{"G1", "", "NIV", "", "", "U1", " NIV"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Columns(BuildList(&ExportarGrupos, kGrupost, "GRUPOS", c.elements),
                      {"ABREV", "TURNO", "NIVEL", "CURSO", "GRUPO", "UNIDAD", "DESCRIP"}),
              c.expected);
  }
}

TEST(CatalogueBuilders, DocumentWithoutTheListGivesAnEmptyTable) {
  const std::string teacher = Element({"a", "b", "c", "d"});
  const std::string documents[] = {
      "<SERVICIO><SALIDAS>" + List("OTRA", {teacher}) + "</SALIDAS></SERVICIO>",
      "<SERVICIO>" + List("PROFESORES", {teacher}) + "</SERVICIO>",
      "<GESTARO><SALIDAS>" + List("PROFESORES", {teacher}) + "</SALIDAS></GESTARO>",
  };
  for (const std::string& text : documents) {
    SCOPED_TRACE(text);
    testing::ScratchDir dir;
    const xml::Document document = testing::Parse(text);
    EXPECT_TRUE(
        ReadRows(testing::Build(&ExportarProfesores, kProft, document, dir.path()))
            .empty());
  }
}

TEST(CatalogueBuilders, ReadsEveryListOfTheSameNameInOrder) {
  testing::ScratchDir dir;
  const xml::Document document = testing::Parse(
      testing::Exchange({List("AULAS", {Element({"D1", "A1"})}), List("GRUPOS", {}),
                         List("AULAS", {Element({"D2", "A2"})})}));
  EXPECT_EQ(
      Columns(ReadRows(testing::Build(&ExportarAulas, kAulat, document, dir.path())),
              {"ABREV"}),
      (Cells{{"A1"}, {"A2"}}));
}

}  // namespace
}  // namespace tq
