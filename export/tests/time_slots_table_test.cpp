// ExportarTramos: keyed reading, day digit and hour.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "export/builders.h"
#include "export/tests/export_fixture.h"
#include "formats/table_layouts.h"

namespace tq {
namespace {

using testing::Cells;
using testing::Columns;

// <listasal> with one <salida dato="key"> per pair; a key "-" leaves the
// attribute out.
std::string Slot(const std::vector<std::pair<std::string, std::string>>& values) {
  std::string text = "<listasal>";
  for (const auto& [key, value] : values) {
    text += key == "-" ? "<salida>" : "<salida dato=\"" + key + "\">";
    text += value + "</salida>";
  }
  return text + "</listasal>";
}

Cells BuildSlots(const std::vector<std::string>& slots,
                 const std::vector<std::string>& fields) {
  testing::ScratchDir dir;
  const xml::Document document =
      testing::Parse(testing::Exchange({testing::List("TRAMOS", slots)}));
  return Columns(testing::ReadRows(
                     testing::Build(&ExportarTramos, kDiashorast, document, dir.path())),
                 fields);
}

TEST(ExportarTramos, FillsEveryFieldFromItsKey) {
  EXPECT_EQ(BuildSlots({Slot({{"CODIGO_GESTARO", "1234567"},
                              {"NOMBRE", "L1"},
                              {"INICIO", "08:30"},
                              {"FIN", "09:25"},
                              {"NINUTOS", "55"},
                              {"OTRA", "x"}})},
                       {"DIHO", "CODDIHO", "DIA", "TEXTODIA", "HORA", "HORADESDE",
                        "HORAHASTA", "MINUTOS"}),
            (Cells{{"L1", "1234567", "1", "", "1", "08:30", "09:25", "55"}}));
}

TEST(ExportarTramos, ReadsKeysExactlyAndTheLastValueWins) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::string> expected;  // DIHO, CODDIHO, HORADESDE, HORAHASTA, MINUTOS
  };
  const Case cases[] = {
      {"NOMBRE then DIA: DIA wins",
       {{"NOMBRE", "LUNES-1"}, {"DIA", "M2"}},
       {"M2", "", "", "", ""}},
      {"DIA then NOMBRE: NOMBRE wins",
       {{"DIA", "M2"}, {"NOMBRE", "X3"}},
       {"X3", "", "", "", ""}},
      {"repeated key: the last wins",
       {{"FIN", "09:00"}, {"FIN", "09:25"}},
       {"", "", "", "09:25", ""}},
      {"lower-case, blank-led and unknown keys are ignored",
       {{"nombre", "L1"}, {" DIA", "L2"}, {"FIN ", "10"}, {"MINUTOS", "55"}},
       {"", "", "", "", ""}},
      {"a value without key is ignored",
       {{"-", "L1"}, {"NINUTOS", "veinte"}},
       {"", "", "", "", "veinte"}},
      {"value texts trimmed, minutes copied as text",
       {{"NINUTOS", " 45 "}, {"INICIO", "\n8:30\t"}},
       {"", "", "8:30", "", "45"}},
      {"widths cut",
       {{"CODIGO_GESTARO", "12345678901"}, {"INICIO", "123456789"}},
       {"", "1234567890", "12345678", "", ""}},
      {"no values at all: a row of empty fields", {}, {"", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BuildSlots({Slot(c.values)},
                         {"DIHO", "CODDIHO", "HORADESDE", "HORAHASTA", "MINUTOS"}),
              Cells{c.expected});
  }
}

TEST(ExportarTramos, DerivesDayDigitAndHourFromTheName) {
  struct Case {
    const char* name;
    const char* dia;
    const char* hora;
  };
  const Case cases[] = {
      {"L1", "1", "1"},   {"M2", "2", "2"},    {"X3", "3", "3"}, {"J4", "4", "4"},
      {"V10", "5", "10"}, {"S", "6", ""},      {"D3", "7", "3"}, {"l1", "l", "1"},
      {"Q7", "Q", "7"},   {"L123", "1", "12"}, {"", "", ""},
  };
  std::vector<std::string> slots;
  for (const Case& c : cases) slots.push_back(Slot({{"NOMBRE", c.name}}));
  const Cells cells = BuildSlots(slots, {"DIHO", "DIA", "HORA"});
  ASSERT_EQ(cells.size(), std::size(cases));
  for (std::size_t i = 0; i < cells.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(cells[i],
              (std::vector<std::string>{cases[i].name, cases[i].dia, cases[i].hora}));
  }
}

}  // namespace
}  // namespace tq
