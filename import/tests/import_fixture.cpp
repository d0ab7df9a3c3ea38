#include "import/tests/import_fixture.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "formats/table_layouts.h"
#include "platform/xml_document.h"

namespace tq::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("tq_import_" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void WriteTable(const fs::path& file, std::span<const dbf::FieldDef> fields,
                const std::vector<Row>& rows) {
  dbf::Table::Create(file, fields);
  dbf::Table table("fixture", file);
  table.Open();
  for (const Row& row : rows) {
    table.Append();
    for (const Cell& cell : row) {
      dbf::Field field = table.FieldByName(cell.field);
      const auto index = table.FindField(cell.field);
      switch (table.Fields()[*index].kind) {
        case dbf::FieldKind::kString:
          field.SetAsString(cell.value);
          break;
        case dbf::FieldKind::kInteger:
          if (!cell.value.empty()) field.SetAsInteger(std::stoi(cell.value));
          break;
        case dbf::FieldKind::kFloat:
          if (!cell.value.empty()) field.SetAsFloat(std::stod(cell.value));
          break;
        case dbf::FieldKind::kBoolean:
          field.SetAsBoolean(cell.value == "T");
          break;
      }
    }
    table.Post();
  }
  table.Close();
}

Row Subject(std::string cod, std::string materia) {
  return {{"COD", std::move(cod)}, {"MATERIA", std::move(materia)}};
}
Row Teacher(std::string abrev, std::string x_empleado, std::string f_tomapos) {
  return {{"ABREV", std::move(abrev)},
          {"X_EMPLEADO", std::move(x_empleado)},
          {"F_TOMAPOS", std::move(f_tomapos)}};
}
Row Room(std::string abrev, std::string depcentro) {
  return {{"ABREV", std::move(abrev)}, {"DEPCENTRO", std::move(depcentro)}};
}
Row Group(std::string abrev, std::string unidad) {
  return {{"ABREV", std::move(abrev)}, {"UNIDAD", std::move(unidad)}};
}
Row Assignment(std::string casig, std::string cgrup, std::string materia) {
  return {{"CASIG", std::move(casig)},
          {"CGRUP", std::move(cgrup)},
          {"MATERIA", std::move(materia)}};
}
Row Slot(std::string diho, std::string coddiho, std::string dia) {
  return {{"DIHO", std::move(diho)},
          {"CODDIHO", std::move(coddiho)},
          {"DIA", std::move(dia)}};
}
Row Lesson(std::string prof, std::string dia, std::string hora,
           std::string tarea, std::string aula, std::string codgrupo,
           std::string asig) {
  return {{"PROF", std::move(prof)},         {"DIA", std::move(dia)},
          {"HORA", std::move(hora)},         {"TAREA", std::move(tarea)},
          {"AULA", std::move(aula)},         {"CODGRUPO", std::move(codgrupo)},
          {"ASIG", std::move(asig)}};
}

std::vector<dbf::FieldDef> SolucFields() {
  using dbf::FieldKind;
  return {{"PROF", FieldKind::kString, 4},  {"DIA", FieldKind::kInteger, 0},
          {"HORA", FieldKind::kInteger, 0}, {"TAREA", FieldKind::kString, 4},
          {"AULA", FieldKind::kString, 4},  {"CODGRUPO", FieldKind::kString, 4},
          {"ASIG", FieldKind::kString, 4}};
}

void WorkingTables::Write(const fs::path& working_dir) const {
  auto write = [&](const TableLayout& layout, const std::vector<Row>& rows) {
    WriteTable(working_dir / DataFileName(layout.name), layout.fields, rows);
  };
  write(kAsignomt, subjects);
  write(kProft, teachers);
  write(kAulat, rooms);
  write(kGrupost, groups);
  write(kAsigt, assignments);
  write(kDiashorast, slots);
  WriteTable(working_dir / DataFileName(kSoluc), soluc_fields, lessons);
}

std::optional<std::string> FakePort::ChooseFile() {
  events.push_back("dialog");
  return choice;
}
void FakePort::ShowMessage(std::string_view text) {
  events.push_back("message " + std::string(text));
}
void FakePort::SetBusyPointer(bool on) {
  busy = on;
  events.push_back(on ? "busy" : "normal");
}
void FakePort::CloseWindow() { events.push_back("close"); }

namespace {

std::string KeyedValues(const xml::Node& parent) {
  std::string line;
  for (const xml::Node& value : parent.SelectNodes("salida")) {
    line += " " + value.Attribute("dato").value_or("?") + "=" + value.Text();
  }
  return line;
}

}  // namespace

std::vector<std::string> OutlineOfSalidas(const fs::path& file) {
  const xml::Document document = xml::Document::Load(file);
  const std::vector<xml::Node> all = document.Root().SelectNodes("SALIDAS");
  if (all.empty()) return {"no SALIDAS"};
  std::vector<std::string> outline;
  for (const xml::Node& child : all.back().SelectNodes("*")) {
    if (child.Name() == "ERROR") {
      outline.push_back("ERROR" + KeyedValues(child));
      continue;
    }
    outline.push_back(child.Attribute("seq").value_or("?") +
                      KeyedValues(child));
    for (const xml::Node& activity : child.SelectNodes("listasal")) {
      std::string line = "  " + activity.Attribute("seq").value_or("?") + " ";
      const char* separator = "";
      for (const xml::Node& value : activity.SelectNodes("salida")) {
        line += separator + value.Text();
        separator = "|";
      }
      outline.push_back(line);
    }
  }
  return outline;
}

std::vector<std::string> RootChildren(const fs::path& file) {
  const xml::Document document = xml::Document::Load(file);
  std::vector<std::string> names;
  for (const xml::Node& child : document.Root().SelectNodes("*")) {
    names.push_back(child.Name());
  }
  return names;
}

}  // namespace tq::testing
