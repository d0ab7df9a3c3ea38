#include "export/export_run.h"

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "export/builders.h"
#include "export/table_set.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"
#include "platform/error.h"
#include "platform/xml_document.h"

namespace tq {
namespace fs = std::filesystem;

namespace {

struct BuildStep {
  const TableLayout& table;
  void (*build)(const BuilderContext&);
};

// The fixed order: ExportarAsignaciones reads the subjects table that
// ExportarAsignaturas wrote before it.
const std::array<BuildStep, 6> kSteps = {{
    {kAsignomt, &ExportarAsignaturas},
    {kProft, &ExportarProfesores},
    {kAulat, &ExportarAulas},
    {kGrupost, &ExportarGrupos},
    {kAsigt, &ExportarAsignaciones},
    {kDiashorast, &ExportarTramos},
}};

// The last builder that reads a table other than its own.
const TableLayout& kLastSubjectsReader = kAsigt;

// ArchivoXML is UTF-8 text.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// An empty path, a folder and a path that leads to nothing are no file.
bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  return fs::is_regular_file(PathOf(path), error);
}

// Said after an error raised while the tables are built: the old ones are
// all still in place.
constexpr char kNothingChanged[] = "; no se ha cambiado ninguna tabla";

// Runs `step`'s builder. Its errors name the table being built, never the
// temporary file, and a value that is no number also names the document.
void Build(const BuildStep& step, BuilderContext& context,
           const StagedTableSet& tables, const std::string& document_file) {
  try {
    step.build(context);
  } catch (const ConversionError& error) {
    throw ConversionError("El documento «" + document_file +
                          "» no se puede pasar a la tabla «" +
                          tables.NameTables(context.table_file.string()) +
                          "»: " + error.what() + kNothingChanged);
  } catch (const TableInUseError& error) {
    throw TableInUseError(tables.NameTables(error.what()) + kNothingChanged);
  } catch (const TableError& error) {
    throw TableError(tables.NameTables(error.what()) + kNothingChanged);
  } catch (const Error& error) {
    throw Error(tables.NameTables(error.what()) + kNothingChanged);
  }
}

// Builds the six tables from `document` and replaces the old ones with them.
void BuildTables(const xml::Document& document, const std::string& document_file,
                 const fs::path& working_dir, ExportReport* report) {
  StagedTableSet tables(working_dir);
  fs::path subjects_file;
  for (const BuildStep& step : kSteps) {
    BuilderContext context{document, tables.Stage(step.table), subjects_file,
                           report};
    Build(step, context, tables, document_file);
    if (&step.table == &kAsignomt) {
      subjects_file = context.table_file;
    } else {
      tables.Hold(step.table);
    }
    if (&step.table == &kLastSubjectsReader) tables.Hold(kAsignomt);
  }
  tables.Commit();
}

}  // namespace

RunOutcome BExportarClick(ProcessState& state, RunPort& port,
                          const fs::path& working_dir, ExportReport* report) {
  if (std::optional<std::string> chosen = port.ChooseFile()) {
    state.ArchivoXML = std::move(*chosen);
  }
  if (!FileExists(state.ArchivoXML)) {
    port.ShowMessage(kNoExisteArchivo);
    if (state.HostMode()) {
      state.CodigoResultado = -1;
      port.CloseWindow();
    }
    return RunOutcome::kNoFile;
  }

  // The earlier run's document goes first; a file that is not well-formed
  // stops the run here, before any table is touched.
  state.DocXML.reset();
  // The export only reads values (salida texts): the indentation between
  // elements is not kept, which spares a large share of the tree.
  state.DocXML = std::make_unique<xml::Document>(xml::Document::LoadForReading(
      PathOf(state.ArchivoXML), exchange::kSalida));
  {
    BusyPointer busy(port);
    BuildTables(*state.DocXML, state.ArchivoXML, working_dir, report);
  }
  state.CodigoResultado = 1;
  port.ShowMessage(kProcesoFinalizado);
  if (state.HostMode()) port.CloseWindow();
  return RunOutcome::kCompleted;
}

}  // namespace tq
