#include "platform/rename_journal.h"

#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/error.h"
#include "platform/locked_file.h"

namespace tq {
namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

fs::path FromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

// The steps of the journal at `file`; an empty list when it cannot be read
// or holds a line that is not a step (it is then no journal of ours).
std::vector<JournalStep> ReadSteps(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<JournalStep> steps;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) {
      fields.push_back(field);
    }
    const auto plain = [](const std::string& name) {
      return !name.empty() && name.find('/') == std::string::npos &&
             name != "." && name != "..";
    };
    if (fields.size() == 3 && fields[0] == "R" && plain(fields[1]) &&
        plain(fields[2])) {
      steps.push_back({JournalStep::Kind::kRename, FromUtf8(fields[1]),
                       FromUtf8(fields[2])});
    } else if (fields.size() == 2 && fields[0] == "D" && plain(fields[1])) {
      steps.push_back({JournalStep::Kind::kDelete, FromUtf8(fields[1]), {}});
    } else {
      return {};
    }
  }
  return steps;
}

}  // namespace

void WriteRenameJournal(const fs::path& folder,
                        const std::vector<JournalStep>& steps) {
  std::string text;
  for (const JournalStep& step : steps) {
    if (step.kind == JournalStep::Kind::kRename) {
      text += "R\t" + Utf8(step.from.filename()) + '\t' +
              Utf8(step.to.filename()) + '\n';
    } else {
      text += "D\t" + Utf8(step.from.filename()) + '\n';
    }
  }
  WriteFileAtomically(folder / kRenameJournalName, text);
}

void RemoveRenameJournal(const fs::path& folder) {
  std::error_code ignored;
  fs::remove(folder / kRenameJournalName, ignored);
  SyncFolder(folder);
}

bool RecoverRenameJournal(const fs::path& folder) {
  const fs::path journal = folder / kRenameJournalName;
  std::error_code error;
  if (!fs::is_regular_file(journal, error)) return false;
  const std::vector<JournalStep> steps = ReadSteps(journal);

  // A live run holds its temporary files until its last rename.
  std::vector<LockedFile> held;
  for (const JournalStep& step : steps) {
    if (step.kind != JournalStep::Kind::kRename) continue;
    try {
      held.push_back(
          LockedFile::Open(folder / step.from, LockedFile::Access::kRead));
    } catch (const LockedFile::Failure& failure) {
      if (failure.kind() == LockedFile::Failure::Kind::kInUse) return false;
      // Not there: renamed before the run died.
    }
    // The tables to be replaced must be free, as for the run itself.
    try {
      held.push_back(
          LockedFile::Open(folder / step.to, LockedFile::Access::kRead));
    } catch (const LockedFile::Failure& failure) {
      if (failure.kind() == LockedFile::Failure::Kind::kInUse) return false;
    }
  }
  for (const JournalStep& step : steps) {
    if (step.kind != JournalStep::Kind::kRename ||
        !fs::exists(folder / step.from, error)) {
      continue;
    }
    try {
      ReplaceFile(folder / step.from, folder / step.to);
    } catch (const Error& failure) {
      throw TableError(std::string(failure.what()) +
                       " (al terminar la sustitución de tablas que quedó a "
                       "medias)");
    }
  }
  for (const JournalStep& step : steps) {
    if (step.kind == JournalStep::Kind::kDelete) {
      fs::remove(folder / step.from, error);
    }
  }
  SyncFolder(folder);
  held.clear();
  RemoveRenameJournal(folder);
  return true;
}

}  // namespace tq
