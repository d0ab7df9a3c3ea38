#include "platform/dbf_table.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tq::dbf {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A field descriptor as another writer would put it in a file.
struct RawField {
  std::string name;
  char type;
  int length;
  int decimals = 0;
};

void Put16(std::string& s, std::size_t at, unsigned v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A table file built byte by byte, independently of the engine's encoder.
// `records` are whole records, deletion flag first.
struct RawTable {
  uint8_t version = 0x03;
  std::vector<RawField> fields;
  std::vector<std::string> records;
  bool end_marker = true;
  int extra_header = 0;       // padding bytes after the terminator
  int64_t count = -1;         // record count in the header; -1: records.size()
  int64_t header_length = -1;  // -1: computed
  int64_t record_length = -1;  // -1: computed

  std::string Bytes() const {
    std::string out(32, '\0');
    out[0] = static_cast<char>(version);
    out[1] = 124;
    out[2] = 5;
    out[3] = 17;
    Put32(out, 4, count >= 0 ? static_cast<uint32_t>(count)
                             : static_cast<uint32_t>(records.size()));
    int reclen = 1;
    for (const RawField& f : fields) reclen += f.length;
    std::size_t backlink = (version == 0x30 || version == 0x31) ? 263 : 0;
    std::size_t hdrlen = 32 + 32 * fields.size() + 1 + backlink + extra_header;
    Put16(out, 8, header_length >= 0 ? static_cast<unsigned>(header_length)
                                     : static_cast<unsigned>(hdrlen));
    Put16(out, 10, record_length >= 0 ? static_cast<unsigned>(record_length)
                                      : static_cast<unsigned>(reclen));
    out[29] = 0x03;
    for (const RawField& f : fields) {
      std::string d(32, '\0');
      d.replace(0, f.name.size(), f.name);
      d[11] = f.type;
      d[16] = static_cast<char>(f.length);
      d[17] = static_cast<char>(f.decimals);
      out += d;
    }
    out += '\x0D';
    out += std::string(backlink + extra_header, '\0');
    for (const std::string& r : records) out += r;
    if (end_marker) out += '\x1A';
    return out;
  }
};

class DbfTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dbf_table_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Write(const std::string& name, const RawTable& raw) {
    const fs::path path = dir_ / name;
    WriteBytes(path, raw.Bytes());
    return path;
  }

  // Creates a table and appends rows, each value assigned with SetAsString.
  fs::path Make(const std::string& name, const std::vector<FieldDef>& fields,
                const std::vector<std::vector<std::string>>& rows) {
    const fs::path path = dir_ / name;
    Table::Create(path, fields);
    Table table("wwTest", path);
    table.Open();
    for (const auto& row : rows) {
      table.Append();
      for (std::size_t i = 0; i < row.size(); ++i) {
        table.FieldByName(fields[i].name).SetAsString(row[i]);
      }
      table.Post();
    }
    table.Close();
    return path;
  }

  // Every value of `field` in cursor order.
  static std::vector<std::string> Column(Table& table, std::string_view field) {
    std::vector<std::string> values;
    for (; !table.Eof(); table.Next()) values.push_back(table.FieldByName(field).AsString());
    return values;
  }

  fs::path dir_;
};

TEST_F(DbfTableTest, WritesDbase3BytesReadersExpect) {
  const fs::path path = dir_ / "T.DBF";
  const FieldDef fields[] = {{"COD", FieldKind::kString, 4},
                             {"ESTAREA", FieldKind::kBoolean},
                             {"DNI", FieldKind::kInteger},
                             {"HORAS", FieldKind::kFloat}};
  Table::Create(path, fields);
  Table table("wwTest", path);
  table.Open();
  table.Append();
  table.FieldByName("COD").SetAsString("AB\xF1");
  table.FieldByName("ESTAREA").SetAsBoolean(true);
  table.FieldByName("DNI").SetAsInteger(-42);
  table.FieldByName("HORAS").SetAsFloat(1.5);
  table.Post();
  table.Append();
  table.Post();
  table.Close();

  const std::string bytes = ReadBytes(path);
  const std::size_t header_length = 32 + 4 * 32 + 1;
  const std::size_t record_length = 1 + 4 + 1 + 11 + 19;
  ASSERT_EQ(bytes.size(), header_length + 2 * record_length + 1);
  EXPECT_EQ(bytes[0], 0x03);
  EXPECT_EQ(bytes[4], 2);  // record count, little-endian
  EXPECT_EQ(bytes.substr(5, 3), std::string(3, '\0'));
  EXPECT_EQ(static_cast<uint8_t>(bytes[8]) | static_cast<uint8_t>(bytes[9]) << 8,
            header_length);
  EXPECT_EQ(static_cast<uint8_t>(bytes[10]) | static_cast<uint8_t>(bytes[11]) << 8,
            record_length);
  EXPECT_EQ(bytes[29], 0x03);  // language driver: Windows ANSI
  const struct {
    std::string name;
    char type;
    int length;
    int decimals;
  } descriptors[] = {{"COD", 'C', 4, 0}, {"ESTAREA", 'L', 1, 0},
                     {"DNI", 'N', 11, 0}, {"HORAS", 'N', 19, 9}};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(descriptors[i].name);
    const std::string d = bytes.substr(32 + 32 * i, 32);
    EXPECT_EQ(d.substr(0, 11), descriptors[i].name +
                                   std::string(11 - descriptors[i].name.size(), '\0'));
    EXPECT_EQ(d[11], descriptors[i].type);
    EXPECT_EQ(d[16], descriptors[i].length);
    EXPECT_EQ(d[17], descriptors[i].decimals);
  }
  EXPECT_EQ(bytes[header_length - 1], 0x0D);
  EXPECT_EQ(bytes.substr(header_length, record_length),
            " AB\xF1 T        -42        1.500000000");
  EXPECT_EQ(bytes.substr(header_length + record_length, record_length),
            std::string(record_length, ' '));
  EXPECT_EQ(bytes.back(), 0x1A);
}

TEST_F(DbfTableTest, CreateReplacesTableAndDeleteRemovesBothFilesIgnoringCase) {
  const std::vector<FieldDef> fields = {{"A", FieldKind::kString, 3}};
  const fs::path path = Make("PROFT.DBF", fields, {{"x"}, {"y"}});
  Make("PROFT.DBF", fields, {});
  Table table("wwTest", path);
  table.Open();
  EXPECT_TRUE(table.Eof());
  table.Close();

  fs::rename(path, dir_ / "proft.dbf");
  WriteBytes(dir_ / "Proft.Mdx", "index");
  WriteBytes(dir_ / "PROFTX.DBF", "other");
  DeleteTableFiles(dir_ / "PROFT.DBF");
  EXPECT_FALSE(fs::exists(dir_ / "proft.dbf"));
  EXPECT_FALSE(fs::exists(dir_ / "Proft.Mdx"));
  EXPECT_TRUE(fs::exists(dir_ / "PROFTX.DBF"));
  DeleteTableFiles(dir_ / "PROFT.DBF");  // nothing left: no error
}

TEST_F(DbfTableTest, CreateRefusesDefinitionsDbaseCannotHold) {
  const struct {
    const char* name;
    std::vector<FieldDef> fields;
    const char* cause;
  } cases[] = {
      {"no fields", {}, "no tiene campos"},
      {"long name", {{"X_EMPLEADOS", FieldKind::kString, 4}}, "de 1 a 10"},
      {"empty name", {{"", FieldKind::kString, 4}}, "de 1 a 10"},
      {"blank in name", {{"A B", FieldKind::kString, 4}}, "no admitidos"},
      {"repeated", {{"COD", FieldKind::kString, 4}, {"cod", FieldKind::kInteger}},
       "repetido"},
      {"width 0", {{"COD", FieldKind::kString, 0}}, "anchura de 0"},
      {"width 255", {{"COD", FieldKind::kString, 255}}, "anchura de 255"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Table::Create(dir_ / "T.DBF", c.fields);
      ADD_FAILURE() << "accepted";
    } catch (const TableError& e) {
      EXPECT_THAT(e.what(), HasSubstr("No se puede crear la tabla «" +
                                      (dir_ / "T.DBF").string() + "»"));
      EXPECT_THAT(e.what(), HasSubstr(c.cause));
    }
  }
}

TEST_F(DbfTableTest, StringsAreCutToWidthAndReadWithoutFillBlanks) {
  const struct {
    const char* assigned;
    const char* read;
  } cases[] = {
      {"ABCDEF", "ABCD"}, {"ABCD", "ABCD"}, {"  AB", "  AB"}, {"AB  ", "AB"},
      {" A B ", " A B"},  {"", ""},         {"\xF1\xE1\x80", "\xF1\xE1\x80"},
  };
  const FieldDef fields[] = {{"COD", FieldKind::kString, 4},
                             {"OTRO", FieldKind::kString, 2}};
  const fs::path path = dir_ / "T.DBF";
  Table::Create(path, fields);
  Table table("wwTest", path);
  table.Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.assigned);
    table.Append();
    table.FieldByName("COD").SetAsString(c.assigned);
    EXPECT_EQ(table.FieldByName("COD").AsString(), c.read) << "unposted";
    EXPECT_EQ(table.FieldByName("OTRO").AsString(), "") << "never assigned";
    table.Post();
  }
  table.Close();
  table.Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.assigned);
    ASSERT_FALSE(table.Eof());
    EXPECT_EQ(table.FieldByName("cod").AsString(), c.read);
    EXPECT_EQ(table.FieldByName("OTRO").AsString(), "");
    table.Next();
  }
  EXPECT_TRUE(table.Eof());
}

TEST_F(DbfTableTest, AsIntegerReadsNumbersAndDigitTexts) {
  const struct {
    const char* text;  // C(6) content
    const char* number;  // N(6,2) content
    int32_t c_value;   // 0 with c_error
    bool c_error;
    int32_t n_value;
  } cases[] = {
      {"12    ", "  2.50", 12, false, 2},   // halves round to even
      {"  -7  ", "  3.50", -7, false, 4},
      {"+5    ", " -1.60", 5, false, -2},
      {"007   ", "      ", 7, false, 0},    // blank number reads 0
      {"1.5   ", "  0.49", 0, true, 0},
      {"abc   ", "100.00", 0, true, 100},
      {"      ", " +9.00", 0, true, 9},
      {"1 2   ", "  -0.5", 0, true, 0},
  };
  RawTable raw;
  raw.fields = {{"DIA", 'C', 6}, {"HORA", 'N', 6, 2}};
  for (const auto& c : cases) raw.records.push_back(std::string(" ") + c.text + c.number);
  Table table("wwTableSoluc", Write("SOLUC.DBF", raw));
  table.Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_FALSE(table.Eof());
    EXPECT_EQ(table.FieldByName("HORA").AsInteger(), c.n_value);
    if (c.c_error) {
      try {
        table.FieldByName("DIA").AsInteger();
        ADD_FAILURE() << "no error";
      } catch (const ConversionError& e) {
        std::string shown(c.text);
        shown.erase(shown.find_last_not_of(' ') + 1);
        EXPECT_EQ(e.what(), "'" + shown + "' no es un valor entero válido");
      }
    } else {
      EXPECT_EQ(table.FieldByName("DIA").AsInteger(), c.c_value);
    }
    table.Next();
  }
}

TEST_F(DbfTableTest, NumericFieldsStoreWhatFitsAndRefuseWhatDoesNot) {
  const struct {
    double value;
    const char* stored;
  } float_cases[] = {
      {1.5, "        1.500000000"},
      {-0.25, "       -0.250000000"},
      {123456789.5, "123456789.500000000"},
      {1e10, "10000000000.0000000"},  // fewer decimals before refusing
      {-1e-12, "        0.000000000"},
  };
  const FieldDef fields[] = {{"HORAS", FieldKind::kFloat}, {"N", FieldKind::kInteger}};
  const fs::path path = dir_ / "T.DBF";
  Table::Create(path, fields);
  Table table("wwTest", path);
  table.Open();
  for (const auto& c : float_cases) {
    SCOPED_TRACE(c.value);
    table.Append();
    Field horas = table.FieldByName("HORAS");
    horas.SetAsFloat(c.value);
    EXPECT_EQ(horas.AsFloat(), c.value) << "unposted row keeps the value written";
    table.Post();
  }
  table.Append();
  EXPECT_THROW(table.FieldByName("HORAS").SetAsFloat(1e19), TableError);
  EXPECT_THROW(table.FieldByName("HORAS").SetAsFloat(NAN), TableError);
  EXPECT_EQ(table.FieldByName("HORAS").AsFloat(), 0.0) << "unassigned";
  table.FieldByName("HORAS").SetAsFloat(0.1 + 0.2);
  EXPECT_EQ(table.FieldByName("HORAS").AsFloat(), 0.1 + 0.2);
  table.FieldByName("N").SetAsInteger(INT32_MIN);
  table.Post();
  table.Close();

  const std::string bytes = ReadBytes(path);
  const std::size_t header_length = 32 + 2 * 32 + 1, record_length = 1 + 19 + 11;
  std::size_t row = 0;
  for (const auto& c : float_cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(bytes.substr(header_length + row++ * record_length + 1, 19), c.stored);
  }
  EXPECT_EQ(bytes.substr(header_length + row * record_length + 20, 11), "-2147483648");
}

TEST_F(DbfTableTest, AsBooleanTakesTAndYInEitherCase) {
  const struct {
    char stored;
    bool value;
  } cases[] = {{'T', true}, {'t', true}, {'Y', true}, {'y', true},
               {'F', false}, {'N', false}, {' ', false}, {'?', false}};
  RawTable raw;
  raw.fields = {{"ESTAREA", 'L', 1}};
  for (const auto& c : cases) raw.records.push_back(std::string(" ") + c.stored);
  Table table("wwTest", Write("T.DBF", raw));
  table.Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(table.FieldByName("ESTAREA").AsBoolean(), c.value);
    table.Next();
  }
}

TEST_F(DbfTableTest, CursorVisitsLiveRowsInFileOrder) {
  RawTable raw;
  raw.fields = {{"A", 'C', 2}};
  raw.records = {"*d1", " r1", "*d2", "*d3", " r2", " r3", "*d4"};
  Table table("wwTest", Write("T.DBF", raw));
  table.Open();
  EXPECT_EQ(Column(table, "A"), (std::vector<std::string>{"r1", "r2", "r3"}));
  table.Next();  // at the end: stays there
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(table.FieldByName("A").AsString(), "");
  table.First();
  EXPECT_EQ(table.FieldByName("A").AsString(), "r1");

  Table empty("wwEmpty", Make("E.DBF", {{"A", FieldKind::kString, 2}}, {}));
  empty.Open();
  EXPECT_TRUE(empty.Eof());
  empty.First();
  EXPECT_TRUE(empty.Eof());
}

TEST_F(DbfTableTest, FilterSelectsRowsEqualToQuotedValue) {
  const std::vector<FieldDef> fields = {{"PROF", FieldKind::kString, 4},
                                        {"N", FieldKind::kString, 2}};
  const fs::path path = Make("SOLUC.DBF", fields,
                             {{"AB", "1"}, {"ab", "2"}, {"O'NE", "3"}, {"AB  ", "4"},
                              {" AB", "5"}, {"ABC", "6"}, {"", "7"}, {"AB", "8"}});
  const struct {
    const char* filter;
    std::vector<std::string> rows;
  } cases[] = {
      {"PROF= 'AB'", {"1", "4", "8"}},
      {"PROF='AB'", {"1", "4", "8"}},
      {"  PROF  =  'AB'  ", {"1", "4", "8"}},
      {"prof= 'AB'", {"1", "4", "8"}},
      {"PROF= 'ab'", {"2"}},
      {"PROF= 'O''NE'", {"3"}},
      {"PROF= ' AB'", {"5"}},
      {"PROF= ''", {"7"}},
      {"PROF= 'ZZ'", {}},
      {"PROF= 'A'", {}},
  };
  Table table("wwTableSoluc", path);
  table.Open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    table.SetFiltered(false);
    table.SetFilter(c.filter);
    table.SetFiltered(true);
    EXPECT_EQ(Column(table, "N"), c.rows);
    table.First();
    EXPECT_EQ(Column(table, "N"), c.rows) << "after First";
  }
  // Changing the text while filtered applies the new one at once.
  table.SetFilter("PROF= 'ab'");
  EXPECT_EQ(Column(table, "N"), (std::vector<std::string>{"2"}));
  table.SetFiltered(false);
  table.First();
  EXPECT_EQ(Column(table, "N").size(), 8u);
}

TEST_F(DbfTableTest, FilterOtherThanFieldEqualsValueIsRefused) {
  const fs::path path = Make("SOLUC.DBF", {{"PROF", FieldKind::kString, 4}}, {{"AB"}});
  const char* filters[] = {"PROF > 'AB'", "PROF= 'AB",       "PROF= AB",
                           "PROF= \"AB\"", "PROF= 'A' AND PROF= 'B'", "= 'AB'",
                           "PROF== 'AB'", "PROF= 'A''"};
  Table table("wwTableSoluc", path);
  table.Open();
  for (const char* filter : filters) {
    SCOPED_TRACE(filter);
    table.SetFilter(filter);
    try {
      table.SetFiltered(true);
      ADD_FAILURE() << "accepted";
    } catch (const TableError& e) {
      EXPECT_THAT(e.what(), HasSubstr(std::string("filtro no admitido «") + filter + "»"));
    }
    table.First();
    EXPECT_FALSE(table.Eof()) << "the table stays unfiltered";
  }
  // A refused text given while filtered leaves the table unfiltered.
  table.SetFilter("PROF= 'ZZ'");
  table.SetFiltered(true);
  EXPECT_TRUE(table.Eof());
  EXPECT_THROW(table.SetFilter("PROF > 'A'"), TableError);
  table.First();
  EXPECT_FALSE(table.Eof());
  table.SetFiltered(false);

  table.SetFilter("AULA= 'A1'");
  try {
    table.SetFiltered(true);
    ADD_FAILURE() << "accepted";
  } catch (const TableError& e) {
    EXPECT_STREQ(e.what(), "wwTableSoluc: No se encuentra el campo 'AULA'");
  }
}

TEST_F(DbfTableTest, FilterSetBeforeOpenAppliesOnOpen) {
  const fs::path path =
      Make("SOLUC.DBF", {{"PROF", FieldKind::kString, 4}}, {{"A"}, {"B"}, {"A"}});
  Table table("wwTableSoluc", path);
  table.SetFilter("PROF= 'B'");
  table.SetFiltered(true);
  table.Open();
  EXPECT_EQ(Column(table, "PROF"), (std::vector<std::string>{"B"}));
}

// The scan Locate must agree with: the first live row, in file order, that
// passes the filter (if any) and whose fields equal the values.
std::optional<std::size_t> ScanFor(const std::vector<std::vector<std::string>>& rows,
                                   const std::vector<bool>& deleted,
                                   const std::vector<std::pair<int, std::string>>& wanted) {
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (deleted[r]) continue;
    bool all = true;
    for (const auto& [field, value] : wanted) all = all && rows[r][field] == value;
    if (all) return r;
  }
  return std::nullopt;
}

TEST_F(DbfTableTest, LocateFindsTheRowAScanFinds) {
  const char* names[] = {"A", "B", "ID"};
  const std::vector<std::string> alphabet = {"", "x", "y", "X", "xy", " x"};
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    auto pick = [&] { return alphabet[random() % alphabet.size()]; };
    RawTable raw;
    raw.fields = {{"A", 'C', 3}, {"B", 'C', 3}, {"ID", 'C', 4}};
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> deleted;
    const std::size_t count = 50 + random() % 200;
    for (std::size_t r = 0; r < count; ++r) {
      rows.push_back({pick(), pick(), std::to_string(r)});
      deleted.push_back(random() % 5 == 0);
      std::string record(deleted.back() ? "*" : " ");
      for (std::size_t f = 0; f < 3; ++f) {
        record += rows[r][f] + std::string(raw.fields[f].length - rows[r][f].size(), ' ');
      }
      raw.records.push_back(record);
    }
    Table table("wwTest", Write("T" + std::to_string(seed) + ".DBF", raw));
    table.Open();
    auto expect_same = [&](const std::vector<std::pair<int, std::string>>& wanted,
                           const std::vector<std::pair<int, std::string>>& filter) {
      std::vector<Table::Match> matches;
      for (const auto& [field, value] : wanted) matches.push_back({names[field], value});
      const bool found = table.Locate(matches);
      std::vector<std::pair<int, std::string>> all = wanted;
      all.insert(all.end(), filter.begin(), filter.end());
      const std::optional<std::size_t> expected = ScanFor(rows, deleted, all);
      ASSERT_EQ(found, expected.has_value());
      if (found) {
        EXPECT_EQ(table.FieldByName("ID").AsString(), std::to_string(*expected));
      } else {
        EXPECT_TRUE(table.Eof());
      }
    };
    for (const std::string& a : alphabet) {
      expect_same({{0, a}}, {});
      for (const std::string& b : alphabet) expect_same({{0, a}, {1, b}}, {});
      expect_same({{0, a}, {0, a}}, {});
      expect_same({{1, a}, {0, "x"}}, {});
    }
    expect_same({{0, "absent"}}, {});
    // Filtered on B = "y": only passing rows are found.
    table.SetFilter("B= 'y'");
    table.SetFiltered(true);
    for (const std::string& a : alphabet) {
      expect_same({{0, a}}, {{1, "y"}});
      // After a Locate the cursor goes on through the filtered rows.
      if (table.Locate("A", a)) {
        const std::size_t from = std::stoul(table.FieldByName("ID").AsString());
        table.Next();
        std::optional<std::size_t> next;
        for (std::size_t r = from + 1; r < rows.size() && !next; ++r) {
          if (!deleted[r] && rows[r][1] == "y") next = r;
        }
        ASSERT_EQ(!table.Eof(), next.has_value());
        if (next) {
          EXPECT_EQ(table.FieldByName("ID").AsString(), std::to_string(*next));
        }
      }
    }
    table.SetFiltered(false);
  }
}

TEST_F(DbfTableTest, AppendedRowsAreSeenByCursorFilterAndLocate) {
  const std::vector<FieldDef> fields = {{"K", FieldKind::kString, 2},
                                        {"V", FieldKind::kInteger}};
  const fs::path path = Make("T.DBF", fields, {{"a", "1"}, {"b", "2"}});
  Table table("wwTest", path);
  table.Open();
  ASSERT_TRUE(table.Locate("K", "a"));  // indexes built before the appends
  table.SetFilter("K= 'a'");
  table.SetFiltered(true);
  table.Append();
  table.FieldByName("K").SetAsString("a");
  table.FieldByName("V").SetAsInteger(3);
  table.Post();
  table.Append();
  table.FieldByName("K").SetAsString("c");
  table.FieldByName("V").SetAsInteger(4);
  table.Post();
  table.First();
  EXPECT_EQ(Column(table, "V"), (std::vector<std::string>{"1", "3"}));
  table.SetFiltered(false);
  EXPECT_TRUE(table.Locate("K", "c"));
  EXPECT_EQ(table.FieldByName("V").AsInteger(), 4);
  EXPECT_TRUE(table.Locate("K", "a"));
  EXPECT_EQ(table.FieldByName("V").AsInteger(), 1) << "the first one stays first";
  table.Close();

  // The file now holds four rows, the count, the end marker and nothing else.
  const std::string bytes = ReadBytes(path);
  EXPECT_EQ(bytes[4], 4);
  EXPECT_EQ(bytes.size(), 32u + 2 * 32 + 1 + 4 * (1 + 2 + 11) + 1);
  EXPECT_EQ(bytes.back(), 0x1A);
}

TEST_F(DbfTableTest, FieldByNameIgnoresCaseAndNamesTheComponentWhenAbsent) {
  const fs::path path = Make("T.DBF", {{"X_EMPLEADO", FieldKind::kString, 10}}, {{"7"}});
  Table table("wwTableSoluc", path);
  table.Open();
  EXPECT_EQ(table.FieldByName("x_empleado").Name(), "X_EMPLEADO");
  EXPECT_EQ(table.FindField("AULA"), std::nullopt);
  try {
    table.FieldByName("AULA");
    ADD_FAILURE() << "found";
  } catch (const TableError& e) {
    EXPECT_STREQ(e.what(), "wwTableSoluc: No se encuentra el campo 'AULA'");
  }
}

TEST_F(DbfTableTest, SecondOpenOfAHeldTableIsRefusedInThisAndOtherProcesses) {
  const fs::path path = Make("PROFT.DBF", {{"A", FieldKind::kString, 2}}, {{"x"}});
  const std::string in_use =
      "La tabla «" + path.string() + "» está en uso por otro programa y no se puede abrir.";
  Table first("wwTableProfesor", path);
  first.SetActive(true);
  first.SetActive(true);  // the current state again: nothing happens
  ASSERT_TRUE(first.Active());

  Table second("wwOtra", path);
  try {
    second.Open();
    ADD_FAILURE() << "opened";
  } catch (const TableInUseError& e) {
    EXPECT_EQ(e.what(), in_use);
  }
  EXPECT_FALSE(second.Active());

  // Another process: exit 0 when refused with the message, else 1.
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    int status = 1;
    try {
      Table other("wwOtra", path);
      other.Open();
    } catch (const TableInUseError& e) {
      status = e.what() == in_use ? 0 : 1;
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  first.SetActive(false);
  first.SetActive(false);
  second.Open();
  EXPECT_EQ(second.FieldByName("A").AsString(), "x");
}

TEST_F(DbfTableTest, MissingTableIsNamed) {
  Table table("wwTest", dir_ / "NADA.DBF");
  try {
    table.Open();
    ADD_FAILURE() << "opened";
  } catch (const TableError& e) {
    EXPECT_EQ(std::string(e.what()), "No se encuentra la tabla «" + (dir_ / "NADA.DBF").string() + "»");
  }
}

TEST_F(DbfTableTest, OpenFindsTheFileIgnoringCase) {
  Make("soluc.dbf", {{"PROF", FieldKind::kString, 4}}, {{"AB"}});
  Table table("wwTableSoluc", dir_ / "SOLUC.DBF");
  table.Open();
  EXPECT_EQ(table.FieldByName("PROF").AsString(), "AB");
}

TEST_F(DbfTableTest, ReadsTablesOfOtherWriters) {
  const std::vector<RawField> fields = {{"PROF", 'C', 4},    {"DIA", 'N', 2},
                                        {"HORAS", 'F', 6, 2}, {"OK", 'L', 1},
                                        {"FECHA", 'D', 8}};
  const std::vector<std::string> records = {" AB   3  1.50T20240131",
                                            "*ZZ   9  9.99F20000101",
                                            std::string(" \xF1") + "A  " + "  " +
                                                "     7" + "?" + "        "};
  const struct {
    const char* name;
    uint8_t version;
    bool end_marker;
    int extra_header;
    int extra_records;  // bytes of records beyond the header's count
  } cases[] = {
      {"dBase III", 0x03, true, 0, 0},
      {"dBase III memo", 0x83, false, 0, 0},
      {"dBase IV", 0x04, true, 0, 0},
      {"dBase IV memo", 0x8B, true, 1, 0},
      {"dBase IV SQL", 0x8E, true, 0, 0},
      {"Visual FoxPro", 0x30, true, 0, 0},
      {"FoxPro 2", 0xF5, false, 0, 0},
      {"count below content", 0x03, true, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawTable raw;
    raw.version = c.version;
    raw.fields = fields;
    raw.records = records;
    raw.end_marker = c.end_marker;
    raw.extra_header = c.extra_header;
    if (c.extra_records) {
      raw.count = 3;
      raw.records.push_back(" XX   1  1.00T20240101");
    }
    Table table("wwTableSoluc", Write("SOLUC.DBF", raw));
    table.Open();
    ASSERT_EQ(table.Fields().size(), 5u);
    EXPECT_EQ(table.Fields()[2].kind, FieldKind::kFloat);
    std::vector<std::string> seen;
    for (; !table.Eof(); table.Next()) {
      std::string row;
      for (const FieldDef& f : table.Fields()) row += table.FieldByName(f.name).AsString() + "|";
      row += std::to_string(table.FieldByName("DIA").AsInteger()) + "|" +
             std::to_string(table.FieldByName("HORAS").AsFloat()) + "|" +
             (table.FieldByName("OK").AsBoolean() ? "T" : "F");
      seen.push_back(row);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"AB|3|1.5|T|20240131|3|1.500000|T",
                                              "\xF1" "A||7|||0|7.000000|F"}));
  }
}

TEST_F(DbfTableTest, RefusesDamagedFilesBeforeReadingRows) {
  const std::vector<RawField> good = {{"PROF", 'C', 4}, {"DIA", 'N', 2}};
  auto table_with = [&](auto change) {
    RawTable raw;
    raw.fields = good;
    raw.records = {" AB   3", " CD   4"};
    change(raw);
    return raw.Bytes();
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* cause;
  } cases[] = {
      {"empty file", "", "mide 0 bytes, menos que la cabecera"},
      {"short header", std::string(20, '\x03'), "mide 20 bytes"},
      {"unknown version", table_with([](RawTable& r) { r.version = 0x00; }),
       "byte de versión 0x00"},
      {"text file", std::string(100, 'a'), "byte de versión 0x61"},
      {"header longer than file", table_with([](RawTable& r) { r.header_length = 5000; }),
       "la cabecera dice medir 5000 bytes"},
      {"header shorter than descriptors",
       table_with([](RawTable& r) { r.header_length = 32 + 2 * 32; }),
       "la longitud de cabecera (96 bytes) no coincide"},
      {"no terminator",
       [&] {
         std::string b = table_with([](RawTable&) {});
         b[32 + 2 * 32] = 'X';
         return b.substr(0, 32 + 2 * 32 + 20);
       }(),
       "falta el terminador 0x0D"},
      {"no fields", table_with([](RawTable& r) { r.fields.clear(); r.records.clear(); }),
       "no tiene campos"},
      {"record length too big", table_with([](RawTable& r) { r.record_length = 8; }),
       "la longitud de registro (8 bytes) no coincide con la suma de los campos (7"},
      {"record length too small", table_with([](RawTable& r) { r.record_length = 3; }),
       "la longitud de registro (3 bytes)"},
      {"zero length", table_with([](RawTable& r) { r.fields[1].length = 0; }),
       "«DIA» tiene longitud 0"},
      {"absurd numeric", table_with([](RawTable& r) { r.fields[1].length = 200; }),
       "«DIA» tiene una longitud imposible (200)"},
      {"decimals beyond width", table_with([](RawTable& r) { r.fields[1].decimals = 3; }),
       "más decimales (3) que longitud (2)"},
      {"logical of two", table_with([](RawTable& r) { r.fields[1] = {"OK", 'L', 2}; }),
       "«OK» tiene longitud 2 en lugar de 1"},
      {"date of six", table_with([](RawTable& r) { r.fields[1] = {"F", 'D', 6}; }),
       "«F» tiene longitud 6 en lugar de 8"},
      {"nameless field", table_with([](RawTable& r) { r.fields[0].name = ""; }),
       "n.º 1 no tiene nombre"},
      {"bad type", table_with([](RawTable& r) { r.fields[0].type = '\x01'; }),
       "tipo inválido (0x01)"},
      {"truncated rows", table_with([](RawTable& r) { r.count = 5; r.end_marker = false; }),
       "el archivo está truncado: la cabecera anuncia 5 registros de 7 bytes"},
      {"huge count", table_with([](RawTable& r) { r.count = 0xFFFFFFFF; }),
       "anuncia 4294967295 registros"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = dir_ / "BAD.DBF";
    WriteBytes(path, c.bytes);
    Table table("wwTest", path);
    try {
      table.Open();
      ADD_FAILURE() << "opened";
    } catch (const TableError& e) {
      EXPECT_THAT(e.what(), HasSubstr("La tabla «" + path.string() + "» está dañada: "));
      EXPECT_THAT(e.what(), HasSubstr(c.cause));
    }
    EXPECT_FALSE(table.Active());
  }
}

TEST_F(DbfTableTest, FailedWriteIsReportedNotSwallowed) {
  const fs::path path = Make("T.DBF", {{"A", FieldKind::kString, 100}}, {});
  // A child limited to 64 KiB of file size: appending 200 KiB must fail with
  // a message naming the file, at a flush or at Close.
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int status = 1;
    try {
      Table table("wwTest", path);
      table.Open();
      for (int i = 0; i < 2000; ++i) {
        table.Append();
        table.FieldByName("A").SetAsString(std::string(100, 'x'));
        table.Post();
      }
      table.Close();
    } catch (const TableError& e) {
      status = std::string(e.what()) == "No se puede escribir la tabla «" + path.string() +
                                            "»: el archivo sería demasiado grande"
                   ? 0
                   : 2;
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // The lock went with the child: the table opens again.
  Table table("wwTest", path);
  EXPECT_NO_THROW(table.Open());
}

TEST_F(DbfTableTest, WritingWithoutAppendIsAnError) {
  const fs::path path = Make("T.DBF", {{"A", FieldKind::kString, 2}}, {{"x"}});
  Table table("wwTest", path);
  EXPECT_THROW(table.First(), TableError) << "closed";
  table.Open();
  EXPECT_THROW(table.FieldByName("A").SetAsString("y"), TableError);
  table.Append();
  table.FieldByName("A").SetAsString("y");
  table.Close();  // the unposted row is dropped
  table.Open();
  EXPECT_EQ(Column(table, "A"), (std::vector<std::string>{"x"}));
}

}  // namespace
}  // namespace tq::dbf
