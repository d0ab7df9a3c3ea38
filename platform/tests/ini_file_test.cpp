#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/error.h"

namespace tq {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tq_ini_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = dir_ / "Quadrano.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void Write(const std::string& bytes) const {
    std::ofstream(path_, std::ios::binary) << bytes;
  }

  fs::path dir_;
  fs::path path_;
};

TEST_F(IniFileTest, ChangesOnlyTheEntry) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;  // after setting Transformadores/Transformado to 1
  };
  const Case cases[] = {
      {"missing file", "", "[Transformadores]\r\nTransformado=1\r\n"},
      {"value replaced, CRLF and other entries kept",
       "; host settings\r\n[Ventana]\r\nAncho=640\r\n\r\n[Transformadores]\r\nOtro=x\r\n"
       "Transformado=-1\r\nUltimo=y\r\n",
       "; host settings\r\n[Ventana]\r\nAncho=640\r\n\r\n[Transformadores]\r\nOtro=x\r\n"
       "Transformado=1\r\nUltimo=y\r\n"},
      {"LF kept", "[Transformadores]\nTransformado=0\n[Otra]\nTransformado=5\n",
       "[Transformadores]\nTransformado=1\n[Otra]\nTransformado=5\n"},
      {"mixed line ends kept per line", "[A]\nk=v\r\n[Transformadores]\r\nTransformado=0\n",
       "[A]\nk=v\r\n[Transformadores]\r\nTransformado=1\n"},
      {"section and key ignore case, file spelling kept",
       "[TRANSFORMADORES]\r\ntransformado = 0\r\n",
       "[TRANSFORMADORES]\r\ntransformado=1\r\n"},
      {"blanks inside the brackets", "  [ Transformadores ]\r\nTransformado=0\r\n",
       "  [ Transformadores ]\r\nTransformado=1\r\n"},
      {"first of duplicate keys", "[Transformadores]\r\nTransformado=0\r\nTransformado=2\r\n",
       "[Transformadores]\r\nTransformado=1\r\nTransformado=2\r\n"},
      {"key without value", "[Transformadores]\r\nTransformado\r\n",
       "[Transformadores]\r\nTransformado=1\r\n"},
      {"comment looking like the key is no entry",
       "[Transformadores]\r\n;Transformado=0\r\n",
       "[Transformadores]\r\n;Transformado=0\r\nTransformado=1\r\n"},
      {"key in another section or before any is not ours",
       "Transformado=7\r\n[Otra]\r\nTransformado=0\r\n",
       "Transformado=7\r\n[Otra]\r\nTransformado=0\r\n[Transformadores]\r\nTransformado=1\r\n"},
      {"missing key added after the section's last line, before blank lines",
       "[Transformadores]\r\nOtro=x\r\n\r\n[Ventana]\r\nAncho=640\r\n",
       "[Transformadores]\r\nOtro=x\r\nTransformado=1\r\n\r\n[Ventana]\r\nAncho=640\r\n"},
      {"missing key in an empty last section", "[Transformadores]\n",
       "[Transformadores]\nTransformado=1\n"},
      {"missing key, last line without line end", "[Transformadores]\r\nOtro=x",
       "[Transformadores]\r\nOtro=x\r\nTransformado=1\r\n"},
      {"missing section appended", "[Ventana]\nAncho=640\n",
       "[Ventana]\nAncho=640\n[Transformadores]\nTransformado=1\n"},
      {"missing section, file without final line end", "[Ventana]\r\nAncho=640",
       "[Ventana]\r\nAncho=640\r\n[Transformadores]\r\nTransformado=1\r\n"},
      {"unclosed bracket is no header", "[Transformadores\r\nTransformado=0\r\n",
       "[Transformadores\r\nTransformado=0\r\n[Transformadores]\r\nTransformado=1\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path_);
    if (!c.before.empty()) Write(c.before);
    WritePrivateProfileString("Transformadores", "Transformado", "1", path_);
    EXPECT_EQ(Read(), c.after);
  }
}

TEST_F(IniFileTest, RepeatedWritesReplaceTheValue) {
  WritePrivateProfileString("Transformadores", "Transformado", "-1", path_);
  WritePrivateProfileString("Transformadores", "Transformado", "0", path_);
  WritePrivateProfileString("Transformadores", "Otro", "x", path_);
  EXPECT_EQ(Read(), "[Transformadores]\r\nTransformado=0\r\nOtro=x\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IniFileTest, UnwritablePathRaisesTheWindowsText) {
  std::ofstream(dir_ / "plain") << "x";
  const fs::path paths[] = {dir_ / "plain" / "Quadrano.ini", dir_ / "missing" / "Quadrano.ini",
                            dir_};
  for (const fs::path& path : paths) {
    SCOPED_TRACE(path.string());
    try {
      WritePrivateProfileString("Transformadores", "Transformado", "1", path);
      ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.string());
    }
  }
}

}  // namespace
}  // namespace tq
