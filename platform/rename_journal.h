// The journal that makes a set of renames in one folder all-or-nothing
// across a crash.
//
// Before the first of several renames that belong together (the six working
// tables of an export), Write records them, with the files to delete after
// them, in the folder's journal file "TRANSQDX.JNL", written atomically. The
// journal is removed once the last step is done. A process killed in
// between leaves the journal behind; Recover, called by the next run before
// it reads or writes any table, finishes the recorded steps, so the set is
// found entirely new, never part old and part new.
//
// Format: UTF-8 text, one step per line, fields separated by a tab; file
// names only, all in the journal's folder:
//   R <tab> <temporary name> <tab> <target name>     rename over the target
//   D <tab> <name>                                   delete, if present
//
// A run that is still committing holds its temporary files locked
// (LockedFile); Recover leaves the journal of such a run alone.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace tq {

inline constexpr std::string_view kRenameJournalName = "TRANSQDX.JNL";

struct JournalStep {
  enum class Kind { kRename, kDelete };
  Kind kind;
  std::filesystem::path from;  // a name in the folder
  std::filesystem::path to;    // kRename only
};

// Writes the journal of `folder` atomically; tq::Error naming it on failure.
void WriteRenameJournal(const std::filesystem::path& folder,
                        const std::vector<JournalStep>& steps);

// Removes the journal and syncs the folder; failures are ignored (a journal
// whose temporary files are all gone does nothing when recovered).
void RemoveRenameJournal(const std::filesystem::path& folder);

// Finishes the steps of a journal left by a run that died: renames every
// recorded temporary file that still exists over its target, deletes the
// recorded files, then removes the journal. Does nothing when there is no
// journal or its run is alive. TableError naming the target when a rename
// fails (the journal then stays for the next attempt). Returns whether a
// journal was finished.
bool RecoverRenameJournal(const std::filesystem::path& folder);

}  // namespace tq
