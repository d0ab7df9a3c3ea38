// ExportarAsignaturas: the list "MATERIAS" into ASIGNOMT, one row per subject
// code.
//
// Positions: 0 MATERIA, 1 COD, 2 CODLARGO, 3 NOMBRE; ESTAREA is true when
// MATERIA begins with "G". A code equal, ignoring letter case, to one already
// written in this call drops its element whole: the first element with a
// code wins. The comparison sees the full code as read; the table cuts COD to
// four characters afterwards, so codes that differ only after their fourth
// character both give rows.
#include <string>
#include <unordered_set>

#include "export/builder_support.h"
#include "export/builders.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"
#include "platform/cp1252.h"

namespace tq {

void ExportarAsignaturas(const BuilderContext& context) {
  const std::string_view expression = exchange::kMateriasExpression;
  dbf::Table table = CreateTable(kAsignomt, context.table_file);
  dbf::Field materia = table.FieldByName(field::kMateria);
  dbf::Field cod = table.FieldByName(field::kCod);
  dbf::Field codlargo = table.FieldByName(field::kCodlargo);
  dbf::Field nombre = table.FieldByName(field::kNombre);
  dbf::Field estarea = table.FieldByName(field::kEstarea);

  // Codes written, upper-cased (code page 1252 fold, accented letters too).
  std::unordered_set<std::string> codes_written;
  std::size_t rows = 0;
  const auto write_row = [&](std::size_t index,
                             const PositionalElement& element) {
    const std::string code = element.Text(1);
    if (!codes_written.insert(AnsiUpperCase(code)).second) {
      ReportSkipped(context.report, expression, index,
                    "código de materia repetido '" + AnsiToUtf8(code) + "'");
      return;
    }
    const std::string subject = element.Text(0);
    table.Append();
    materia.SetAsString(subject);
    cod.SetAsString(code);
    codlargo.SetAsString(element.Text(2));
    nombre.SetAsString(element.Text(3));
    estarea.SetAsBoolean(NamesTask(subject));
    table.Post();
    ++rows;
  };
  ForEachRowElement(context.document, expression, context.report, write_row);
  table.Close();
  ReportRows(context.report, kAsignomt, rows);
}

}  // namespace tq
