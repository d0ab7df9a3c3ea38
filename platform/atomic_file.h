// Replacing a file so that it is found either old or new, never half written.
#pragma once

#include <filesystem>
#include <functional>
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

// Takes the next piece of a file's bytes; false when it could not be
// written, after which the producer should stop (the failure is reported by
// WriteFileAtomically, not by the producer).
using ByteSink = std::function<bool(std::string_view)>;

// As above, for bytes made while they are written: `produce` hands them to
// the sink in order, so the whole file never has to be held in memory. An
// exception from `produce` removes the temporary file, leaves the target
// untouched and propagates as thrown.
void WriteFileAtomically(const std::filesystem::path& target,
                         const std::function<void(const ByteSink&)>& produce);

// Renames `from` over `to` (same folder); Error naming `to` on failure.
void ReplaceFile(const std::filesystem::path& from,
                 const std::filesystem::path& to);

// Makes a rename in `folder` durable. Failures are ignored.
void SyncFolder(const std::filesystem::path& folder);

}  // namespace tq
