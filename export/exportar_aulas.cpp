// ExportarAulas: the list "AULAS" into AULAT, one row per room.
//
// Positions: 0 DEPCENTRO, 1 ABREV, 2 NOMBRE, 3 EDIFICIO. A room without an
// abbreviation takes its DEPCENTRO value text as ABREV (cut to ABREV's
// width by the table). MAXALUM is never assigned.
#include <string>

#include "export/builder_support.h"
#include "export/builders.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"

namespace tq {

void ExportarAulas(const BuilderContext& context) {
  dbf::Table table = CreateTable(kAulat, context.table_file);
  dbf::Field depcentro = table.FieldByName(field::kDepcentro);
  dbf::Field abrev = table.FieldByName(field::kAbrev);
  dbf::Field nombre = table.FieldByName(field::kNombre);
  dbf::Field edificio = table.FieldByName(field::kEdificio);

  std::size_t rows = 0;
  const auto write_row = [&](std::size_t, const PositionalElement& element) {
    const std::string centre_code = element.Text(0);
    std::string short_code = element.Text(1);
    if (short_code.empty()) short_code = centre_code;
    table.Append();
    depcentro.SetAsString(centre_code);
    abrev.SetAsString(short_code);
    nombre.SetAsString(element.Text(2));
    edificio.SetAsString(element.Text(3));
    table.Post();
    ++rows;
  };
  ForEachRowElement(context.document, exchange::kAulasExpression,
                    context.report, write_row);
  table.Close();
  ReportRows(context.report, kAulat, rows);
}

}  // namespace tq
