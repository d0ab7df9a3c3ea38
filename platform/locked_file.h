// A file opened for exclusive use by one holder.
//
// Open takes an exclusive, non-waiting lock on the file's own open file
// description (POSIX: flock(LOCK_EX | LOCK_NB) on a fresh descriptor), so the
// lock is refused to another process and equally to a second LockedFile of
// this process on the same file, and it is released when the LockedFile is
// closed or destroyed. The lock is advisory: it excludes other holders that
// lock, not plain readers, and it does not stop the file from being renamed
// over or deleted; the lock stays with the file (inode) it was taken on.
// Descriptors are close-on-exec, so child processes never inherit a lock.
//
// Every failure throws LockedFile::Failure, a tq::Error whose message is
// "«<path>»: <cause>" and which also carries the kind and the bare Spanish
// cause, so that callers can build their own message around it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace tq {

class LockedFile {
 public:
  enum class Access { kRead, kReadWrite };

  class Failure : public Error {
   public:
    enum class Kind {
      kNotFound,  // the file or a folder on its path does not exist
      kInUse,     // another holder has the lock
      kDenied,    // no permission for the access asked
      kOther,     // any other system error (full disk, I/O error, ...)
    };
    Failure(Kind kind, const std::filesystem::path& path, std::string cause);
    Kind kind() const { return kind_; }
    // Spanish, lower case, no final stop, e.g. "no queda espacio en el disco".
    const std::string& cause() const { return cause_; }

   private:
    Kind kind_;
    std::string cause_;
  };

  // Opens an existing file and locks it; never waits for the lock.
  static LockedFile Open(const std::filesystem::path& path, Access access);

  LockedFile() = default;
  LockedFile(LockedFile&& other) noexcept;
  LockedFile& operator=(LockedFile&& other) noexcept;
  LockedFile(const LockedFile&) = delete;
  LockedFile& operator=(const LockedFile&) = delete;
  // Releases the lock and closes, ignoring errors; call Close() to learn of
  // them.
  ~LockedFile();

  bool IsOpen() const { return fd_ >= 0; }
  const std::filesystem::path& Path() const { return path_; }

  uint64_t Size() const;
  // The whole content, read from offset 0.
  std::string ReadAll() const;
  // Writes all of `bytes` at `offset`; a short write is a failure.
  void WriteAt(uint64_t offset, std::string_view bytes);
  void Truncate(uint64_t size);
  // Flushes written data to the disk (fsync).
  void Sync();
  // Closes and releases the lock; reports a failing close. Closing a closed
  // LockedFile does nothing.
  void Close();

 private:
  LockedFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
  [[noreturn]] void Fail(int error_number) const;

  int fd_ = -1;
  std::filesystem::path path_;
};

// A Spanish description of a system error number ("no queda espacio en el
// disco"); lower case, no final stop.
std::string SystemErrorCause(int error_number);

}  // namespace tq
