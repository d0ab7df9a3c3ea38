// ExportarGrupos: the list "GRUPOS" into GRUPOST, one row per group.
//
// Positions: 0 UNIDAD, 1 ABREV, 2 TURNO, 3 NIVEL ("NIV" when empty),
// 4 CURSO, 5 GRUPO. DESCRIP is TURNO, NIVEL, CURSO and GRUPO joined by single
// blanks, built from the full value texts (after "NIV" replaced an empty
// level) before the table cuts any of them; the blanks stand also next to
// empty values.
#include <string>

#include "export/builder_support.h"
#include "export/builders.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"

namespace tq {

void ExportarGrupos(const BuilderContext& context) {
  dbf::Table table = CreateTable(kGrupost, context.table_file);
  dbf::Field unidad = table.FieldByName(field::kUnidad);
  dbf::Field abrev = table.FieldByName(field::kAbrev);
  dbf::Field turno = table.FieldByName(field::kTurno);
  dbf::Field nivel = table.FieldByName(field::kNivel);
  dbf::Field curso = table.FieldByName(field::kCurso);
  dbf::Field grupo = table.FieldByName(field::kGrupo);
  dbf::Field descrip = table.FieldByName(field::kDescrip);

  std::size_t rows = 0;
  const auto write_row = [&](std::size_t, const PositionalElement& element) {
    const std::string shift = element.Text(2);
    std::string level = element.Text(3);
    if (level.empty()) level = kNivelVacio;
    const std::string course = element.Text(4);
    const std::string letter = element.Text(5);
    table.Append();
    unidad.SetAsString(element.Text(0));
    abrev.SetAsString(element.Text(1));
    turno.SetAsString(shift);
    nivel.SetAsString(level);
    curso.SetAsString(course);
    grupo.SetAsString(letter);
    descrip.SetAsString(shift + ' ' + level + ' ' + course + ' ' + letter);
    table.Post();
    ++rows;
  };
  ForEachRowElement(context.document, exchange::kGruposExpression,
                    context.report, write_row);
  table.Close();
  ReportRows(context.report, kGrupost, rows);
}

}  // namespace tq
