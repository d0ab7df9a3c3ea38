// The per-lesson step: the six values of a lesson found by the look-ups.
#include "import/activity_entry.h"

#include <gtest/gtest.h>

#include "formats/table_layouts.h"
#include "import/tests/import_fixture.h"

namespace tq {
namespace {

using testing::Assignment;
using testing::Group;
using testing::Lesson;
using testing::Room;
using testing::Row;
using testing::Slot;
using testing::Subject;
using testing::TempDir;
using testing::WorkingTables;

// The look-up tables every case below runs against.
WorkingTables LookupFixture() {
  WorkingTables tables;
  tables.subjects = {Subject("MAT", "M001"), Subject("MB", ""),
                     Subject("DUP", "FIRST"), Subject("DUP", "SECOND"),
                     Subject("LEN", "L100")};
  tables.slots = {Slot("L1", "T-L1", "1"),   Slot("S2", "T-S2", "6"),
                  Slot("D2", "T-D2", "7"),   Slot("L03", "T-L03", "1"),
                  Slot("L10", "T-L10", "1"), Slot("X4", "T-X4", "3")};
  tables.rooms = {Room("A1", "DC-A1"), Room("A2", "DC-A2")};
  tables.groups = {Group("1A", "U-1A"), Group("1B", "U-1B")};
  tables.assignments = {Assignment("MAT", "1B", "M-1B"),
                        Assignment("MAT", "1A", "M-1A"),
                        Assignment("MAT", "1A", "M-1A-2"),
                        Assignment("LEN", "2C", "L-2C"),
                        Assignment("MAT", "1C", "")};
  return tables;
}

// The components of a run over `dir`, the look-up tables open, ASIGT not.
struct OpenTables {
  explicit OpenTables(const std::filesystem::path& dir)
      : soluc("wwTableSoluc", dir / "SOLUC.DBF"),
        nom_asg("wwTableNomAsg", dir / "ASIGNOMT.DBF"),
        tramos("wwTableTramos", dir / "DIASHORAST.DBF"),
        aulas("wwTableAulas", dir / "AULAT.DBF"),
        grupos("wwTableGrupos", dir / "GRUPOST.DBF"),
        asig("wwTableAsig", dir / "ASIGT.DBF") {
    for (dbf::Table* table : {&soluc, &nom_asg, &tramos, &aulas, &grupos}) {
      table->Open();
    }
  }
  LookupTables Lookups() { return {nom_asg, tramos, aulas, grupos, asig}; }

  dbf::Table soluc, nom_asg, tramos, aulas, grupos, asig;
};

struct LessonCase {
  const char* name;
  Row lesson;
  // X_ACTIVIDAD, N_DIASEMANA, X_TRAMO, X_DEPCENTRO, X_UNIDAD, X_MATERIAOMC
  std::array<std::string, 6> expected;
};

std::array<std::string, 6> SixValues(const ActivityValues& v) {
  return {v.activity, v.slot_day, v.slot, v.room, v.unit, v.subject};
}

TEST(ActivityEntryTest, LooksUpEachValueByFirstMatchInTableOrder) {
  // The cases run in this order over one SOLUC table, so each also shows
  // that nothing carries over from the lesson before it.
  const std::vector<LessonCase> cases = {
      {"all found; ASIGT skips a CGRUP mismatch, takes the first of two",
       Lesson("P", "1", "1", "MAT", "A1", "1A", "MAT"),
       {"M001", "1", "T-L1", "DC-A1", "U-1A", "M-1A"}},
      {"task found, its subject blank: G439",
       Lesson("P", "1", "1", "MB", "A1", "1A", "MAT"),
       {"G439", "1", "T-L1", "DC-A1", "U-1A", "M-1A"}},
      {"blank task: G439; unmatched room after a found one is empty",
       Lesson("P", "1", "1", "", "Z9", "1A", "MAT"),
       {"G439", "1", "T-L1", "", "U-1A", "M-1A"}},
      {"unmatched task stays itself",
       Lesson("P", "1", "1", "T01", "A1", "1A", "MAT"),
       {"T01", "1", "T-L1", "DC-A1", "U-1A", "M-1A"}},
      {"duplicate COD: the first row's MATERIA",
       Lesson("P", "1", "1", "DUP", "A1", "1A", "MAT"),
       {"FIRST", "1", "T-L1", "DC-A1", "U-1A", "M-1A"}},
      {"day 6 hour 2 is S2", Lesson("P", "6", "2", "MAT", "A2", "1B", "MAT"),
       {"M001", "6", "T-S2", "DC-A2", "U-1B", "M-1B"}},
      {"day 7 hour 2 is D2", Lesson("P", "7", "2", "MAT", "A2", "1B", "MAT"),
       {"M001", "7", "T-D2", "DC-A2", "U-1B", "M-1B"}},
      {"day 8 has no letter: key 2, no slot",
       Lesson("P", "8", "2", "MAT", "A1", "1A", "MAT"),
       {"M001", "", "", "DC-A1", "U-1A", "M-1A"}},
      {"day 1 hour 3 is L3, not L03",
       Lesson("P", "1", "3", "MAT", "A1", "1A", "MAT"),
       {"M001", "", "", "DC-A1", "U-1A", "M-1A"}},
      {"day 1 hour 10 is L10", Lesson("P", "1", "10", "MAT", "A1", "1A", "MAT"),
       {"M001", "1", "T-L10", "DC-A1", "U-1A", "M-1A"}},
      {"room a1 does not match A1; group 1a not 1A",
       Lesson("P", "3", "4", "MAT", "a1", "1a", "MAT"),
       {"M001", "3", "T-X4", "", "", "M001"}},
      {"CASIG matches, CGRUP does not: subject from ASIGNOMT",
       Lesson("P", "1", "1", "LEN", "A1", "1A", "LEN"),
       {"L100", "1", "T-L1", "DC-A1", "U-1A", "L100"}},
      {"ASIGT row found with a blank MATERIA: subject from ASIGNOMT",
       Lesson("P", "1", "1", "MAT", "A1", "1C", "MAT"),
       {"M001", "1", "T-L1", "DC-A1", "", "M001"}},
      {"subject found nowhere: empty",
       Lesson("P", "1", "1", "MAT", "A1", "1A", "ZZ"),
       {"M001", "1", "T-L1", "DC-A1", "U-1A", ""}},
  };

  TempDir dir;
  WorkingTables tables = LookupFixture();
  for (const LessonCase& c : cases) tables.lessons.push_back(c.lesson);
  tables.Write(dir.Path());

  OpenTables open(dir.Path());
  LookupTables lookups = open.Lookups();
  EXPECT_FALSE(open.asig.Active());
  std::size_t i = 0;
  for (open.soluc.First(); !open.soluc.Eof(); open.soluc.Next(), ++i) {
    ASSERT_LT(i, cases.size());
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(SixValues(LookUpActivity(open.soluc, lookups)),
              cases[i].expected);
  }
  EXPECT_EQ(i, cases.size());
  EXPECT_TRUE(open.asig.Active()) << "ASIGT is opened by the first lesson";
}

TEST(ActivityEntryTest, ReportsWhatEachLookUpMissed) {
  TempDir dir;
  WorkingTables tables = LookupFixture();
  tables.lessons = {Lesson("P", "8", "2", "MAT", "a1", "9Z", "ZZ"),
                    Lesson("P", "1", "1", "MAT", "A1", "1C", "MAT")};
  tables.Write(dir.Path());
  OpenTables open(dir.Path());
  LookupTables lookups = open.Lookups();

  const ActivityValues missed = LookUpActivity(open.soluc, lookups);
  EXPECT_EQ(missed.slot_key, "2");
  EXPECT_FALSE(missed.slot_found);
  EXPECT_FALSE(missed.room_found);
  EXPECT_FALSE(missed.unit_found);
  EXPECT_FALSE(missed.subject_found);

  open.soluc.Next();
  const ActivityValues found = LookUpActivity(open.soluc, lookups);
  EXPECT_EQ(found.slot_key, "L1");
  EXPECT_TRUE(found.slot_found && found.room_found && found.subject_found);
  EXPECT_FALSE(found.unit_found);
}

// SOLUC's DIA may be a character field: its text decides the letter, so
// "01" and " 1" give none, while its number still reads 1.
TEST(ActivityEntryTest, DayOfACharacterFieldIsTakenAsWritten) {
  TempDir dir;
  WorkingTables tables = LookupFixture();
  tables.soluc_fields[1] = {"DIA", dbf::FieldKind::kString, 2};
  tables.lessons = {Lesson("P", "1", "1", "MAT", "A1", "1A", "MAT"),
                    Lesson("P", "01", "1", "MAT", "A1", "1A", "MAT")};
  tables.Write(dir.Path());
  OpenTables open(dir.Path());
  LookupTables lookups = open.Lookups();

  EXPECT_EQ(LookUpActivity(open.soluc, lookups).slot_key, "L1");
  open.soluc.Next();
  EXPECT_EQ(open.soluc.FieldByName("DIA").AsInteger(), 1);
  EXPECT_EQ(LookUpActivity(open.soluc, lookups).slot_key, "1");
}

TEST(ActivityEntryTest, DayHourKey) {
  struct Case {
    std::string_view day;
    int32_t hour;
    std::string_view key;
  };
  for (const Case& c : {Case{"3", 4, "X4"}, Case{"1", 10, "L10"},
                        Case{"6", 2, "S2"}, Case{"8", 2, "2"},
                        Case{"01", 3, "3"}, Case{"", 5, "5"},
                        Case{"2", -1, "M-1"}}) {
    SCOPED_TRACE(std::string(c.day) + "/" + std::to_string(c.hour));
    EXPECT_EQ(DayHourKey(c.day, c.hour), c.key);
  }
}

}  // namespace
}  // namespace tq
