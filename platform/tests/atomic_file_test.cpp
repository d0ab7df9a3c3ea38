#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tq {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tq_atomic_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  // Runs `action`, expects an Error and returns its text.
  template <typename F>
  static std::string ErrorOf(F action) {
    try {
      action();
    } catch (const Error& e) {
      return e.what();
    }
    ADD_FAILURE() << "no error raised";
    return "";
  }

  fs::path dir_;
};

TEST_F(AtomicFileTest, CreatesAndReplacesWithoutLeavingTemporaryFiles) {
  fs::path target = dir_ / "doc.xml";
  WriteFileAtomically(target, "first");
  EXPECT_EQ(Read(target), "first");
  std::string bytes("second\0\r\n\xF1", 10);
  WriteFileAtomically(target, bytes);
  EXPECT_EQ(Read(target), bytes);
  WriteFileAtomically(target, "");
  EXPECT_EQ(Read(target), "");
  EXPECT_EQ(Names(), std::vector<std::string>{"doc.xml"});
}

// Pieces of every size around the internal buffer arrive whole and in
// order; a producer that throws leaves the old file and no temporary one.
TEST_F(AtomicFileTest, ProducedPiecesAreWrittenInOrderAndAThrowKeepsTheOldFile) {
  fs::path target = dir_ / "doc.xml";
  std::string expected;
  WriteFileAtomically(target, [&](const ByteSink& sink) {
    for (std::size_t size : {0u, 1u, 4000u, 65535u, 65536u, 200000u, 3u}) {
      std::string piece(size, static_cast<char>('a' + size % 26));
      expected += piece;
      ASSERT_TRUE(sink(piece));
    }
  });
  EXPECT_EQ(Read(target), expected);

  struct Refused {};
  EXPECT_THROW(WriteFileAtomically(target,
                                   [](const ByteSink& sink) {
                                     sink(std::string(100000, 'x'));
                                     throw Refused{};
                                   }),
               Refused);
  EXPECT_EQ(Read(target), expected);
  EXPECT_EQ(Names(), std::vector<std::string>{"doc.xml"});
}

TEST_F(AtomicFileTest, KeepsThePermissionsOfTheReplacedFile) {
  fs::path target = dir_ / "Quadrano.ini";
  Write(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  WriteFileAtomically(target, "new");
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(AtomicFileTest, FailureNamesTheTargetAndTheCauseAndRemovesTheTemporaryFile) {
  Write(dir_ / "plain", "x");
  struct Case {
    const char* name;
    fs::path target;
    std::string cause;
  };
  const Case cases[] = {
      {"missing folder", dir_ / "missing" / "out.xml", "no existe"},
      {"parent is a file", dir_ / "plain" / "out.xml", "una carpeta de la ruta no existe"},
      // The temporary file is written, the rename fails: it must go again.
      {"target is a folder", dir_ / "sub", "es una carpeta"},
  };
  fs::create_directory(dir_ / "sub");
  Write(dir_ / "sub" / "keep", "kept");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ErrorOf([&] { WriteFileAtomically(c.target, "data"); }),
              "No se puede escribir el archivo «" + c.target.string() + "»: " + c.cause);
  }
  std::set<std::string> names;
  for (const auto& n : Names()) names.insert(n);
  EXPECT_EQ(names, (std::set<std::string>{"plain", "sub"}));
  EXPECT_EQ(Read(dir_ / "plain"), "x");
  EXPECT_EQ(Read(dir_ / "sub" / "keep"), "kept");
}

TEST_F(AtomicFileTest, TemporarySiblingIsAFreshRecognisableNameInTheSameFolder) {
  fs::path target = dir_ / "ASIGT.DBF";
  fs::path a = TemporarySibling(target);
  fs::path b = TemporarySibling(target);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.parent_path(), dir_);
  EXPECT_EQ(a.filename().string().rfind("ASIGT.DBF.~tq", 0), 0u);
  EXPECT_TRUE(IsTemporarySibling(a));
  EXPECT_FALSE(fs::exists(a));
}

TEST_F(AtomicFileTest, RecognisesOnlyTemporarySiblingNames) {
  struct Case {
    const char* name;
    bool temporary;
  };
  const Case cases[] = {
      {"/q/SOLUC.DBF.~tq0123abcd", true},
      {"x.~tq0123456789ABCDEF", true},
      {"/q/SOLUC.DBF", false},
      {"SOLUC.DBF.~tq", false},
      {"SOLUC.DBF.~tq0123abc", false},   // too few digits
      {"SOLUC.DBF.~tq0123abcg", false},  // not hex
      {".~tq0123abcd", false},           // no target name
      {"/q/a.~tq0123abcd/SOLUC.DBF", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsTemporarySibling(c.name), c.temporary);
  }
}

TEST_F(AtomicFileTest, ReplaceFileMovesOverTheTargetOrNamesIt) {
  Write(dir_ / "new", "new");
  Write(dir_ / "old", "old");
  ReplaceFile(dir_ / "new", dir_ / "old");
  EXPECT_EQ(Read(dir_ / "old"), "new");
  EXPECT_FALSE(fs::exists(dir_ / "new"));
  EXPECT_EQ(ErrorOf([&] { ReplaceFile(dir_ / "gone", dir_ / "old"); }),
            "No se puede reemplazar el archivo «" + (dir_ / "old").string() +
                "»: no existe");
  EXPECT_EQ(Read(dir_ / "old"), "new");
  SyncFolder(dir_ / "missing");  // ignored
}

}  // namespace
}  // namespace tq
