// ExportarAsignaciones: positions, hours and lessons, task codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/builders.h"
#include "export/tests/export_fixture.h"
#include "formats/table_layouts.h"
#include "platform/error.h"

namespace tq {
namespace {

using testing::Cells;
using testing::Columns;
using testing::Element;
using testing::List;

// An assignment with the given minutes and subject identifier.
std::string Assignment(const std::string& minutes, const std::string& materia = "300") {
  return Element({"MAT", "1EA", "A01", "M", "ESO", "1", "A", minutes, materia});
}

class ExportarAsignacionesTest : public ::testing::Test {
 protected:
  // Writes the subjects table, then ASIGT from `assignments`.
  std::vector<testing::Row> Run(const std::vector<std::string>& assignments) {
    const xml::Document document = testing::Parse(testing::Exchange(
        {List("MATERIAS", {Element({"G439", "GUA"}), Element({"G439", "GU2"}),
                           Element({"G12345678", "LONG"}), Element({"300", "MAT"})}),
         List("ASIGNATURAS", assignments)}));
    testing::Build(&ExportarAsignaturas, kAsignomt, document, dir_.path());
    return testing::ReadRows(
        testing::Build(&ExportarAsignaciones, kAsigt, document, dir_.path()));
  }
  testing::ScratchDir dir_;
};

TEST_F(ExportarAsignacionesTest, TurnsMinutesIntoHoursAndLessons) {
  struct Case {
    const char* minutes;
    const char* horas;
    std::string sesiones;
  };
  const std::string t = std::string(13, '1');  // thirteen "1"
  const Case cases[] = {
      {"", "1.000000", "1"},         {"0", "1.000000", "1"},
      {"30", "1.000000", "1"},       {"59", "1.000000", "1"},
      {"60", "1.000000", "1"},       {"-120", "1.000000", "1"},
      {"61", "1.016667", "11"},      {"90", "1.500000", "11"},
      {"240", "4.000000", "1111"},   {"780", "13.000000", t},
      {"781", "13.016667", "1" + t}, {"840", "14.000000", "1" + t},
      {"900", "15.000000", "2" + t}, {"1380", "23.000000", "10" + t},
      {" 120\n", "2.000000", "11"},
  };
  std::vector<std::string> assignments;
  for (const Case& c : cases) assignments.push_back(Assignment(c.minutes));
  const std::vector<testing::Row> rows = Run(assignments);
  ASSERT_EQ(rows.size(), std::size(cases));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(std::string("minutes '") + cases[i].minutes + "'");
    EXPECT_EQ(rows[i].at("HORAS"), cases[i].horas);
    EXPECT_EQ(rows[i].at("SESIONES"), cases[i].sesiones);
  }
}

TEST_F(ExportarAsignacionesTest, MinutesThatAreNoWholeNumberStopTheBuilder) {
  const char* bad[] = {"1.5", "90 min", "2147483648", "uno"};
  for (const char* minutes : bad) {
    SCOPED_TRACE(minutes);
    try {
      Run({Assignment("60"), Assignment(minutes)});
      ADD_FAILURE() << "no error";
    } catch (const ConversionError& error) {
      EXPECT_EQ(std::string(error.what()),
                "'" + std::string(minutes) + "' no es un valor entero válido");
    }
  }
}

TEST_F(ExportarAsignacionesTest, FindsTheTaskCode) {
  struct Case {
    const char* materia;
    const char* ctarea;
    const char* materia_written;
  };
  const Case cases[] = {
      {"300", "LE", "300"},
      {"g439", "LE", "g439"},
      {"", "LE", ""},
      {"G439", "GUA", "G439"},             // the first of two subject rows
      {"G999", "G999", "G999"},            // absent: the identifier itself
      {"G9998888", "G999", "G9998888"},    // ... cut to CTAREA's width
      {"G12345678", "G123", "G12345678"},  // the subjects table holds it cut
      {"G1234567", "LONG", "G1234567"},
      {"G123456789AB", "G123", "G123456789"},
  };
  std::vector<std::string> assignments;
  for (const Case& c : cases) assignments.push_back(Assignment("60", c.materia));
  const std::vector<testing::Row> rows = Run(assignments);
  ASSERT_EQ(rows.size(), std::size(cases));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(cases[i].materia);
    EXPECT_EQ(rows[i].at("CTAREA"), cases[i].ctarea);
    EXPECT_EQ(rows[i].at("MATERIA"), cases[i].materia_written);
  }
}

TEST_F(ExportarAsignacionesTest, WritesPositionsLevelAndWidths) {
  const std::vector<std::string> fields = {"CASIG", "CPROF",    "CGRUP",   "CAULA",
                                           "TURNO", "NIVEL",    "CURSO",   "GRUPO",
                                           "HORAS", "SESIONES", "MATERIA", "CTAREA"};
  EXPECT_EQ(
      Columns(Run({Element({"MAT", "1EA", "A01", "M", "ESO", "1", "A", "120", "300"}),
                   Element({"MATEM", "1ESOA", "AULA1", "MT", "BACHIL", "1ºX", "ABC", "60",
                            "300"}),
                   Element({"MAT", "1EA", "A01", "M", " \t", "1", "A", "60", "300"}),
                   Element({}), Element({"solo"}), Element({"MAT", "1EA"})}),
              fields),
      (Cells{
          {"MAT", "", "1EA", "A01", "M", "ESO", "1", "A", "2.000000", "11", "300", "LE"},
          {"MATE", "", "1ESO", "AULA", "M", "BACHI", "1ºX", "AB", "1.000000", "1", "300",
           "LE"},
          {"MAT", "", "1EA", "A01", "M", "NIV", "1", "A", "1.000000", "1", "300", "LE"},
          {"MAT", "", "1EA", "", "", "NIV", "", "", "1.000000", "1", "", "LE"}}));
}

}  // namespace
}  // namespace tq
