// The engine's tables against two independent dBase readers (Python's
// dbfread and GDAL's ogrinfo) and a table written by GDAL's ogr2ogr read by
// the engine. A test is skipped when its tool is not installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/dbf_table.h"

namespace tq::dbf {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char* kPython = "/usr/bin/python3";

// Runs a shell command; its standard output, and its exit status in *status.
std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  *status = ::pclose(pipe);
  return output;
}

bool HasTool(const std::string& check) {
  int status = 0;
  RunCommand(check + " >/dev/null 2>&1", &status);
  return status == 0;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class DbfInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dbf_interop_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The table every reader must read alike: each kind of field, Spanish
  // letters stored as code page 1252 (ñ 0xF1, á 0xE1, € 0x80), and a row left
  // blank.
  fs::path WriteSample() {
    const fs::path path = dir_ / "ASIGT.DBF";
    const FieldDef fields[] = {{"CASIG", FieldKind::kString, 4},
                               {"NOMBRE", FieldKind::kString, 12},
                               {"ESTAREA", FieldKind::kBoolean},
                               {"DNI", FieldKind::kInteger},
                               {"HORAS", FieldKind::kFloat}};
    Table::Create(path, fields);
    Table table("wwTest", path);
    table.Open();
    table.Append();
    table.FieldByName("CASIG").SetAsString("MAT1");
    table.FieldByName("NOMBRE").SetAsString("Espa\xF1ol \xE1 \x80");
    table.FieldByName("ESTAREA").SetAsBoolean(true);
    table.FieldByName("DNI").SetAsInteger(-1234567);
    table.FieldByName("HORAS").SetAsFloat(2.25);
    table.Post();
    table.Append();
    table.FieldByName("CASIG").SetAsString("  X");
    table.FieldByName("ESTAREA").SetAsBoolean(false);
    table.FieldByName("DNI").SetAsInteger(0);
    table.FieldByName("HORAS").SetAsFloat(1.0 / 3.0);
    table.Post();
    table.Append();
    table.Post();
    table.Close();
    return path;
  }

  fs::path dir_;
};

TEST_F(DbfInteropTest, DbfreadReadsEngineTableAsCodePage1252) {
  if (!HasTool(std::string(kPython) + " -c 'import dbfread'")) GTEST_SKIP() << "no dbfread";
  const fs::path path = WriteSample();
  const std::string script =
      "import sys, dbfread\n"
      "t = dbfread.DBF(sys.argv[1])\n"
      "print(t.encoding)\n"
      "for f in t.fields: print(f.name, f.type, f.length, f.decimal_count)\n"
      "for r in t: print('|'.join(repr(v) for v in r.values()))\n";
  int status = 0;
  const std::string out = RunCommand("PYTHONIOENCODING=utf-8 " + std::string(kPython) + " -c \"" +
                                  script + "\" '" + path.string() + "'",
                              &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(Lines(out), (std::vector<std::string>{
                            "cp1252",
                            "CASIG C 4 0",
                            "NOMBRE C 12 0",
                            "ESTAREA L 1 0",
                            "DNI N 11 0",
                            "HORAS N 19 9",
                            "'MAT1'|'Español á €'|True|-1234567|2.25",
                            "'  X'|''|False|0|0.333333333",
                            "''|''|None|None|None",
                        }));
}

TEST_F(DbfInteropTest, OgrinfoReadsEngineTableAsCodePage1252) {
  if (!HasTool("ogrinfo --version")) GTEST_SKIP() << "no ogrinfo";
  const fs::path path = WriteSample();
  int status = 0;
  const std::string out = RunCommand("ogrinfo -ro -al '" + path.string() + "' 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  // The field list and the features, without GDAL's preamble and metadata.
  const std::regex wanted(R"(^([A-Z_]+: \w+ \(|  [A-Z_]+ \(|OGRFeature).*)");
  std::vector<std::string> kept;
  for (const std::string& line : Lines(out)) {
    if (std::regex_match(line, wanted)) kept.push_back(line);
  }
  // GDAL shows text without leading blanks, an empty text as null, and an
  // N(11,0) field as a 64-bit integer since it may hold 11 digits.
  EXPECT_EQ(kept, (std::vector<std::string>{
                      "CASIG: String (4.0)",
                      "NOMBRE: String (12.0)",
                      "ESTAREA: String (1.0)",
                      "DNI: Integer64 (11.0)",
                      "HORAS: Real (19.9)",
                      "OGRFeature(ASIGT):0",
                      "  CASIG (String) = MAT1",
                      "  NOMBRE (String) = Español á €",
                      "  ESTAREA (String) = T",
                      "  DNI (Integer64) = -1234567",
                      "  HORAS (Real) = 2.250000000",
                      "OGRFeature(ASIGT):1",
                      "  CASIG (String) = X",
                      "  NOMBRE (String) = (null)",
                      "  ESTAREA (String) = F",
                      "  DNI (Integer64) = 0",
                      "  HORAS (Real) = 0.333333333",
                      "OGRFeature(ASIGT):2",
                      "  CASIG (String) = (null)",
                      "  NOMBRE (String) = (null)",
                      "  ESTAREA (String) = (null)",
                      "  DNI (Integer64) = (null)",
                      "  HORAS (Real) = (null)",
                  }));
}

TEST_F(DbfInteropTest, EngineReadsTableWrittenByOgr2ogr) {
  if (!HasTool("ogr2ogr --version")) GTEST_SKIP() << "no ogr2ogr";
  const fs::path csv = dir_ / "soluc.csv";
  {
    std::ofstream out(csv, std::ios::binary);
    out << "PROF,DIA,HORA,NOMBRE\n"
           "AB,1,3,Ca\xC3\xB1" "ada \xE2\x82\xAC\n"
           "O'NE,7,12,\n"
           "AB,0,1,\xC3\xA1rbol\n";
  }
  int status = 0;
  const std::string out =
      RunCommand("cd '" + dir_.string() +
              "' && ogr2ogr -f 'ESRI Shapefile' -oo AUTODETECT_TYPE=YES "
              "-lco ENCODING=CP1252 SOLUC.dbf soluc.csv 2>&1",
          &status);
  ASSERT_EQ(status, 0) << out;
  ASSERT_TRUE(fs::exists(dir_ / "SOLUC.dbf")) << out;

  Table table("wwTableSoluc", dir_ / "SOLUC.DBF");  // found ignoring case
  table.Open();
  std::vector<std::string> rows;
  for (; !table.Eof(); table.Next()) {
    rows.push_back(table.FieldByName("PROF").AsString() + "|" +
                   std::to_string(table.FieldByName("DIA").AsInteger()) + "|" +
                   std::to_string(table.FieldByName("HORA").AsInteger()) + "|" +
                   table.FieldByName("NOMBRE").AsString());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"AB|1|3|Ca\xF1" "ada \x80", "O'NE|7|12|",
                                            "AB|0|1|\xE1rbol"}));
  table.SetFilter("PROF= 'O''NE'");
  table.SetFiltered(true);
  ASSERT_FALSE(table.Eof());
  EXPECT_EQ(table.FieldByName("HORA").AsInteger(), 12);
}

}  // namespace
}  // namespace tq::dbf
