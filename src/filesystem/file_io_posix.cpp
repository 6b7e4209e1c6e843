// File and the runtime's streams over POSIX descriptors.
#include <fcntl.h>
#include <locale.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "filesystem/file_io_internal.h"
#include "filesystem/share_mode.h"
#include "pal/diagnostics.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL {

using namespace detail;

namespace {

static_assert(FileIO::SeekBegin == SEEK_SET && FileIO::SeekCurrent == SEEK_CUR &&
              FileIO::SeekEnd == SEEK_END);

struct Opened {
  int fd = -1;
  unsigned error = ERROR_SUCCESS;  // Windows code of the failure
  int err = 0;                     // and its errno, for the runtime's streams
  bool regular = false;
  bool existed = false;
};

Opened failed(int err, unsigned error) {
  return {-1, error, err, false, false};
}
Opened failedErrno(int err) {
  return failed(err, winErrorFromErrno(err));
}

// Opens `name` as Windows would for the disposition: the sharing is checked
// before an existing file is truncated, so a refused open never loses data.
// Only regular files carry share modes (devices such as /dev/null are shared
// by everything, as Windows' devices are).
Opened openShared(const std::string& name, int flags, Disposition disposition, unsigned access,
                  unsigned share) {
  Opened o;
  for (;;) {
    if (disposition == Disposition::CreateNew) {
      o.fd = retryOnEintr(::open, name.c_str(), flags | O_CREAT | O_EXCL, 0666);
      break;
    }
    o.fd = retryOnEintr(::open, name.c_str(), flags);
    o.existed = o.fd >= 0;
    if (o.fd >= 0 || errno != ENOENT || disposition == Disposition::OpenExisting) break;
    o.fd = retryOnEintr(::open, name.c_str(), flags | O_CREAT | O_EXCL, 0666);
    if (o.fd >= 0 || errno != EEXIST) break;  // else created by someone else meanwhile: open it
  }
  if (o.fd < 0) return failedErrno(errno);

  auto fail = [&](int err, unsigned error) {
    ::close(o.fd);
    return failed(err, error);
  };
  struct stat st;
  if (::fstat(o.fd, &st) != 0) return fail(errno, winErrorFromErrno(errno));
  if (S_ISDIR(st.st_mode)) return fail(EACCES, ERROR_ACCESS_DENIED);
  o.regular = S_ISREG(st.st_mode);
  if (!o.regular) return o;
  if (unsigned error = takeShareMode(o.fd, access, share); error != ERROR_SUCCESS)
    return fail(error == ERROR_SHARING_VIOLATION ? EACCES : EIO, error);
  if (o.existed && disposition == Disposition::CreateAlways && st.st_size != 0 &&
      retryOnEintr(::ftruncate, o.fd, off_t{0}) != 0)
    return fail(errno, winErrorFromErrno(errno));
  return o;
}

bool endWithErrno(int err = errno) {
  return endFileOperation(winErrorFromErrno(err));
}

}  // namespace

int detail::usableDescriptor(const FileIO::FileImp* imp, unsigned rights) {
  beginFileOperation();
  if (!imp || imp->fd < 0) {
    endFileOperation(ERROR_INVALID_HANDLE);
    return -1;
  }
  if ((imp->access & rights) != rights) {
    endFileOperation(ERROR_ACCESS_DENIED);
    return -1;
  }
  return imp->fd;
}

namespace FileIO {

File File::openFile(const void* name, FileCharType charType, FileOpenMode openMode, FileShareMode shareMode,
                    FileCreationMode creationMode) {
  auto* imp = new FileImp;
  // Converted before the operation starts: the conversion may set the
  // system's last error.
  const std::optional<std::string> path = charType == Utf16Name
                                              ? fileNameFromWide(static_cast<const wchar_t*>(name))
                                              : fileNameFromAnsi(static_cast<const char*>(name));
  beginFileOperation();
  if (!path) {
    const unsigned error = name ? ERROR_INVALID_NAME : ERROR_PATH_NOT_FOUND;
    imp->status = Error::win32ToPyraError(error);
    endFileOperation(error);
    return File(imp);
  }

  Disposition disposition = Disposition::OpenExisting;
  if (openMode == OpenReadWrite && creationMode >= OpenAlways && creationMode <= CreateNew)
    disposition = static_cast<Disposition>(creationMode);
  const unsigned access = openMode == OpenRead        ? kShareRightRead
                          : openMode == OpenReadWrite ? kShareRightRead | kShareRightWrite
                                                      : 0;
  // O_NONBLOCK: opening a FIFO must not wait for its other end (regular files
  // ignore the flag).
  int flags = O_CLOEXEC | O_NONBLOCK | (openMode == OpenReadWrite ? O_RDWR : O_RDONLY);
  Opened o = openShared(*path, flags, disposition, access, toWin32ShareMode(shareMode));
  if (o.fd < 0 && o.err == EACCES && !access) {
    // No data access asked: a file we may not read still opens for its
    // size and times.
    o = openShared(*path, O_CLOEXEC | O_PATH, disposition, 0, 0);
  }
  if (o.fd < 0) {
    imp->status = Error::win32ToPyraError(o.error);
    endFileOperation(o.error);
  } else if (!o.regular) {
    ::close(o.fd);  // a pipe, terminal or device: not a disk file
    imp->status = Pyra::FileError;
    endFileOperation(ERROR_SUCCESS);
  } else {
    imp->fd = o.fd;
    imp->access = access;
    imp->status = Pyra::Ok;
    const bool mayCreate = disposition == Disposition::OpenAlways || disposition == Disposition::CreateAlways;
    endFileOperation(o.existed && mayCreate ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  }
  return File(imp);
}

File::~File() {
  if (!m_imp || m_imp->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  if (m_imp->fd >= 0) ::close(m_imp->fd);
  delete m_imp;
}

bool File::close() {
  if (!m_imp) {
    beginFileOperation();
    return true;
  }
  const int fd = usableDescriptor(m_imp, 0);
  if (fd < 0) return false;
  // Linux releases the descriptor even when close reports an error (a
  // deferred write error, EINTR): keeping the number would later act on
  // whatever file reuses it.
  const int r = ::close(fd);
  const int err = errno;
  m_imp->fd = -1;
  m_imp->status = Pyra::FileError;
  return r == 0 || err == EINTR ? endFileOperation(ERROR_SUCCESS) : endWithErrno(err);
}

bool File::readFromFile(void* buffer, unsigned int count, unsigned int* read) const {
  if (read) *read = 0;
  const int fd = usableDescriptor(m_imp, kShareRightRead);
  if (fd < 0) return false;
  unsigned done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (read) *read = done;
      return endWithErrno();
    }
    if (n == 0) break;  // end of file
    done += static_cast<unsigned>(n);
  }
  if (read) *read = done;
  return endFileOperation(ERROR_SUCCESS);
}

bool File::writeToFile(const void* buffer, unsigned int count, unsigned int* written) const {
  if (written) *written = 0;
  const int fd = usableDescriptor(m_imp, kShareRightWrite);
  if (fd < 0) return false;
  unsigned done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (written) *written = done;
      return endWithErrno();
    }
    done += static_cast<unsigned>(n);
  }
  if (written) *written = done;
  return endFileOperation(ERROR_SUCCESS);
}

bool File::seek(__int64 distance, FileSeekAnchor anchor) const {
  const int fd = usableDescriptor(m_imp, 0);
  if (fd < 0) return false;
  const int whence = anchor == SeekCurrent || anchor == SeekEnd ? anchor : SEEK_SET;
  if (::lseek(fd, distance, whence) >= 0) return endFileOperation(ERROR_SUCCESS);
  // The anchor is always valid, so EINVAL means a position before the start.
  return errno == EINVAL ? endFileOperation(ERROR_NEGATIVE_SEEK) : endWithErrno();
}

__int64 File::getCurrentOffset() const {
  const int fd = usableDescriptor(m_imp, 0);
  if (fd < 0) return 0;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at < 0) return endWithErrno(), 0;
  endFileOperation(ERROR_SUCCESS);
  return at;
}

bool File::setEndOfFile() const {
  const int fd = usableDescriptor(m_imp, kShareRightWrite);
  if (fd < 0) return false;
  const off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at < 0 || retryOnEintr(::ftruncate, fd, at) != 0) return endWithErrno();
  return endFileOperation(ERROR_SUCCESS);
}

bool File::flushFileBuffers() const {
  const int fd = usableDescriptor(m_imp, kShareRightWrite);
  if (fd < 0) return false;
  if (retryOnEintr(::fsync, fd) != 0) return endWithErrno();
  return endFileOperation(ERROR_SUCCESS);
}

unsigned __int64 File::getFileSize() const {
  const int fd = usableDescriptor(m_imp, 0);
  if (fd < 0) return 0;
  struct stat st;
  if (::fstat(fd, &st) != 0) return endWithErrno(), 0;
  endFileOperation(ERROR_SUCCESS);
  return static_cast<unsigned __int64>(st.st_size);
}

namespace {

// Stream text of any ccs= form is UTF-8: the wide-character functions
// convert with the conversion the stream takes when its orientation is set.
void orientUtf8(FILE* stream) {
  static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  if (!utf8) return;
  const locale_t previous = ::uselocale(utf8);
  std::fwide(stream, 1);
  ::uselocale(previous);
}

FILE* openStream(const wchar_t* name, const wchar_t* modeText, int shareFlag) {
  const std::optional<StreamMode> mode = parseStreamMode(modeText);
  const std::optional<unsigned> share = mode ? shareOfRuntimeFlag(shareFlag, mode->access) : std::nullopt;
  const std::optional<std::string> path = fileNameFromWide(name);
  if (!mode || !share || !path) {
    errno = EINVAL;
    return nullptr;
  }
  // Read access too for a write-only stream: the sharing record needs it.
  int flags = O_CLOEXEC | (mode->access & kShareRightWrite ? O_RDWR : O_RDONLY);
  if (mode->append) flags |= O_APPEND;
  if (mode->syncWrites) flags |= O_DSYNC;
  const Opened o = openShared(*path, flags, mode->disposition, mode->access, *share);
  if (o.fd < 0) {
    errno = o.err;
    return nullptr;
  }
  auto fail = [&](int err) -> FILE* {
    ::close(o.fd);
    errno = err;
    return nullptr;
  };
  if (mode->deleteOnClose && ::unlink(path->c_str()) != 0) return fail(errno);
  if (mode->accessPattern)
    ::posix_fadvise(o.fd, 0, 0, mode->accessPattern == 1 ? POSIX_FADV_SEQUENTIAL : POSIX_FADV_RANDOM);
  if (mode->utf8Text && (mode->access & kShareRightRead) && !mode->append && o.regular) {
    char bom[3];
    if (::pread(o.fd, bom, 3, 0) == 3 && std::memcmp(bom, "\xEF\xBB\xBF", 3) == 0) ::lseek(o.fd, 3, SEEK_SET);
  }
  FILE* stream = ::fdopen(o.fd, mode->streamMode);
  if (!stream) return fail(errno);
  if (mode->utf8Text) orientUtf8(stream);
  return stream;
}

}  // namespace

FILE* openFILE(const wchar_t* name, const wchar_t* mode) {
  return openStream(name, mode, _SH_SECURE);
}

FILE* openFILEWithShareFlag(const wchar_t* name, const wchar_t* mode, int shareFlag) {
  return openStream(name, mode, shareFlag);
}

int setmaxstdio(int count) {
  // The runtime's floor: its predefined streams.
  constexpr int kMinimum = 20;
  struct rlimit limit;
  if (count < kMinimum || ::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_max != RLIM_INFINITY && static_cast<rlim_t>(count) > limit.rlim_max) return -1;
  limit.rlim_cur = static_cast<rlim_t>(count);
  return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 ? count : -1;
}

}  // namespace FileIO

}  // namespace Halvex::Tessaran::PAL
