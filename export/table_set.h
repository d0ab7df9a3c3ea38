// The six working tables replaced as one set.
//
// A run builds every table in a temporary sibling of its target in the
// working directory and replaces the old tables only in Commit, once all of
// them are complete and closed. So a run that fails at any point (a value
// that is no number, a full disk, a table held by another program) leaves
// every old table byte for byte as it was, absent ones absent and their .MDX
// files in place, and removes its temporary files. Each rename is atomic, so
// a process killed at any moment leaves each table old or new.
//
// Targets are found ignoring letter case ("asignomt.dbf" is the file that
// ASIGNOMT replaces). Commit first locks every existing old target
// exclusively (LockedFile) and keeps all the locks until the last rename:
// when another program holds one, nothing is changed and TableInUseError
// names the file. A finished temporary table is locked too until it is
// renamed, so that the clean-up of a concurrent run cannot take it.
//
// The clean-up: temporary tables left by a run that was killed are removed
// when a later set is made, if they are older than kStaleAfter and no live
// run holds them.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/table_layouts.h"
#include "platform/locked_file.h"

namespace tq {

class StagedTableSet {
 public:
  static constexpr std::chrono::seconds kStaleAfter{60};

  // Removes stale temporary tables of earlier runs from `working_dir`;
  // TableError when that folder does not exist (nothing creates it).
  explicit StagedTableSet(std::filesystem::path working_dir);
  // Removes every temporary file that was not committed; never throws.
  ~StagedTableSet();
  StagedTableSet(const StagedTableSet&) = delete;
  StagedTableSet& operator=(const StagedTableSet&) = delete;

  // The fresh temporary file in which `layout`'s table is to be built.
  std::filesystem::path Stage(const TableLayout& layout);
  // Locks the finished, closed temporary table of `layout` until Commit
  // renames it (or the set is destroyed). Nothing may open it afterwards.
  void Hold(const TableLayout& layout);

  // `message` with every temporary file's path replaced by the path of the
  // table it stands for, so that an error raised while a table is built
  // names the table the user knows ("…/ASIGT.DBF", not "…/ASIGT.DBF.~tq…").
  std::string NameTables(std::string message) const;

  // Replaces the old tables by the staged ones, in the order staged, removes
  // their .MDX files and syncs the folder. Every staged table must be
  // complete and closed.
  void Commit();

 private:
  struct Staged {
    const TableLayout* layout;
    std::filesystem::path temporary;
    std::filesystem::path target;
    LockedFile hold;
    bool committed = false;
  };
  Staged& Find(const TableLayout& layout);
  void RemoveStaleTemporaries() const;

  std::filesystem::path working_dir_;
  std::vector<Staged> staged_;
};

}  // namespace tq
