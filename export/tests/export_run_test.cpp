// The export run: file choice, result codes, messages, the pointer, and the
// six tables replaced all together or not at all.
#include "export/export_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/process_state.h"
#include "export/tests/export_fixture.h"
#include "formats/table_layouts.h"
#include "platform/atomic_file.h"
#include "platform/error.h"
#include "platform/locked_file.h"

namespace tq {
namespace {
namespace fs = std::filesystem;

using testing::Element;
using testing::FakePort;
using testing::List;

using Calls = std::vector<std::string>;
const std::string kFinished = "message:Proceso finalizado";
const std::string kNoFile = "message:No existe archivo";

// A small document with every list.
std::string Document(const std::string& minutes = "120",
                     const std::string& teacher = "APG") {
  return testing::Exchange({
      List("MATERIAS", {Element({"300", "MAT", "MATEM", "Matemáticas"}),
                        Element({"G439", "GUA", "GUARDIA", "Guardia"})}),
      List("PROFESORES", {Element({"1000", "01/09/2019", "Ana Pérez", teacher})}),
      List("AULAS", {Element({"D1", "A01", "Aula 1", "A"})}),
      List("GRUPOS", {Element({"U1", "1EA", "M", "ESO", "1", "A"})}),
      List("ASIGNATURAS",
           {Element({"MAT", "1EA", "A01", "M", "ESO", "1", "A", "120", "300"}),
            Element({"MAT", "1EA", "A01", "M", "ESO", "1", "A", minutes, "300"}),
            Element({"GUA", "1EA", "A01", "M", "ESO", "1", "A", "60", "G439"})}),
      List("TRAMOS", {"<listasal><salida dato=\"NOMBRE\">L1</salida></listasal>"}),
  });
}

class ExportRunTest : public ::testing::Test {
 protected:
  // Writes `text` as the exchange document and returns its path.
  std::string WriteDocument(const std::string& text, const char* name = "datos.xml") {
    const fs::path file = docs_ / name;
    testing::WriteBytes(file, text);
    return file.string();
  }
  RunOutcome Run(FakePort& port, ExportReport* report = nullptr) {
    return BExportarClick(state_, port, work_.path(), report);
  }
  // Runs a completed export of `text`.
  void Export(const std::string& text) {
    FakePort port(WriteDocument(text));
    ASSERT_EQ(Run(port), RunOutcome::kCompleted);
  }
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work_.path())) {
      if (IsTemporarySibling(entry.path())) names.push_back(entry.path().string());
    }
    return names;
  }
  // Old tables of an earlier export, with index files beside two of them and
  // one table absent.
  void PrepareOldTables() {
    Export(Document("120", "OLD"));
    testing::WriteBytes(work_ / "ASIGNOMT.MDX", "old index");
    testing::WriteBytes(work_ / "ASIGT.MDX", "old index");
    fs::remove(work_ / "DIASHORAST.DBF");
  }

  testing::ScratchDir docs_;
  testing::ScratchDir work_;
  ProcessState state_;
};

TEST_F(ExportRunTest, NoFileEndsTheRunInBothModes) {
  fs::create_directories(docs_ / "carpeta.xml");
  struct Case {
    const char* name;
    std::optional<std::string> choice;
  };
  const Case cases[] = {
      {"dialog cancelled on the first run", std::nullopt},
      {"empty path", ""},
      {"a folder", (docs_ / "carpeta.xml").string()},
      {"a path to nothing", (docs_ / "falta.xml").string()},
  };
  for (const Case& c : cases) {
    for (const bool host : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (host ? ", host mode" : ", stand-alone"));
      state_ = ProcessState();
      state_.ModoAnfitrion = host ? 2 : 0;
      state_.CodigoResultado = 7;
      FakePort port(c.choice);
      EXPECT_EQ(Run(port), RunOutcome::kNoFile);
      EXPECT_EQ(state_.CodigoResultado, host ? -1 : 7);
      EXPECT_EQ(port.calls,
                host ? (Calls{"choose", kNoFile, "close"}) : (Calls{"choose", kNoFile}));
      EXPECT_TRUE(fs::is_empty(work_.path()));
      EXPECT_EQ(state_.DocXML, nullptr);
    }
  }
}

TEST_F(ExportRunTest, CompletedRunSetsTheCodeAndShowsTheMessageAfterThePointer) {
  for (const bool host : {false, true}) {
    SCOPED_TRACE(host ? "host mode" : "stand-alone");
    state_.ModoAnfitrion = host ? 2 : 0;
    state_.CodigoResultado = 0;
    FakePort port(WriteDocument(Document()));
    ExportReport report;
    EXPECT_EQ(Run(port, &report), RunOutcome::kCompleted);
    EXPECT_EQ(state_.CodigoResultado, 1);
    const Calls finished = {"choose", "busy:on", "busy:off", kFinished};
    Calls expected = finished;
    if (host) expected.push_back("close");
    EXPECT_EQ(port.calls, expected);
    ASSERT_EQ(report.tables.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_EQ(report.tables[i].table, kExportTables[i]->name);
      EXPECT_TRUE(fs::exists(work_ / DataFileName(kExportTables[i]->name)));
    }
    EXPECT_EQ(report.tables[4].rows, 3u);
    EXPECT_TRUE(TemporaryFiles().empty());
  }
}

TEST_F(ExportRunTest, CancelledDialogExportsTheDocumentChosenBefore) {
  state_.ArchivoXML = WriteDocument(Document());
  FakePort port(std::nullopt);
  EXPECT_EQ(Run(port), RunOutcome::kCompleted);
  EXPECT_EQ(testing::ReadRows(work_ / "PROFT.DBF").at(0).at("ABREV"), "APG");
}

TEST_F(ExportRunTest, DocumentWithoutListsGivesSixEmptyTables) {
  PrepareOldTables();
  Export("<SERVICIO><SALIDAS/></SERVICIO>");
  for (const TableLayout* table : kExportTables) {
    SCOPED_TRACE(table->name);
    EXPECT_TRUE(testing::ReadRows(work_ / DataFileName(table->name)).empty());
  }
}

TEST_F(ExportRunTest, FailureInTheMiddleLeavesEveryTableAsItWas) {
  PrepareOldTables();
  const auto before = testing::Snapshot(work_.path());
  state_.CodigoResultado = 5;
  const std::string document = WriteDocument(Document("1.5"));
  FakePort port(document);
  try {
    Run(port);
    FAIL() << "no error";
  } catch (const ConversionError& error) {
    // The table being built, never its temporary file.
    EXPECT_EQ(error.what(), "El documento «" + document +
                                "» no se puede pasar a la tabla «" +
                                (work_.path() / "ASIGT.DBF").string() +
                                "»: '1.5' no es un valor entero válido; no "
                                "se ha cambiado ninguna tabla");
  }
  EXPECT_EQ(testing::Snapshot(work_.path()), before);
  EXPECT_EQ(port.calls, (Calls{"choose", "busy:on", "busy:off"}));
  EXPECT_EQ(state_.CodigoResultado, 5);
}

TEST_F(ExportRunTest, TableHeldByAnotherProgramChangesNothing) {
  PrepareOldTables();
  const auto before = testing::Snapshot(work_.path());
  LockedFile held = LockedFile::Open(work_ / "GRUPOST.DBF", LockedFile::Access::kRead);
  FakePort port(WriteDocument(Document()));
  try {
    Run(port);
    FAIL() << "no error";
  } catch (const TableInUseError& error) {
    EXPECT_NE(std::string(error.what()).find("GRUPOST.DBF"), std::string::npos)
        << error.what();
    EXPECT_NE(std::string(error.what()).find("en uso"), std::string::npos);
  }
  EXPECT_EQ(testing::Snapshot(work_.path()), before);
  EXPECT_EQ(port.calls, (Calls{"choose", "busy:on", "busy:off"}));
  held.Close();
  Export(Document());  // free again: the next run goes through
}

TEST_F(ExportRunTest, MalformedDocumentTouchesNothing) {
  PrepareOldTables();
  const auto before = testing::Snapshot(work_.path());
  FakePort port(WriteDocument("<SERVICIO><SALIDAS></SERVICIO>", "roto.xml"));
  try {
    Run(port);
    FAIL() << "no error";
  } catch (const XmlError& error) {
    EXPECT_NE(std::string(error.what()).find("roto.xml"), std::string::npos)
        << error.what();
  }
  EXPECT_EQ(testing::Snapshot(work_.path()), before);
  EXPECT_EQ(port.calls, (Calls{"choose"}));
}

TEST_F(ExportRunTest, MissingWorkingDirectoryIsNamed) {
  FakePort port(WriteDocument(Document()));
  const fs::path missing = work_ / "QTEMP";
  try {
    BExportarClick(state_, port, missing, nullptr);
    FAIL() << "no error";
  } catch (const TableError& error) {
    EXPECT_EQ(std::string(error.what()),
              "No existe la carpeta de trabajo «" + missing.string() + "»");
  }
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(port.calls, (Calls{"choose", "busy:on", "busy:off"}));
}

TEST_F(ExportRunTest, CompletedRunReplacesTablesFoundIgnoringCaseAndRemovesIndexes) {
  PrepareOldTables();
  fs::rename(work_ / "AULAT.DBF", work_ / "aulat.dbf");
  testing::WriteBytes(work_ / "proft.mdx", "old index");
  // A case-sensitive folder may hold several spellings of one index.
  testing::WriteBytes(work_ / "asignomt.mdx", "old index");
  testing::WriteBytes(work_ / "Asigt.Mdx", "old index");
  Export(Document());
  std::vector<std::string> names;
  for (const auto& [name, bytes] : testing::Snapshot(work_.path())) names.push_back(name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"ASIGNOMT.DBF", "ASIGT.DBF", "DIASHORAST.DBF",
                                      "GRUPOST.DBF", "PROFT.DBF", "aulat.dbf"}));
  EXPECT_EQ(testing::ReadRows(work_ / "aulat.dbf").size(), 1u);
}

TEST_F(ExportRunTest, TwoExportsInOneProcessEachWriteTheirTables) {
  Export(Document("120", "PRI"));
  Export(Document("120", "SEG"));
  EXPECT_EQ(testing::ReadRows(work_ / "PROFT.DBF").at(0).at("ABREV"), "SEG");
  // The task look-up opened the subjects table; it was closed again.
  EXPECT_EQ(testing::ReadRows(work_ / "ASIGT.DBF").at(2).at("CTAREA"), "GUA");
  LockedFile::Open(work_ / "ASIGNOMT.DBF", LockedFile::Access::kRead).Close();
}

TEST_F(ExportRunTest, RemovesOnlyStaleTemporaryTables) {
  const auto write_aged = [&](const std::string& name, std::chrono::seconds age) {
    const fs::path file = work_ / name;
    testing::WriteBytes(file, "partial");
    fs::last_write_time(file, fs::file_time_type::clock::now() - age);
    return file;
  };
  const fs::path stale =
      write_aged("ASIGT.DBF.~tq0123456789abcdef", std::chrono::hours(1));
  const fs::path fresh =
      write_aged("PROFT.DBF.~tq0123456789abcdef", std::chrono::seconds(0));
  const fs::path held =
      write_aged("AULAT.DBF.~tq0123456789abcdef", std::chrono::hours(1));
  const fs::path other =
      write_aged("datos.xml.~tq0123456789abcdef", std::chrono::hours(1));
  LockedFile lock = LockedFile::Open(held, LockedFile::Access::kRead);
  Export(Document());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_TRUE(fs::exists(held));
  EXPECT_TRUE(fs::exists(other));
}

}  // namespace
}  // namespace tq
