// errno to Windows error code mapping, the per-thread last-error cell,
// reading regular files and replacing files whole.
#include "platform/posix_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace Halvex::Tessaran::PAL::detail {

namespace {
thread_local unsigned tLastError = ERROR_SUCCESS;

struct ErrnoMapping {
  int err;
  unsigned code;
};

// Chosen as the error the corresponding Windows file or registry call
// reports; e.g. EISDIR maps to access denied because opening a folder as a
// file fails that way on Windows.
constexpr ErrnoMapping kErrnoMap[] = {
    {0, ERROR_SUCCESS},
    {EPERM, ERROR_ACCESS_DENIED},
    {ENOENT, ERROR_FILE_NOT_FOUND},
    {EIO, ERROR_GEN_FAILURE},
    {ENXIO, ERROR_DEV_NOT_EXIST},
    {E2BIG, ERROR_INVALID_PARAMETER},
    {ENOEXEC, ERROR_BAD_EXE_FORMAT},
    {EBADF, ERROR_INVALID_HANDLE},
    {EAGAIN, ERROR_LOCK_VIOLATION},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
    {EACCES, ERROR_ACCESS_DENIED},
    {EFAULT, ERROR_INVALID_PARAMETER},
    {EBUSY, ERROR_BUSY},
    {EEXIST, ERROR_FILE_EXISTS},
    {EXDEV, ERROR_NOT_SAME_DEVICE},
    {ENODEV, ERROR_DEV_NOT_EXIST},
    {ENOTDIR, ERROR_PATH_NOT_FOUND},
    {EISDIR, ERROR_ACCESS_DENIED},
    {EINVAL, ERROR_INVALID_PARAMETER},
    {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
    {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
    {ETXTBSY, ERROR_SHARING_VIOLATION},
    {EFBIG, ERROR_FILE_TOO_LARGE},
    {ENOSPC, ERROR_DISK_FULL},
    {ESPIPE, ERROR_SEEK_ON_DEVICE},
    {EROFS, ERROR_WRITE_PROTECT},
    {EPIPE, ERROR_BROKEN_PIPE},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOSYS, ERROR_NOT_SUPPORTED},
    {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
    {ELOOP, ERROR_CANT_RESOLVE_FILENAME},
    {EILSEQ, ERROR_NO_UNICODE_TRANSLATION},
    {ENOTSUP, ERROR_NOT_SUPPORTED},
    {ETIMEDOUT, ERROR_SEM_TIMEOUT},
    {ENETDOWN, ERROR_BAD_NETPATH},
    {ENETUNREACH, ERROR_NETWORK_UNREACHABLE},
    {EHOSTUNREACH, ERROR_NETWORK_UNREACHABLE},
    {ECONNREFUSED, ERROR_BAD_NETPATH},
    {ECONNRESET, ERROR_UNEXP_NET_ERR},
    {EDQUOT, ERROR_DISK_QUOTA_EXCEEDED},
    {ESTALE, ERROR_BAD_NETPATH},
    {EOVERFLOW, ERROR_FILE_TOO_LARGE},
};
}  // namespace

unsigned winErrorFromErrno(int err) {
  for (const auto& m : kErrnoMap)
    if (m.err == err) return m.code;
  return ERROR_GEN_FAILURE;
}

void setLastError(unsigned code) {
  tLastError = code;
}

unsigned lastError() {
  return tLastError;
}

int openRegularFile(const char* path) {
  const int fd = retryOnEintr(::open, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  int err = 0;
  if (::fstat(fd, &st) != 0)
    err = errno;
  else if (!S_ISREG(st.st_mode))
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  // Reads of a regular file never block; clearing the flag keeps a file on a
  // network mount from answering EAGAIN.
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    err = errno;
  if (err == 0) return fd;
  ::close(fd);
  errno = err;
  return -1;
}

bool readRegularFile(const char* path, std::string& bytes) {
  const int fd = openRegularFile(path);
  if (fd < 0) return false;
  bytes.clear();
  char chunk[1 << 16];
  ssize_t n;
  while ((n = retryOnEintr(::read, fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(n));
  const int err = errno;
  ::close(fd);
  errno = err;
  return n == 0;
}

ReplacingFile::ReplacingFile(const char* path) : target_(path) {
  if (char* real = ::realpath(path, nullptr)) {
    target_ = real;
    std::free(real);
  }
  struct stat st;
  const bool exists = ::stat(target_.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    fd_ = retryOnEintr(::open, target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
    return;
  }
  // Unique within the process by the counter, between processes by the pid;
  // a name left behind by a crashed process is stepped over.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temporary_ = target_ + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd_ = retryOnEintr(::open, temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ >= 0) {
    // The replacement keeps the permissions of the file it replaces.
    if (exists) ::fchmod(fd_, st.st_mode & 07777);
    return;
  }
  temporary_.clear();
  // A writable file in a folder that takes no new file is written in place,
  // and cut to its new length only once the text is written.
  if (exists) {
    const int err = errno;
    fd_ = retryOnEintr(::open, target_.c_str(), O_WRONLY | O_CLOEXEC);
    truncateAtCommit_ = fd_ >= 0;
    if (fd_ < 0) errno = err;
  }
}

ReplacingFile::~ReplacingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

bool ReplacingFile::write(std::string_view bytes) {
  while (fd_ >= 0 && !bytes.empty()) {
    const ssize_t n = retryOnEintr(::write, fd_, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
    written_ += static_cast<std::uint64_t>(n);
  }
  return fd_ >= 0;
}

bool ReplacingFile::commit() {
  if (fd_ < 0) return false;
  bool ok = !truncateAtCommit_ || ::ftruncate(fd_, static_cast<off_t>(written_)) == 0;
  ok = ok && (temporary_.empty() || ::fsync(fd_) == 0);
  ok = ::close(fd_) == 0 && ok;
  fd_ = -1;
  if (ok && !temporary_.empty()) {
    ok = ::rename(temporary_.c_str(), target_.c_str()) == 0;
    if (ok) temporary_.clear();
  }
  return ok;
}

}  // namespace Halvex::Tessaran::PAL::detail
