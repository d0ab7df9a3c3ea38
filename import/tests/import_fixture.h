// Test fixtures of the import: temporary folders, working tables written
// directly through the table engine (independent of the export), a fake run
// port, and a compact outline of a result document's new SALIDAS.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_port.h"
#include "platform/dbf_table.h"

namespace tq::testing {

// A fresh folder under the system's temporary folder, removed with its
// content at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const {
    return path_ / std::filesystem::path(name);
  }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, std::string_view bytes);

// One row: field name and value (code page 1252). Integer and float fields
// take the value's number, logical fields "T" or "F"; fields not named stay
// blank.
struct Cell {
  std::string field;
  std::string value;
};
using Row = std::vector<Cell>;

void WriteTable(const std::filesystem::path& file,
                std::span<const dbf::FieldDef> fields,
                const std::vector<Row>& rows);

Row Subject(std::string cod, std::string materia);
Row Teacher(std::string abrev, std::string x_empleado, std::string f_tomapos);
Row Room(std::string abrev, std::string depcentro);
Row Group(std::string abrev, std::string unidad);
Row Assignment(std::string casig, std::string cgrup, std::string materia);
Row Slot(std::string diho, std::string coddiho, std::string dia);
Row Lesson(std::string prof, std::string dia, std::string hora,
           std::string tarea, std::string aula, std::string codgrupo,
           std::string asig);

// SOLUC as the timetabling program writes it: PROF C(4), DIA and HORA
// numeric, TAREA AULA CODGRUPO ASIG C(4).
std::vector<dbf::FieldDef> SolucFields();

// The seven tables of one import, written into a working directory with the
// export's layouts (SOLUC with `soluc_fields`).
struct WorkingTables {
  std::vector<Row> subjects;     // ASIGNOMT
  std::vector<Row> teachers;     // PROFT
  std::vector<Row> rooms;        // AULAT
  std::vector<Row> groups;       // GRUPOST
  std::vector<Row> assignments;  // ASIGT
  std::vector<Row> slots;        // DIASHORAST
  std::vector<Row> lessons;      // SOLUC
  std::vector<dbf::FieldDef> soluc_fields = SolucFields();

  void Write(const std::filesystem::path& working_dir) const;
};

// Records what a run does through its port, one event each:
// "dialog", "busy", "normal", "message <text>", "close".
class FakePort : public RunPort {
 public:
  std::optional<std::string> choice;  // what the dialog returns
  std::vector<std::string> events;
  bool busy = false;

  std::optional<std::string> ChooseFile() override;
  void ShowMessage(std::string_view text) override;
  void SetBusyPointer(bool on) override;
  void CloseWindow() override;
};

// The new (last) SALIDAS of a result document, one line per written node:
//   ERROR CN_ERROR=0 TE_ERROR=Servicio finalizado Correctamente
//   EMPLEADO_1 X_EMPLEADO=E1 F_TOMAPOS=F1
//     ACTIVIDAD_1 M001|1|T-L1|DC-A1|U-1A|M-1A
std::vector<std::string> OutlineOfSalidas(const std::filesystem::path& file);

// Names of the root's child elements, in document order.
std::vector<std::string> RootChildren(const std::filesystem::path& file);

}  // namespace tq::testing
