// A read-only mapping of a whole file, the stand-in for the Windows
// file-mapping calls the module image reader was written against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Halvex::Tessaran::PAL::detail {

class MappedFile {
 public:
  // Maps an existing file; on failure returns null and stores the Windows
  // system error code in error.
  static std::unique_ptr<MappedFile> map(const char* path, unsigned& error);
  ~MappedFile();

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

 private:
  MappedFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace Halvex::Tessaran::PAL::detail
