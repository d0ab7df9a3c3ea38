// Atomic file replacement on POSIX: write a temporary sibling with O_EXCL,
// fsync it, rename(2) it over the target (atomic within one file system),
// then fsync the folder so the rename survives a crash.
//
// The temporary file gets the permission bits of the target it replaces, or
// 0666 less the umask for a new file. Ownership is not carried over.
#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include "platform/error.h"
#include "platform/locked_file.h"

namespace tq {
namespace {

constexpr std::string_view kTemporaryMarker = ".~tq";
constexpr size_t kRandomDigits = 16;  // 64 random bits as hex

// The same Spanish wording as every other file error.
std::string CauseOf(int error_number) { return SystemErrorCause(error_number); }

[[noreturn]] void RaiseWriteError(const std::filesystem::path& target, int error_number) {
  throw Error("No se puede escribir el archivo «" + target.string() + "»: " +
              CauseOf(error_number));
}

bool IsHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// Writes all of `bytes` to `fd`; false with errno set on failure.
bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// Gathers small pieces into large writes; remembers the first failure.
class BufferedFile {
 public:
  explicit BufferedFile(int fd) : fd_(fd) { buffer_.reserve(kCapacity); }

  bool Write(std::string_view bytes) {
    if (error_number_ != 0) return false;
    if (buffer_.size() + bytes.size() > kCapacity) {
      if (!Flush()) return false;
      if (bytes.size() >= kCapacity) return Put(bytes);
    }
    buffer_.append(bytes);
    return true;
  }
  bool Flush() {
    const bool ok = Put(buffer_);
    buffer_.clear();
    return ok;
  }
  int ErrorNumber() const { return error_number_; }

 private:
  static constexpr size_t kCapacity = 1 << 16;

  bool Put(std::string_view bytes) {
    if (error_number_ == 0 && !WriteAll(fd_, bytes)) error_number_ = errno != 0 ? errno : EIO;
    return error_number_ == 0;
  }

  int fd_;
  std::string buffer_;
  int error_number_ = 0;
};

// Creates `temp`, fills it with what `produce` makes, syncs and closes it.
// Returns 0 or the errno of the first failure; the file may then exist and
// must be removed by the caller, also when `produce` throws.
int WriteTemporary(const std::filesystem::path& temp, const std::filesystem::path& target,
                   const std::function<void(const ByteSink&)>& produce) {
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  int error_number = 0;
  struct stat existing;
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    if (::fchmod(fd, existing.st_mode & 07777) != 0) error_number = errno;
  }
  if (error_number == 0) {
    BufferedFile file(fd);
    try {
      produce([&file](std::string_view bytes) { return file.Write(bytes); });
    } catch (...) {
      ::close(fd);
      throw;
    }
    file.Flush();
    error_number = file.ErrorNumber();
  }
  if (error_number == 0 && ::fsync(fd) != 0) error_number = errno;
  if (::close(fd) != 0 && error_number == 0) error_number = errno;
  return error_number;
}

}  // namespace

std::filesystem::path TemporarySibling(const std::filesystem::path& target) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::random_device device;
  std::uniform_int_distribution<int> digit(0, 15);
  std::string name = target.filename().string();
  name += kTemporaryMarker;
  for (size_t i = 0; i < kRandomDigits; ++i) name += kHex[digit(device)];
  return target.parent_path() / name;
}

bool IsTemporarySibling(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  size_t marker = name.rfind(kTemporaryMarker);
  if (marker == std::string::npos || marker == 0) return false;
  size_t digits = name.size() - marker - kTemporaryMarker.size();
  if (digits < 8) return false;
  for (size_t i = marker + kTemporaryMarker.size(); i < name.size(); ++i) {
    if (!IsHexDigit(name[i])) return false;
  }
  return true;
}

void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes) {
  WriteFileAtomically(target, [bytes](const ByteSink& sink) { sink(bytes); });
}

void WriteFileAtomically(const std::filesystem::path& target,
                         const std::function<void(const ByteSink&)>& produce) {
  std::filesystem::path temp = TemporarySibling(target);
  int error_number = 0;
  try {
    error_number = WriteTemporary(temp, target, produce);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  if (error_number == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error_number = errno;
  if (error_number != 0) {
    ::unlink(temp.c_str());
    RaiseWriteError(target, error_number);
  }
  std::filesystem::path folder = target.parent_path();
  SyncFolder(folder.empty() ? std::filesystem::path(".") : folder);
}

void ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    int error_number = errno;
    throw Error("No se puede reemplazar el archivo «" + to.string() + "»: " +
                CauseOf(error_number));
  }
}

void SyncFolder(const std::filesystem::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace tq
