// Help requests and the desktop CHM viewer (see help_system.h).
#include "app/help_system.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <system_error>

namespace tq {
namespace {

bool EndsWithChm(std::string_view name) {
  constexpr std::string_view kSuffix = ".chm";
  if (name.size() < kSuffix.size()) return false;
  std::string_view tail = name.substr(name.size() - kSuffix.size());
  for (std::size_t i = 0; i < kSuffix.size(); ++i) {
    char ch = tail[i];
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    if (ch != kSuffix[i]) return false;
  }
  return true;
}

}  // namespace

HelpSystem::HelpSystem(std::filesystem::path folder, Viewer viewer)
    : folder_(std::move(folder)), viewer_(std::move(viewer)) {}

void HelpSystem::Context(int context) const {
  Request(HelpCommand::kContext, context);
}

void HelpSystem::Contents() const { Request(HelpCommand::kContents, 0); }

void HelpSystem::Request(HelpCommand command, int data) const {
  if (!EndsWithChm(help_file_) || !viewer_) return;
  viewer_(HelpRequest{folder_ / std::filesystem::path(help_file_), command,
                      data});
}

void HelpSystem::OpenWithDesktopViewer(const HelpRequest& request) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(request.file, error)) return;
  for (const char* name : {"xchm", "kchmviewer"}) {
    const QString program = QStandardPaths::findExecutable(QString::fromUtf8(name));
    if (program.isEmpty()) continue;
    QProcess::startDetached(
        program, {QString::fromStdString(request.file.string())});
    return;
  }
}

}  // namespace tq
