#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace tq {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class PathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("tq_paths_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void Touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "";
  }

  fs::path root_;
};

TEST_F(PathsTest, MapsDriveLetterPathsIntoTheWinePrefix) {
  fs::path prefix = root_ / "prefix";
  ScopedEnv env("WINEPREFIX", prefix.c_str());
  fs::path drive_c = prefix / "drive_c";
  Touch(drive_c / "qtemp" / "soluc.dbf");
  fs::create_directories(drive_c / "qtemp" / "Gestaro");

  struct Case {
    const char* windows;
    fs::path local;
  };
  const Case cases[] = {
      {"C:\\QTEMP\\SOLUC.DBF", drive_c / "qtemp" / "soluc.dbf"},
      {"c:\\qtemp\\soluc.dbf", drive_c / "qtemp" / "soluc.dbf"},
      {"C:\\QTEMP\\ASIGT.DBF", drive_c / "qtemp" / "ASIGT.DBF"},  // kept as written
      {"C:\\QTEMP\\New\\Sub\\X.DBF", drive_c / "qtemp" / "New" / "Sub" / "X.DBF"},
      {"C:\\QTEMP\\", drive_c / "qtemp"},
      {"C:\\\\QTEMP/GESTARO", drive_c / "qtemp" / "Gestaro"},
      {"C:", drive_c},
      {"D:\\Datos\\a.xml", prefix / "drive_d" / "Datos" / "a.xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.windows);
    EXPECT_EQ(MapWindowsPath(c.windows), c.local);
  }
  EXPECT_EQ(DefaultWorkingDirectory(), drive_c / "qtemp");
  EXPECT_EQ(DefaultDialogFolder(), drive_c / "qtemp" / "Gestaro");
}

TEST_F(PathsTest, WinePrefixDefaultsToDotWineInHome) {
  ScopedEnv prefix("WINEPREFIX", nullptr);
  ScopedEnv home("HOME", root_.c_str());
  EXPECT_EQ(DefaultWorkingDirectory(), root_ / ".wine" / "drive_c" / "QTEMP");
  ScopedEnv empty_prefix("WINEPREFIX", "");
  EXPECT_EQ(DefaultWorkingDirectory(), root_ / ".wine" / "drive_c" / "QTEMP");
}

TEST_F(PathsTest, OtherPathsOnlyGetForwardSlashes) {
  ScopedEnv env("WINEPREFIX", root_.c_str());
  EXPECT_EQ(MapWindowsPath("/home/u/doc.xml"), fs::path("/home/u/doc.xml"));
  EXPECT_EQ(MapWindowsPath("datos\\doc.xml"), fs::path("datos/doc.xml"));
  EXPECT_EQ(MapWindowsPath("\\\\server\\share\\a.xml"), fs::path("//server/share/a.xml"));
  EXPECT_EQ(MapWindowsPath(""), fs::path(""));
}

TEST_F(PathsTest, FindIgnoringCasePrefersExactThenSmallestMatch) {
  Touch(root_ / "abc");
  Touch(root_ / "ABC");
  Touch(root_ / "aBd");
  Touch(root_ / "Abd");
  struct Case {
    const char* name;
    fs::path found;
  };
  const Case cases[] = {
      {"abc", root_ / "abc"},
      {"ABC", root_ / "ABC"},
      {"Abc", root_ / "ABC"},  // "ABC" < "abc"
      {"abd", root_ / "Abd"},  // "Abd" < "aBd"
      {"ab", root_ / "ab"},    // no match: kept as written
      {"abcd", root_ / "abcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindIgnoringCase(root_, c.name), c.found);
  }
  EXPECT_EQ(FindIgnoringCase(root_ / "missing", "X"), root_ / "missing" / "X");
  Touch(root_ / "file");
  EXPECT_EQ(FindIgnoringCase(root_ / "file", "X"), root_ / "file" / "X");
}

TEST_F(PathsTest, FindIgnoringCaseLeavesNonAsciiLettersAlone) {
  Touch(root_ / "A\xC3\x91O");  // "AÑO" in UTF-8
  EXPECT_EQ(FindIgnoringCase(root_, "a\xC3\x91o"), root_ / "A\xC3\x91O");
  EXPECT_EQ(FindIgnoringCase(root_, "a\xC3\xB1o"), root_ / "a\xC3\xB1o");
}

TEST_F(PathsTest, ExecutableDirectoryIsTheTestBinaryFolder) {
  EXPECT_TRUE(fs::equivalent(ExecutableDirectory(), fs::path(TQ_BINARY_DIR) / "platform"));
}

}  // namespace
}  // namespace tq
