#include "import/import_run.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <system_error>

#include "formats/dataset_names.h"
#include "formats/exchange_names.h"
#include "formats/table_layouts.h"
#include "import/activity_entry.h"
#include "platform/cp1252.h"
#include "platform/dbf_table.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/rename_journal.h"
#include "platform/xml_document.h"

namespace tq {
namespace {

// How many unmatched keys of each look-up the report keeps.
constexpr std::size_t kUnmatchedKeysKept = 5;

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(
      reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// An empty path, a folder and a path that leads to nothing are no file.
bool IsExistingFile(const std::string& utf8_path) {
  if (utf8_path.empty()) return false;
  std::error_code error;
  return std::filesystem::is_regular_file(PathFromUtf8(utf8_path), error);
}

// "<folder of the input>/ResultadoQuadrix<file name of the input>".
std::filesystem::path ResultFileOf(const std::filesystem::path& input) {
  std::u8string name(exchange::kResultPrefix.begin(),
                     exchange::kResultPrefix.end());
  name += input.filename().u8string();
  return input.parent_path() / name;
}

// PROF= '<abrev>', every single quote inside the abbreviation doubled.
std::string TeacherFilter(std::string_view abrev) {
  std::string filter = std::string(field::kProf) + "= '";
  for (const char c : abrev) {
    filter.push_back(c);
    if (c == '\'') filter.push_back('\'');
  }
  filter.push_back('\'');
  return filter;
}

// The main window's dataset components that an import uses, bound to the
// tables of the working directory. Each is closed when the run ends, however
// it ends, so that no table stays held and a later export in the same program
// run can re-create it.
struct ImportTables {
  explicit ImportTables(const std::filesystem::path& working_dir)
      : soluc(std::string(dataset::kSoluc), FileIn(working_dir, kSoluc)),
        grupos(std::string(dataset::kGrupos), FileIn(working_dir, kGrupost.name)),
        profesor(std::string(dataset::kProfesor), FileIn(working_dir, kProft.name)),
        aulas(std::string(dataset::kAulas), FileIn(working_dir, kAulat.name)),
        nom_asg(std::string(dataset::kNomAsg), FileIn(working_dir, kAsignomt.name)),
        tramos(std::string(dataset::kTramos), FileIn(working_dir, kDiashorast.name)),
        asig(std::string(dataset::kAsig), FileIn(working_dir, kAsigt.name)) {}

  // The timetabling program may write its file names in small letters.
  static std::filesystem::path FileIn(const std::filesystem::path& folder,
                                      std::string_view table) {
    return FindIgnoringCase(folder, DataFileName(table));
  }

  // The six tables the run opens at its start, in their order of opening and
  // of closing; ASIGT is opened by the first lesson that needs it.
  std::array<dbf::Table*, 6> Opened() {
    return {&soluc, &grupos, &profesor, &aulas, &nom_asg, &tramos};
  }

  dbf::Table soluc;
  dbf::Table grupos;
  dbf::Table profesor;
  dbf::Table aulas;
  dbf::Table nom_asg;
  dbf::Table tramos;
  dbf::Table asig;
};

// Rethrows the error being handled so that it names the table's file: a
// field missing from a table ("wwTableSoluc: No se encuentra el campo
// 'ASIG'") and a SOLUC value that is no whole number (DIA, HORA) gain
// " (tabla «<path>»)". Others already name their file.
[[noreturn]] void RethrowNamingTable(ImportTables& tables) {
  const auto with_path = [](const std::string& message,
                            const dbf::Table& table) {
    return message + " (tabla «" + table.Path().string() + "»)";
  };
  try {
    throw;
  } catch (const ConversionError& error) {
    throw ConversionError(with_path(error.what(), tables.soluc));
  } catch (const TableInUseError&) {
    throw;
  } catch (const TableError& error) {
    const std::string message = error.what();
    for (const dbf::Table* table :
         {&tables.soluc, &tables.grupos, &tables.profesor, &tables.aulas,
          &tables.nom_asg, &tables.tramos, &tables.asig}) {
      if (message.starts_with(table->Name() + ": ")) {
        throw TableError(with_path(message, *table));
      }
    }
    throw;
  }
}

void AddValue(xml::Document& document, xml::Node parent, std::string_view key,
              std::string_view utf8_text) {
  xml::Node value = document.CreateElement(exchange::kSalida);
  value.SetAttribute(exchange::kDato, key);
  value.SetText(utf8_text);
  parent.AppendChild(value);
}

// A teacher list outside the tree, handed to the save once it is complete.
xml::Node NewList(xml::Document& document, const std::string& seq) {
  xml::Node list = document.CreateElement(exchange::kListasal);
  list.SetAttribute(exchange::kSeq, seq);
  return list;
}

// Steps 6 to 8: the root's first SALIDAS, left out when the document was
// loaded, replaced by a new, last one. Returns the new SALIDAS, empty: its
// content is written while the result is saved.
xml::Node ReplaceSalidas(xml::Document& document, const std::string& file,
                         bool had_salidas) {
  xml::Node root = document.Root();
  if (!root) {
    throw XmlError("El documento «" + file + "» no tiene elemento raíz");
  }
  if (!had_salidas) {
    throw XmlError("El documento «" + file + "» no tiene sección " +
                   std::string(exchange::kSalidas));
  }
  return root.AppendChild(document.CreateElement(exchange::kSalidas));
}

// Step 9: the status block.
xml::Node StatusBlock(xml::Document& document) {
  xml::Node status = document.CreateElement(exchange::kError);
  AddValue(document, status, exchange::kCnErrorKey, exchange::kCnErrorText);
  AddValue(document, status, exchange::kTeErrorKey, exchange::kTeErrorText);
  return status;
}

// Counts, for the summary, a look-up that found nothing.
void NoteUnmatched(ImportReport::Unmatched& entry, std::string_view ansi_key) {
  ++entry.lessons;
  std::string key = AnsiToUtf8(ansi_key);
  auto& keys = entry.first_keys;
  if (keys.size() < kUnmatchedKeysKept &&
      std::find(keys.begin(), keys.end(), key) == keys.end()) {
    keys.push_back(std::move(key));
  }
}

class ReportBuilder {
 public:
  explicit ReportBuilder(ImportReport* report) : report_(report) {
    if (!report_) return;
    *report_ = ImportReport{};
    for (const char* lookup : {"franja", "aula", "unidad", "materia"}) {
      report_->unmatched.push_back({lookup, 0, {}});
    }
  }

  void Teacher() {
    if (report_) ++report_->teachers;
  }
  void DayZero() {
    if (report_) ++report_->rows_day_zero;
  }
  void Lesson(const ActivityValues& values, dbf::Table& soluc) {
    if (!report_) return;
    ++report_->lessons;
    auto& unmatched = report_->unmatched;
    if (!values.slot_found) NoteUnmatched(unmatched[0], values.slot_key);
    if (!values.room_found) {
      NoteUnmatched(unmatched[1], soluc.FieldByName(field::kAula).AsString());
    }
    if (!values.unit_found) {
      NoteUnmatched(unmatched[2],
                    soluc.FieldByName(field::kCodgrupo).AsString());
    }
    if (!values.subject_found) {
      NoteUnmatched(unmatched[3],
                    soluc.FieldByName(field::kAsig).AsString() + "/" +
                        soluc.FieldByName(field::kCodgrupo).AsString());
    }
  }
  void Saved(const std::filesystem::path& file) {
    if (report_) report_->result_file = file;
  }

 private:
  ImportReport* report_;
};

}  // namespace

RunOutcome BImportarClick(ProcessState& state, RunPort& port,
                          const std::filesystem::path& working_dir,
                          ImportReport* report) {
  if (std::optional<std::string> chosen = port.ChooseFile()) {
    state.ArchivoXML = std::move(*chosen);
  }
  if (!IsExistingFile(state.ArchivoXML)) {
    port.ShowMessage(kNoExisteArchivo);
    if (state.HostMode()) {
      state.CodigoResultado = 0;
      port.CloseWindow();
    }
    return RunOutcome::kNoFile;
  }

  // Whatever ends the run, the pointer is normal again afterwards.
  std::optional<BusyPointer> busy(std::in_place, port);
  ReportBuilder summary(report);
  const std::filesystem::path input = PathFromUtf8(state.ArchivoXML);

  // The previous document is released before the new one is loaded. The
  // old SALIDAS, most of a document, is never built: it is replaced anyway.
  state.DocXML.reset();
  bool had_salidas = false;
  state.DocXML = std::make_unique<xml::Document>(
      xml::Document::LoadWithoutFirstChild(input, exchange::kSalidas,
                                           had_salidas));
  xml::Document& document = *state.DocXML;
  const xml::Node salidas =
      ReplaceSalidas(document, state.ArchivoXML, had_salidas);

  // Named as such, rather than as the first table that cannot be found.
  std::error_code no_folder;
  if (!std::filesystem::is_directory(working_dir, no_folder)) {
    throw TableError("No existe la carpeta de trabajo «" +
                     working_dir.string() + "»; no se ha guardado nada");
  }
  // Tables that an export killed while replacing them left half replaced
  // are completed before they are read.
  RecoverRenameJournal(working_dir);
  ImportTables tables(working_dir);
  try {
    for (dbf::Table* table : tables.Opened()) table->SetActive(true);
  } catch (const Error&) {
    RethrowNamingTable(tables);
  }

  // The new SALIDAS is written while the result is saved, one teacher list
  // at a time, each freed once written: the section is never whole in
  // memory. An error in the loop leaves the save with nothing saved.
  const std::filesystem::path result_file = ResultFileOf(input);
  const auto write_salidas = [&](xml::SectionWriter& writer) {
    writer.Write(StatusBlock(document));
    try {
      LookupTables lookups{tables.nom_asg, tables.tramos, tables.aulas,
                           tables.grupos, tables.asig};
      dbf::Table& soluc = tables.soluc;
      dbf::Table& profesor = tables.profesor;

      int32_t n = 1;
      for (profesor.First(); !profesor.Eof(); profesor.Next()) {
        const std::string x_empleado =
            profesor.FieldByName(field::kXEmpleado).AsString();
        const std::string f_tomapos =
            profesor.FieldByName(field::kFTomapos).AsString();
        const xml::Node teacher_list = NewList(
            document,
            std::string(exchange::kTeacherListPrefix) + std::to_string(n));
        ++n;
        summary.Teacher();
        AddValue(document, teacher_list, exchange::kXEmpleadoKey,
                 AnsiToUtf8(x_empleado));
        AddValue(document, teacher_list, exchange::kFTomaposKey,
                 AnsiToUtf8(f_tomapos));
        const std::string abrev =
            profesor.FieldByName(field::kAbrev).AsString();

        soluc.First();
        int32_t m = 1;
        soluc.SetFiltered(false);
        soluc.SetFilter(TeacherFilter(abrev));
        soluc.SetFiltered(true);
        for (; !soluc.Eof(); soluc.Next()) {
          if (soluc.FieldByName(field::kDia).AsInteger() == 0) {
            summary.DayZero();
            continue;
          }
          summary.Lesson(
              AddActivityEntry(document, teacher_list, m, soluc, lookups),
              soluc);
        }
        writer.Write(teacher_list);
      }

      // Every component is closed before the result takes its name, ASIGT's
      // included: the tables are only read, so nothing held is lost when a
      // run fails and the destructors close them instead.
      for (dbf::Table* table : tables.Opened()) table->SetActive(false);
      tables.asig.SetActive(false);
    } catch (const Error&) {
      RethrowNamingTable(tables);
    }
  };
  document.SaveWithStreamedSection(result_file, salidas, write_salidas);
  summary.Saved(result_file);

  busy.reset();
  state.CodigoResultado = 1;
  port.ShowMessage(kProcesoFinalizado);
  if (state.HostMode()) port.CloseWindow();
  return RunOutcome::kCompleted;
}

}  // namespace tq
