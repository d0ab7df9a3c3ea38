// The six builders of the export, one per working table.
//
// Each builder selects its output list on the document, creates its table
// anew at `table_file` with the table's layout, appends one row per list
// element that its rules accept and closes the table. It never touches the
// working tables themselves: the run hands it a temporary file and moves the
// finished set into place (table_set.h). A builder catches nothing; an error
// leaves it as an exception, and the table object is closed on the way out.
//
// The builders run in the order declared here; ExportarAsignaciones reads the
// subjects table that ExportarAsignaturas wrote in the same run.
#pragma once

#include <filesystem>

#include "export/export_run.h"
#include "platform/xml_document.h"

namespace tq {

struct BuilderContext {
  const xml::Document& document;
  // Where the builder creates its table (replaced if it exists).
  std::filesystem::path table_file;
  // ASIGNOMT as ExportarAsignaturas wrote it in this run; read only by
  // ExportarAsignaciones.
  std::filesystem::path subjects_file;
  // Rows written and list elements passed over; may be null.
  ExportReport* report = nullptr;
};

void ExportarAsignaturas(const BuilderContext& context);   // ASIGNOMT
void ExportarProfesores(const BuilderContext& context);    // PROFT
void ExportarAulas(const BuilderContext& context);         // AULAT
void ExportarGrupos(const BuilderContext& context);        // GRUPOST
void ExportarAsignaciones(const BuilderContext& context);  // ASIGT
void ExportarTramos(const BuilderContext& context);        // DIASHORAST

}  // namespace tq
