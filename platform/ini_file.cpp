// One entry of an ini file, changed in place as the Windows profile-string
// writer does.
//
// Format facts: a section starts at a line whose first non-blank character
// is '[' and that holds a ']' later; its name is what lies between them,
// blanks around it ignored. Within a section a line names the key before its
// first '=' (the whole line when it has none), blanks around it ignored;
// lines starting with ';' are comments. Names compare ignoring letter case in
// code page 1252, the file's 8-bit text. Each line keeps its own ending
// ("\r\n" or "\n"); lines we add take their neighbour's ending, a new file
// gets "\r\n" as Windows writes it.
#include "platform/ini_file.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/cp1252.h"
#include "platform/error.h"

namespace tq {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNewFileLineEnd = "\r\n";

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n", or "" for a last line without one
};

std::string_view TrimBlanks(std::string_view s) {
  size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  size_t last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

std::vector<Line> SplitLines(std::string_view bytes) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t newline = bytes.find('\n', start);
    if (newline == std::string_view::npos) {
      lines.push_back({std::string(bytes.substr(start)), ""});
      break;
    }
    size_t text_end = newline;
    std::string end = "\n";
    if (text_end > start && bytes[text_end - 1] == '\r') {
      --text_end;
      end = "\r\n";
    }
    lines.push_back({std::string(bytes.substr(start, text_end - start)), end});
    start = newline + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string bytes;
  for (const Line& line : lines) {
    bytes += line.text;
    bytes += line.end;
  }
  return bytes;
}

// The section name of a header line; false for any other line.
bool SectionName(std::string_view text, std::string_view* name) {
  std::string_view s = TrimBlanks(text);
  if (s.empty() || s.front() != '[') return false;
  size_t close = s.find(']');
  if (close == std::string_view::npos) return false;
  *name = TrimBlanks(s.substr(1, close - 1));
  return true;
}

// The key of an entry line; false for blank and comment lines.
bool KeyName(std::string_view text, std::string_view* key) {
  std::string_view s = TrimBlanks(text);
  if (s.empty() || s.front() == ';') return false;
  *key = TrimBlanks(s.substr(0, s.find('=')));
  return true;
}

std::string ReadExisting(const fs::path& path) {
  std::error_code ec;
  fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return {};
  if (ec || status.type() != fs::file_type::regular) throw Error("");
  std::ifstream in(path, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) throw Error("");
  return bytes;
}

// The line end for lines added to a file: the first one the file uses.
std::string DefaultLineEnd(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (!line.end.empty()) return line.end;
  }
  return std::string(kNewFileLineEnd);
}

void SetEntry(std::vector<Line>& lines, std::string_view section, std::string_view key,
              std::string_view value) {
  const std::string line_end = DefaultLineEnd(lines);
  std::string entry = std::string(key) + "=" + std::string(value);

  size_t header = lines.size();
  for (size_t i = 0; i < lines.size() && header == lines.size(); ++i) {
    std::string_view name;
    if (SectionName(lines[i].text, &name) && AnsiEqualsIgnoreCase(name, section)) header = i;
  }
  if (header == lines.size()) {
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = line_end;
    lines.push_back({"[" + std::string(section) + "]", line_end});
    lines.push_back({entry, line_end});
    return;
  }

  size_t last_filled = header;
  for (size_t i = header + 1; i < lines.size(); ++i) {
    std::string_view name;
    if (SectionName(lines[i].text, &name)) break;
    std::string_view found;
    if (KeyName(lines[i].text, &found) && AnsiEqualsIgnoreCase(found, key)) {
      // Keep the key as the file spells it.
      lines[i].text = std::string(found) + "=" + std::string(value);
      return;
    }
    if (!TrimBlanks(lines[i].text).empty()) last_filled = i;
  }
  Line& before = lines[last_filled];
  if (before.end.empty()) before.end = line_end;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_filled) + 1,
               Line{entry, before.end});
}

}  // namespace

void WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const fs::path& path) {
  try {
    std::vector<Line> lines = SplitLines(ReadExisting(path));
    SetEntry(lines, TrimBlanks(section), TrimBlanks(key), value);
    WriteFileAtomically(path, JoinLines(lines));
  } catch (const Error&) {
    throw Error("Unable to write to " + path.string());
  }
}

}  // namespace tq
