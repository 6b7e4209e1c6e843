// Font files read with pread, so that lookups seek without buffering whole
// files, or mapped for FreeType, which keeps its faces open.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fonts/freetype_info.h"
#include "fonts/sfnt_names.h"
#include "pal/unicode_convert.h"
#include "platform/posix_util.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

class FileFontBytes final : public FontBytes {
 public:
  FileFontBytes(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~FileFontBytes() override { ::close(fd_); }
  FileFontBytes(const FileFontBytes&) = delete;
  FileFontBytes& operator=(const FileFontBytes&) = delete;

  std::uint64_t size() const override { return size_; }

  bool read(std::uint64_t offset, void* out, std::size_t count) const override {
    if (offset > size_ || count > size_ - offset) return false;
    auto* p = static_cast<char*>(out);
    while (count > 0) {
      const ssize_t n = retryOnEintr(::pread, fd_, p, count, static_cast<off_t>(offset));
      if (n <= 0) return false;
      p += n;
      offset += static_cast<std::uint64_t>(n);
      count -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<FontBytes> openFontFile(const std::wstring& path) {
  std::string narrow;
  if (!UnicodeConvert::wideCharToUtf8(path.c_str(), narrow)) return nullptr;
  const int fd = openRegularFile(narrow.c_str());
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FileFontBytes>(fd, static_cast<std::uint64_t>(st.st_size));
}

std::unique_ptr<MappedFontFile> MappedFontFile::open(const std::wstring& path) {
  std::string narrow;
  if (!UnicodeConvert::wideCharToUtf8(path.c_str(), narrow)) return nullptr;
  const int fd = openRegularFile(narrow.c_str());
  if (fd < 0) return nullptr;
  struct stat st;
  void* data = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    data = ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);  // the mapping stays without it
  if (data == MAP_FAILED) return nullptr;
  return std::unique_ptr<MappedFontFile>(
      new MappedFontFile(static_cast<const unsigned char*>(data), static_cast<std::size_t>(st.st_size)));
}

MappedFontFile::~MappedFontFile() {
  ::munmap(const_cast<unsigned char*>(data_), size_);
}

}  // namespace Halvex::Tessaran::PAL::detail
