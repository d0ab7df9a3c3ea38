// Replacing a file so that it is found either old or new, never half written.
#pragma once

#include <filesystem>
#include <string_view>

namespace tq {

// A fresh name in `target`'s folder for a temporary file that will later be
// renamed over `target` ("<name>.~tq<random>"). Nothing is created.
std::filesystem::path TemporarySibling(const std::filesystem::path& target);

// Is `path` one of our temporary files (a name TemporarySibling makes)?
bool IsTemporarySibling(const std::filesystem::path& path);

// Writes `bytes` to a temporary sibling, syncs it, renames it over `target`
// and syncs the folder. On any failure the temporary file is removed, the old
// target is untouched, and Error names `target` and the cause.
void WriteFileAtomically(const std::filesystem::path& target,
                         std::string_view bytes);

// Renames `from` over `to` (same folder); Error naming `to` on failure.
void ReplaceFile(const std::filesystem::path& from,
                 const std::filesystem::path& to);

// Makes a rename in `folder` durable. Failures are ignored.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace tq
