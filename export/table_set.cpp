#include "export/table_set.h"

#include <string>
#include <system_error>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/cp1252.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/rename_journal.h"

namespace tq {
namespace fs = std::filesystem;

namespace {

// Is `file` a temporary sibling of one of the six tables' data files?
bool IsTemporaryTable(const fs::path& file) {
  if (!IsTemporarySibling(file)) return false;
  const std::string name = AnsiUpperCase(file.filename().string());
  if (name.starts_with(std::string(kRenameJournalName) + '.')) return true;
  for (const TableLayout* layout : kExportTables) {
    const std::string prefix = DataFileName(layout->name) + '.';
    if (name.starts_with(prefix)) return true;
  }
  return false;
}

std::string IndexFileName(std::string_view table_name) {
  return std::string(table_name) + std::string(kIndexFileExtension);
}

// Every entry of `folder` named `index_name` ignoring letter case: a folder
// written by a case-sensitive system may hold more than one spelling, and
// none of them may outlive the table it indexed.
std::vector<fs::path> IndexFilesOf(const fs::path& folder,
                                   const std::string& index_name) {
  std::vector<fs::path> found;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    if (AnsiUpperCase(it->path().filename().string()) == index_name) {
      found.push_back(it->path());
    }
  }
  return found;
}

// Locks the existing old table `target`; an empty LockedFile when there is
// none.
LockedFile LockOldTable(const fs::path& target) {
  std::error_code error;
  if (!fs::exists(target, error)) return {};
  try {
    return LockedFile::Open(target, LockedFile::Access::kRead);
  } catch (const LockedFile::Failure& failure) {
    switch (failure.kind()) {
      case LockedFile::Failure::Kind::kNotFound:
        return {};
      case LockedFile::Failure::Kind::kInUse:
        throw TableInUseError("La tabla «" + target.string() +
                              "» está en uso por otro programa; no se ha "
                              "cambiado ninguna tabla");
      default:
        throw TableError("No se puede reemplazar la tabla «" + target.string() +
                         "»: " + failure.cause() +
                         "; no se ha cambiado ninguna tabla");
    }
  }
}

}  // namespace

StagedTableSet::StagedTableSet(fs::path working_dir)
    : working_dir_(std::move(working_dir)) {
  std::error_code error;
  if (!fs::is_directory(working_dir_, error)) {
    throw TableError("No existe la carpeta de trabajo «" +
                     working_dir_.string() + "»");
  }
  // A set that a killed run left half replaced is completed first.
  RecoverRenameJournal(working_dir_);
  RemoveStaleTemporaries();
}

StagedTableSet::~StagedTableSet() {
  for (Staged& staged : staged_) {
    if (staged.committed) continue;
    staged.hold = LockedFile();
    std::error_code ignored;
    fs::remove(staged.temporary, ignored);
  }
}

fs::path StagedTableSet::Stage(const TableLayout& layout) {
  const fs::path target =
      FindIgnoringCase(working_dir_, DataFileName(layout.name));
  staged_.push_back(
      {&layout, TemporarySibling(target), target, LockedFile(), false});
  return staged_.back().temporary;
}

void StagedTableSet::Hold(const TableLayout& layout) {
  Staged& staged = Find(layout);
  if (!staged.hold.IsOpen()) {
    staged.hold = LockedFile::Open(staged.temporary, LockedFile::Access::kRead);
  }
}

void StagedTableSet::Commit() {
  // Every lock is taken before the first rename, so a table in use stops the
  // run with nothing changed.
  std::vector<fs::path> targets;
  std::vector<LockedFile> old_tables;
  for (Staged& staged : staged_) {
    Hold(*staged.layout);
    targets.push_back(
        FindIgnoringCase(working_dir_, DataFileName(staged.layout->name)));
    old_tables.push_back(LockOldTable(targets.back()));
  }
  // The new tables have no index; an old production index would not match.
  // The journal makes the renames and these deletions one step for a run
  // killed in between: the next run finishes them.
  std::vector<JournalStep> steps;
  for (std::size_t i = 0; i < staged_.size(); ++i) {
    steps.push_back(
        {JournalStep::Kind::kRename, staged_[i].temporary, targets[i]});
  }
  for (const Staged& staged : staged_) {
    for (const fs::path& index :
         IndexFilesOf(working_dir_, IndexFileName(staged.layout->name))) {
      steps.push_back({JournalStep::Kind::kDelete, index, {}});
    }
  }
  WriteRenameJournal(working_dir_, steps);
  for (std::size_t i = 0; i < staged_.size(); ++i) {
    ReplaceFile(staged_[i].temporary, targets[i]);
    staged_[i].committed = true;
  }
  for (const JournalStep& step : steps) {
    std::error_code ignored;
    if (step.kind == JournalStep::Kind::kDelete) fs::remove(step.from, ignored);
  }
  SyncFolder(working_dir_);
  RemoveRenameJournal(working_dir_);
  for (Staged& staged : staged_) staged.hold = LockedFile();
}

std::string StagedTableSet::NameTables(std::string message) const {
  for (const Staged& staged : staged_) {
    const std::string temporary = staged.temporary.string();
    const std::string target = staged.target.string();
    for (std::size_t at = message.find(temporary); at != std::string::npos;
         at = message.find(temporary, at + target.size())) {
      message.replace(at, temporary.size(), target);
    }
  }
  return message;
}

StagedTableSet::Staged& StagedTableSet::Find(const TableLayout& layout) {
  for (Staged& staged : staged_) {
    if (staged.layout == &layout) return staged;
  }
  throw Error("La tabla " + std::string(layout.name) +
              " no se ha preparado en esta exportación");
}

void StagedTableSet::RemoveStaleTemporaries() const {
  std::error_code error;
  fs::directory_iterator entries(working_dir_, error);
  if (error) return;  // an unreadable folder fails when a table is made
  const auto now = fs::file_time_type::clock::now();
  for (const fs::directory_entry& entry : entries) {
    if (!IsTemporaryTable(entry.path())) continue;
    const auto written = entry.last_write_time(error);
    if (error || now - written < kStaleAfter) continue;
    try {
      // Held by a live run: not ours to remove.
      LockedFile unused =
          LockedFile::Open(entry.path(), LockedFile::Access::kRead);
      fs::remove(entry.path(), error);
    } catch (const LockedFile::Failure&) {
    }
  }
}

}  // namespace tq
