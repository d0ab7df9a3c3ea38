// LockedFile over POSIX descriptors and flock(2).
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/locked_file.h"

namespace tq {
namespace {

LockedFile::Failure::Kind KindOf(int error_number) {
  using Kind = LockedFile::Failure::Kind;
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      return Kind::kNotFound;
    case EWOULDBLOCK:
      return Kind::kInUse;
    case EACCES:
    case EPERM:
    case EROFS:
      return Kind::kDenied;
    default:
      return Kind::kOther;
  }
}

}  // namespace

std::string SystemErrorCause(int error_number) {
  switch (error_number) {
    case ENOSPC:
      return "no queda espacio en el disco";
#ifdef EDQUOT
    case EDQUOT:
      return "se ha agotado la cuota de disco";
#endif
    case EFBIG:
      return "el archivo sería demasiado grande";
    case EIO:
      return "error de entrada/salida del disco";
    case EACCES:
    case EPERM:
      return "no hay permiso de acceso";
    case EROFS:
      return "el sistema de archivos es de solo lectura";
    case ENOENT:
      return "no existe";
    case ENOTDIR:
      return "una carpeta de la ruta no existe";
    case EISDIR:
      return "es una carpeta";
    case EWOULDBLOCK:
      return "otro programa lo tiene abierto en uso exclusivo";
    case EMFILE:
    case ENFILE:
      return "hay demasiados archivos abiertos";
    default:
      return std::string(std::strerror(error_number)) + " (errno " +
             std::to_string(error_number) + ")";
  }
}

LockedFile::Failure::Failure(Kind kind, const std::filesystem::path& path,
                             std::string cause)
    : Error("«" + path.string() + "»: " + cause), kind_(kind), cause_(std::move(cause)) {}

LockedFile LockedFile::Open(const std::filesystem::path& path, Access access) {
  const int flags = (access == Access::kReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  int fd;
  do {
    fd = ::open(path.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error_number = errno;
    throw Failure(KindOf(error_number), path, SystemErrorCause(error_number));
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    throw Failure(Failure::Kind::kOther, path, SystemErrorCause(EISDIR));
  }
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    const int error_number = errno;
    ::close(fd);
    throw Failure(KindOf(error_number), path, SystemErrorCause(error_number));
  }
  return LockedFile(fd, path);
}

LockedFile::LockedFile(LockedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

LockedFile::~LockedFile() {
  if (fd_ >= 0) ::close(fd_);
}

void LockedFile::Fail(int error_number) const {
  throw Failure(KindOf(error_number), path_, SystemErrorCause(error_number));
}

uint64_t LockedFile::Size() const {
  struct stat info;
  if (::fstat(fd_, &info) != 0) Fail(errno);
  return static_cast<uint64_t>(info.st_size);
}

std::string LockedFile::ReadAll() const {
  std::string content(Size(), '\0');
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::pread(fd_, content.data() + done, content.size() - done,
                              static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    if (n == 0) break;  // shrank meanwhile: what is there is the content
    done += static_cast<std::size_t>(n);
  }
  content.resize(done);
  return content;
}

void LockedFile::WriteAt(uint64_t offset, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
    }
    if (n == 0) Fail(ENOSPC);
    done += static_cast<std::size_t>(n);
  }
}

void LockedFile::Truncate(uint64_t size) {
  int result;
  do {
    result = ::ftruncate(fd_, static_cast<off_t>(size));
  } while (result != 0 && errno == EINTR);
  if (result != 0) Fail(errno);
}

void LockedFile::Sync() {
  if (::fsync(fd_) != 0) Fail(errno);
}

void LockedFile::Close() {
  if (fd_ < 0) return;
  const int fd = std::exchange(fd_, -1);
  // close() releases the lock whatever it returns; EINTR must not be retried.
  if (::close(fd) != 0 && errno != EINTR) Fail(errno);
}

}  // namespace tq
