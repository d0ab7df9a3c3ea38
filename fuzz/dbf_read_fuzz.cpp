// Reads arbitrary bytes as a dBase table: open, every field of every row in
// each reading, a filter and a Locate on the first field, one appended row.
// Errors (tq::Error) are the expected outcome of most inputs; anything else,
// a crash or a sanitizer report is a fault.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/dbf_table.h"
#include "platform/error.h"

namespace {

namespace fs = std::filesystem;

// One file per process, removed when the process ends.
const fs::path& InputPath() {
  static const struct TempFile {
    fs::path path =
        fs::temp_directory_path() / ("dbf_read_fuzz_" + std::to_string(::getpid()) + ".DBF");
    ~TempFile() {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  } file;
  return file.path;
}

template <typename Read>
void Try(Read read) {
  try {
    read();
  } catch (const tq::Error&) {
  }
}

void Exercise(tq::dbf::Table& table) {
  table.Open();
  const auto fields = table.Fields();
  for (table.First(); !table.Eof(); table.Next()) {
    for (const auto& def : fields) {
      tq::dbf::Field field = table.FieldByName(def.name);
      Try([&] { field.AsString(); });
      Try([&] { field.AsInteger(); });
      Try([&] { field.AsFloat(); });
      Try([&] { field.AsBoolean(); });
    }
  }
  if (fields.empty()) return;
  const std::string name = fields.front().name;
  table.First();
  const std::string value = table.Eof() ? std::string() : table.FieldByName(name).AsString();
  std::string quoted;
  for (char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  Try([&] {
    table.SetFilter(name + "= '" + quoted + "'");
    table.SetFiltered(true);
    for (; !table.Eof(); table.Next()) table.FieldByName(name).AsString();
    table.Locate(name, value);
    table.SetFiltered(false);
  });
  Try([&] { table.Locate(name, value); });
  Try([&] {
    table.Append();
    for (const auto& def : fields) table.FieldByName(def.name).SetAsString(value);
    table.Post();
  });
  table.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  {
    std::ofstream out(InputPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  tq::dbf::Table table("wwFuzz", InputPath());
  Try([&] { Exercise(table); });
  return 0;
}
