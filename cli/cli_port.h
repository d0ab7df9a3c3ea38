// The run port of the command-line tool: the "chosen" file is the one named
// on the command line, messages go to standard output, there is no pointer
// and no window.
#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "app/run_port.h"

namespace tq::cli {

class CliPort : public RunPort {
 public:
  explicit CliPort(std::string file) : file_(std::move(file)) {}

  std::optional<std::string> ChooseFile() override { return file_; }
  void ShowMessage(std::string_view text) override {
    std::cout << text << '\n';
    last_message_ = std::string(text);
  }
  void SetBusyPointer(bool) override {}
  void CloseWindow() override {}

  const std::string& LastMessage() const { return last_message_; }

 private:
  std::string file_;
  std::string last_message_;
};

}  // namespace tq::cli
