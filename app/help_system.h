// The application's help: the help file name and the two help requests.
//
// The help file is a compiled HTML Help file (".chm") looked up in the
// executable's folder whatever the working folder. A request is passed to the
// viewer only when the file name ends in ".chm", letter case ignored;
// otherwise it does nothing, without a message. The commands keep the
// numbers of the Windows help system (HELP_CONTEXT 1, HELP_CONTENTS 3), which
// the Windows viewer adapter maps to HH_HELP_CONTEXT and HH_DISPLAY_TOC.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace tq {

inline constexpr std::string_view kHelpFileName = "GESTARO.chm";

enum class HelpCommand {
  kContext = 1,   // open the topic of a help context number
  kContents = 3,  // open the table of contents
};

struct HelpRequest {
  std::filesystem::path file;  // full path of the help file
  HelpCommand command;
  int data;  // the context number, or 0 for the contents
};

class HelpSystem {
 public:
  using Viewer = std::function<void(const HelpRequest&)>;

  // `folder` is where the help file is looked up (the executable's folder).
  explicit HelpSystem(std::filesystem::path folder,
                      Viewer viewer = OpenWithDesktopViewer);

  void SetHelpFile(std::string name) { help_file_ = std::move(name); }
  const std::string& HelpFile() const { return help_file_; }

  // HELP_CONTEXT with the context number.
  void Context(int context) const;
  // HELP_CONTENTS with data 0.
  void Contents() const;

  // The viewer elsewhere than Windows: starts the desktop's CHM viewer
  // (xchm or kchmviewer found on PATH) detached on the file. Nothing, and no
  // message, when no viewer is installed or the file is missing. A CHM
  // viewer of the desktop knows no context numbers: both requests open the
  // file.
  static void OpenWithDesktopViewer(const HelpRequest& request);

 private:
  void Request(HelpCommand command, int data) const;

  std::filesystem::path folder_;
  Viewer viewer_;
  std::string help_file_;
};

}  // namespace tq
