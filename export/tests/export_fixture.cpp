#include "export/tests/export_fixture.h"

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "platform/cp1252.h"
#include "platform/dbf_table.h"

namespace tq::testing {
namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::random_device device;
  path_ = fs::temp_directory_path() /
          ("tq_export_test_" + std::to_string(device()) + std::to_string(device()));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string Element(const std::vector<std::string>& values) {
  std::string text = "<listasal>";
  for (const std::string& value : values) {
    text += "<salida>" + value + "</salida>";
  }
  return text + "</listasal>";
}

std::string List(std::string_view seq, const std::vector<std::string>& elements) {
  std::string text = "<listasal seq=\"" + std::string(seq) + "\">";
  for (const std::string& element : elements) text += element;
  return text + "</listasal>";
}

std::string Exchange(const std::vector<std::string>& lists) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SERVICIO><SALIDAS>";
  for (const std::string& list : lists) text += list;
  return text + "</SALIDAS></SERVICIO>";
}

xml::Document Parse(const std::string& text) {
  return xml::Document::Parse(text, "prueba.xml");
}

std::vector<Row> ReadRows(const fs::path& file) {
  dbf::Table table("lectura", file);
  table.Open();
  std::vector<Row> rows;
  for (table.First(); !table.Eof(); table.Next()) {
    Row row;
    for (const dbf::FieldDef& def : table.Fields()) {
      dbf::Field field = table.FieldByName(def.name);
      switch (def.kind) {
        case dbf::FieldKind::kFloat:
          row[def.name] = std::to_string(field.AsFloat());
          break;
        case dbf::FieldKind::kBoolean:
          row[def.name] = field.AsBoolean() ? "T" : "F";
          break;
        default:
          row[def.name] = AnsiToUtf8(field.AsString());
      }
    }
    rows.push_back(std::move(row));
  }
  table.Close();
  return rows;
}

fs::path Build(void (*builder)(const BuilderContext&), const TableLayout& table,
               const xml::Document& document, const fs::path& dir, ExportReport* report) {
  const fs::path file = dir / DataFileName(table.name);
  builder(BuilderContext{document, file, dir / DataFileName(kAsignomt.name), report});
  return file;
}

std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> FakePort::ChooseFile() {
  calls.push_back("choose");
  return choice_;
}
void FakePort::ShowMessage(std::string_view text) {
  calls.push_back("message:" + std::string(text));
}
void FakePort::SetBusyPointer(bool busy) {
  calls.push_back(busy ? "busy:on" : "busy:off");
}
void FakePort::CloseWindow() { calls.push_back("close"); }

}  // namespace tq::testing

namespace tq::testing {
Cells Columns(const std::vector<Row>& rows, const std::vector<std::string>& fields) {
  Cells cells;
  for (const Row& row : rows) {
    std::vector<std::string> line;
    for (const std::string& name : fields) line.push_back(row.at(name));
    cells.push_back(std::move(line));
  }
  return cells;
}
}  // namespace tq::testing
