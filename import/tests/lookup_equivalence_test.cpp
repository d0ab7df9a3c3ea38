// The import's indexed look-ups (Locate, SetFilter) give the same result
// document as plain scans. Random working tables drawn from small pools of
// codes are full of duplicates, near misses (other letter case, blanks,
// quotes) and misses; the run's saved document is compared byte for byte
// with one built here by a straightforward reading of the per-lesson rules
// that walks every table from its first row with First/Next/Eof only.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "import/import_run.h"
#include "import/tests/import_fixture.h"
#include "platform/cp1252.h"
#include "platform/dbf_table.h"
#include "platform/xml_document.h"

namespace tq {
namespace {

namespace fs = std::filesystem;
using testing::Row;

// ---- The reference: scans only. ----

// The first row of `table`, walked from its first row, whose `field` reads
// `key`: calls `take` on it and returns true; false when no row does.
template <typename Take>
bool Scan(dbf::Table& table, const std::string& field, const std::string& key,
          Take take) {
  for (table.First(); !table.Eof(); table.Next()) {
    if (table.FieldByName(field).AsString() == key) {
      take(table);
      return true;
    }
  }
  return false;
}

std::string Get(dbf::Table& table, const char* field) {
  return table.FieldByName(field).AsString();
}

bool Blank(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > 32) return false;
  }
  return true;
}

void Add(xml::Document& doc, xml::Node parent, const std::string& key,
         const std::string& ansi) {
  xml::Node value = doc.CreateElement("salida");
  value.SetAttribute("dato", key);
  value.SetText(AnsiToUtf8(ansi));
  parent.AppendChild(value);
}

xml::Node List(xml::Document& doc, xml::Node parent, const std::string& seq) {
  xml::Node list = doc.CreateElement("listasal");
  list.SetAttribute("seq", seq);
  parent.AppendChild(list);
  return list;
}

std::string ReferenceResult(const fs::path& input, const fs::path& dir) {
  xml::Document doc = xml::Document::Load(input);
  xml::Node root = doc.Root();
  root.RemoveChild(root.SelectSingleNode("SALIDAS"));
  xml::Node salidas = doc.CreateElement("SALIDAS");
  root.AppendChild(salidas);
  xml::Node status = doc.CreateElement("ERROR");
  salidas.AppendChild(status);
  Add(doc, status, "CN_ERROR", "0");
  Add(doc, status, "TE_ERROR", "Servicio finalizado Correctamente");

  dbf::Table soluc("s", dir / "SOLUC.DBF"), prof("p", dir / "PROFT.DBF"),
      nomasg("n", dir / "ASIGNOMT.DBF"), tramos("t", dir / "DIASHORAST.DBF"),
      aulas("a", dir / "AULAT.DBF"), grupos("g", dir / "GRUPOST.DBF"),
      asig("i", dir / "ASIGT.DBF");
  for (dbf::Table* t : {&soluc, &prof, &nomasg, &tramos, &aulas, &grupos, &asig}) {
    t->Open();
  }
  const std::string kLetters = "LMXJVSD";
  int n = 1;
  for (prof.First(); !prof.Eof(); prof.Next()) {
    xml::Node teacher = List(doc, salidas, "EMPLEADO_" + std::to_string(n++));
    Add(doc, teacher, "X_EMPLEADO", Get(prof, "X_EMPLEADO"));
    Add(doc, teacher, "F_TOMAPOS", Get(prof, "F_TOMAPOS"));
    const std::string abrev = Get(prof, "ABREV");
    int m = 1;
    for (soluc.First(); !soluc.Eof(); soluc.Next()) {
      if (Get(soluc, "PROF") != abrev) continue;  // the filter, by hand
      if (soluc.FieldByName("DIA").AsInteger() == 0) continue;
      xml::Node activity = List(doc, teacher, "ACTIVIDAD_" + std::to_string(m++));
      const std::string tarea = Get(soluc, "TAREA"), aula = Get(soluc, "AULA"),
                        grupo = Get(soluc, "CODGRUPO"), cod = Get(soluc, "ASIG"),
                        dia = Get(soluc, "DIA");

      std::string activity_code = tarea;
      Scan(nomasg, "COD", tarea, [&](dbf::Table& t) { activity_code = Get(t, "MATERIA"); });
      if (Blank(activity_code)) activity_code = "G439";
      Add(doc, activity, "X_ACTIVIDAD", activity_code);

      std::string key;
      if (dia.size() == 1 && dia[0] >= '1' && dia[0] <= '7') key = kLetters[dia[0] - '1'];
      key += std::to_string(soluc.FieldByName("HORA").AsInteger());
      std::string slot_day, slot;
      Scan(tramos, "DIHO", key, [&](dbf::Table& t) {
        slot = Get(t, "CODDIHO");
        slot_day = Get(t, "DIA");
      });
      Add(doc, activity, "N_DIASEMANA", slot_day);
      Add(doc, activity, "X_TRAMO", slot);

      std::string room;
      Scan(aulas, "ABREV", aula, [&](dbf::Table& t) { room = Get(t, "DEPCENTRO"); });
      Add(doc, activity, "X_DEPCENTRO", room);
      std::string unit;
      Scan(grupos, "ABREV", grupo, [&](dbf::Table& t) { unit = Get(t, "UNIDAD"); });
      Add(doc, activity, "X_UNIDAD", unit);

      std::string subject;
      for (asig.First(); !asig.Eof(); asig.Next()) {
        if (Get(asig, "CASIG") == cod && Get(asig, "CGRUP") == grupo) {
          subject = Get(asig, "MATERIA");
          break;
        }
      }
      if (Blank(subject)) {
        Scan(nomasg, "COD", cod, [&](dbf::Table& t) { subject = Get(t, "MATERIA"); });
      }
      Add(doc, activity, "X_MATERIAOMC", subject);
    }
  }
  return doc.Serialize();
}

// ---- Random tables. ----

class Draw {
 public:
  explicit Draw(unsigned seed) : random_(seed) {}
  const std::string& From(const std::vector<std::string>& pool) {
    return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random_)];
  }
  int Between(int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
  }

 private:
  std::mt19937 random_;
};

// Codes that collide often: equal, equal but for letter case or blanks, a
// quote, an accented letter (code page 1252), empty.
const std::vector<std::string> kCodes = {"A", "A", "a", "B", "AB", " A", "O'N",
                                         "\xD1" "1", "", "C"};
const std::vector<std::string> kTargets = {"M1", "M2", "G7", "", " ", "M\xC1", "M1"};
const std::vector<std::string> kSlotNames = {"L1", "L2", "M1", "X3", "L01", "2",
                                             "V1", "L1", "D0"};

testing::WorkingTables RandomTables(Draw& draw) {
  testing::WorkingTables t;
  auto rows = [&](int low, int high, auto make) {
    std::vector<Row> out(static_cast<std::size_t>(draw.Between(low, high)));
    for (Row& row : out) row = make();
    return out;
  };
  t.subjects = rows(0, 12, [&] {
    return testing::Subject(draw.From(kCodes), draw.From(kTargets));
  });
  t.teachers = rows(0, 6, [&] {
    return testing::Teacher(draw.From(kCodes), draw.From(kTargets), draw.From(kTargets));
  });
  t.rooms = rows(0, 8, [&] { return testing::Room(draw.From(kCodes), draw.From(kTargets)); });
  t.groups = rows(0, 8, [&] { return testing::Group(draw.From(kCodes), draw.From(kTargets)); });
  t.assignments = rows(0, 15, [&] {
    return testing::Assignment(draw.From(kCodes), draw.From(kCodes), draw.From(kTargets));
  });
  t.slots = rows(0, 10, [&] {
    return testing::Slot(draw.From(kSlotNames), draw.From(kTargets),
                         std::to_string(draw.Between(1, 7)));
  });
  t.lessons = rows(0, 60, [&] {
    return testing::Lesson(draw.From(kCodes), std::to_string(draw.Between(0, 8)),
                           std::to_string(draw.Between(0, 3)), draw.From(kCodes),
                           draw.From(kCodes), draw.From(kCodes), draw.From(kCodes));
  });
  return t;
}

TEST(LookupEquivalenceTest, IndexedRunWritesTheDocumentThatScansWrite) {
  constexpr std::string_view kDocument =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
      "<SERVICIO>\n  <SALIDAS>\n    <listasal seq=\"PROFESORES\"/>\n  </SALIDAS>\n"
      "  <ENTRADAS/>\n</SERVICIO>\n";
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    testing::TempDir work;
    testing::TempDir docs;
    Draw draw(seed);
    RandomTables(draw).Write(work.Path());
    const fs::path input = docs / "datos.xml";
    testing::WriteFile(input, kDocument);

    ProcessState state;
    testing::FakePort port;
    port.choice = input.string();
    ASSERT_EQ(BImportarClick(state, port, work.Path(), nullptr),
              RunOutcome::kCompleted);
    const std::string result = testing::ReadFile(docs / "ResultadoQuadrixdatos.xml");
    EXPECT_EQ(result, ReferenceResult(input, work.Path()));
  }
}

}  // namespace
}  // namespace tq
