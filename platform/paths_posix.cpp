// Windows folder names mapped into a Wine prefix.
//
// "X:\a\b" becomes "$WINEPREFIX/drive_x/a/b" ($WINEPREFIX unset or empty:
// "$HOME/.wine"). Windows file names ignore letter case and Linux ones do
// not, so each component is looked up ignoring ASCII case among the entries
// that exist; a component with no such entry (and everything below it) is
// kept as written. Nothing here throws: a folder that cannot be listed is
// treated like an empty one.
#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

namespace tq {
namespace {

namespace fs = std::filesystem;

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + 32) : ch; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool IsAsciiLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

fs::path WinePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0') {
    return prefix;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* user = ::getpwuid(::getuid());
    home = user != nullptr ? user->pw_dir : "/";
  }
  return fs::path(home) / ".wine";
}

// The components of `rest`, split at '\' and '/', empty ones dropped.
std::vector<std::string_view> Components(std::string_view rest) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = rest.size();
    if (end > start) parts.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

fs::path DefaultWorkingDirectory() { return MapWindowsPath("C:\\QTEMP"); }

fs::path DefaultDialogFolder() { return MapWindowsPath("c:\\qtemp\\gestaro"); }

fs::path MapWindowsPath(std::string_view windows_path) {
  bool drive_form = windows_path.size() >= 2 && IsAsciiLetter(windows_path[0]) &&
                    windows_path[1] == ':';
  if (!drive_form) {
    std::string local(windows_path);
    for (char& ch : local) {
      if (ch == '\\') ch = '/';
    }
    return local;
  }
  fs::path mapped = WinePrefix() / (std::string("drive_") + AsciiLower(windows_path[0]));
  for (std::string_view component : Components(windows_path.substr(2))) {
    mapped = FindIgnoringCase(mapped, component);
  }
  return mapped;
}

fs::path FindIgnoringCase(const fs::path& folder, std::string_view name) {
  fs::path exact = folder / std::string(name);
  std::error_code ec;
  if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;
  // Several entries may match when the folder was written by a case-sensitive
  // system; the smallest name wins so that the choice never depends on the
  // order in which the directory lists them.
  std::string best;
  fs::directory_iterator it(folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::string candidate = it->path().filename().string();
    if (EqualsIgnoringAsciiCase(candidate, name) && (best.empty() || candidate < best)) {
      best = std::move(candidate);
    }
  }
  return best.empty() ? exact : folder / best;
}

fs::path ExecutableDirectory() {
  std::error_code ec;
  fs::path executable = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && executable.has_parent_path()) return executable.parent_path();
  fs::path current = fs::current_path(ec);
  return ec ? fs::path(".") : current;
}

}  // namespace tq
