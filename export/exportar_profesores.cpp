// ExportarProfesores: the list "PROFESORES" into PROFT, one row per teacher.
//
// Positions: 0 X_EMPLEADO, 1 F_TOMAPOS, 2 NOMBRE, 3 ABREV. DEPART and DNI
// are never assigned.
#include "export/builder_support.h"
#include "export/builders.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"

namespace tq {

void ExportarProfesores(const BuilderContext& context) {
  dbf::Table table = CreateTable(kProft, context.table_file);
  dbf::Field x_empleado = table.FieldByName(field::kXEmpleado);
  dbf::Field f_tomapos = table.FieldByName(field::kFTomapos);
  dbf::Field nombre = table.FieldByName(field::kNombre);
  dbf::Field abrev = table.FieldByName(field::kAbrev);

  std::size_t rows = 0;
  const auto write_row = [&](std::size_t, const PositionalElement& element) {
    table.Append();
    x_empleado.SetAsString(element.Text(0));
    f_tomapos.SetAsString(element.Text(1));
    nombre.SetAsString(element.Text(2));
    abrev.SetAsString(element.Text(3));
    table.Post();
    ++rows;
  };
  ForEachRowElement(context.document, exchange::kProfesoresExpression,
                    context.report, write_row);
  table.Close();
  ReportRows(context.report, kProft, rows);
}

}  // namespace tq
