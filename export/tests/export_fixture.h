// Helpers shared by the export tests: a scratch working directory, documents
// assembled from small pieces, tables read back as text, and a fake RunPort
// that records what the run did.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/run_port.h"
#include "export/builders.h"
#include "formats/table_layouts.h"
#include "platform/xml_document.h"

namespace tq::testing {

// A fresh, empty folder removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// <listasal><salida>v0</salida>...</listasal>; texts are inserted as they are
// (already escaped XML).
std::string Element(const std::vector<std::string>& values);
// <listasal seq="seq">elements...</listasal>
std::string List(std::string_view seq, const std::vector<std::string>& elements);
// <?xml?><SERVICIO><SALIDAS>lists...</SALIDAS></SERVICIO>
std::string Exchange(const std::vector<std::string>& lists);
xml::Document Parse(const std::string& text);

// One row: field name -> value as AsString reads it, in UTF-8 (numbers: see
// ReadRows).
using Row = std::map<std::string, std::string>;
// All rows of the table at `file`, in table order. Float fields are written
// with std::to_string of AsFloat; logical fields as "T" or "F".
std::vector<Row> ReadRows(const std::filesystem::path& file);

// Runs one builder on `document` into `dir`/<table>.DBF; ExportarAsignaciones
// reads `dir`/ASIGNOMT.DBF as its subjects table.
std::filesystem::path Build(void (*builder)(const BuilderContext&),
                            const TableLayout& table, const xml::Document& document,
                            const std::filesystem::path& dir,
                            ExportReport* report = nullptr);

// Every file of `dir` (names and bytes).
std::map<std::string, std::string> Snapshot(const std::filesystem::path& dir);
std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);

// A RunPort that chooses a fixed answer and records each call in order:
// "choose", "message:<text>", "busy:on", "busy:off", "close".
class FakePort : public RunPort {
 public:
  explicit FakePort(std::optional<std::string> choice) : choice_(std::move(choice)) {}
  std::optional<std::string> ChooseFile() override;
  void ShowMessage(std::string_view text) override;
  void SetBusyPointer(bool busy) override;
  void CloseWindow() override;

  std::vector<std::string> calls;

 private:
  std::optional<std::string> choice_;
};

}  // namespace tq::testing

namespace tq::testing {
// The given fields of each row, in order: a compact form for expectations.
using Cells = std::vector<std::vector<std::string>>;
Cells Columns(const std::vector<Row>& rows, const std::vector<std::string>& fields);
}  // namespace tq::testing
