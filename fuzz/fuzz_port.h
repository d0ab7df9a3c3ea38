// What the run fuzz targets share: a run port that answers the file dialog
// with a fixed path and shows nothing, and one scratch folder per process
// (in memory when /dev/shm exists, so the runs' fsyncs cost little),
// removed when the process ends.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "app/run_port.h"

namespace tq::fuzz {

class SilentPort : public RunPort {
 public:
  explicit SilentPort(std::string file) : file_(std::move(file)) {}
  std::optional<std::string> ChooseFile() override { return file_; }
  void ShowMessage(std::string_view) override {}
  void SetBusyPointer(bool) override {}
  void CloseWindow() override {}

 private:
  std::string file_;
};

inline const std::filesystem::path& ScratchFolder(std::string_view target) {
  static const struct Folder {
    std::filesystem::path path;
    explicit Folder(std::string_view name) {
      const std::filesystem::path shm = "/dev/shm";
      std::error_code error;
      const std::filesystem::path base =
          std::filesystem::is_directory(shm, error)
              ? shm
              : std::filesystem::temp_directory_path();
      path = base / (std::string(name) + "_" + std::to_string(::getpid()));
      std::filesystem::create_directories(path / "work");
    }
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  } folder(target);
  return folder.path;
}

inline void WriteBytes(const std::filesystem::path& file, const void* data,
                       std::size_t size) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace tq::fuzz
