// Whole-file read-only mapping with mmap.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "modules/mapped_file.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

std::unique_ptr<MappedFile> MappedFile::map(const char* path, unsigned& error) {
  error = ERROR_SUCCESS;
  if (!path || !*path) {
    error = ERROR_PATH_NOT_FOUND;
    return nullptr;
  }
  // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
  int fd = retryOnEintr([&] { return ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) {
    error = winErrorFromErrno(errno);
    return nullptr;
  }
  struct stat st {};
  void* view = MAP_FAILED;
  if (::fstat(fd, &st) != 0) {
    error = winErrorFromErrno(errno);
  } else if (S_ISDIR(st.st_mode)) {
    error = ERROR_ACCESS_DENIED;  // what opening a directory as a file gives on Windows
  } else if (!S_ISREG(st.st_mode) || st.st_size == 0) {
    error = ERROR_FILE_INVALID;  // an empty file cannot be mapped on Windows either
  } else {
    view = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (view == MAP_FAILED) error = winErrorFromErrno(errno);
  }
  // The mapping keeps the file alive; the descriptor is not needed after it.
  ::close(fd);
  if (view == MAP_FAILED) return nullptr;
  return std::unique_ptr<MappedFile>(
      new MappedFile(static_cast<const std::uint8_t*>(view), static_cast<std::size_t>(st.st_size)));
}

MappedFile::~MappedFile() {
  ::munmap(const_cast<std::uint8_t*>(data_), size_);
}

}  // namespace Halvex::Tessaran::PAL::detail
