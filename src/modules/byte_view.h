// Bounds-checked reads of integers and strings from the bytes of an untrusted
// file, in either byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

namespace Halvex::Tessaran::PAL::detail {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::uint8_t* data, std::size_t size, bool bigEndian = false)
      : data_(data), size_(size), bigEndian_(bigEndian) {}

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool bigEndian() const { return bigEndian_; }
  ByteView withByteOrder(bool bigEndian) const { return ByteView(data_, size_, bigEndian); }

  // Offsets are 64-bit so that sums of file fields cannot wrap before the
  // check.
  bool has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  template <typename T>
  std::optional<T> read(std::uint64_t offset) const {
    static_assert(std::is_unsigned_v<T>);
    if (!has(offset, sizeof(T))) return std::nullopt;
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      std::size_t shift = bigEndian_ ? (sizeof(T) - 1 - i) : i;
      value |= static_cast<T>(static_cast<T>(data_[offset + i]) << (8 * shift));
    }
    return value;
  }

  // A 32-bit field in the 32-bit layout, a 64-bit one otherwise.
  std::optional<std::uint64_t> readWord(std::uint64_t offset, bool is32) const {
    if (is32) {
      auto v = read<std::uint32_t>(offset);
      return v ? std::optional<std::uint64_t>(*v) : std::nullopt;
    }
    return read<std::uint64_t>(offset);
  }

  // Compares the zero-terminated string at offset with `s` as strcmp does
  // (bytes as unsigned values; ASCII letters folded to lower case when
  // `ignoreCase`), reading only up to the first difference: a file can point
  // many entries at one huge string, so scanning each to its end first would
  // make a walk quadratic. Nothing when the bytes run out (at limit or the
  // view's end) before the order is settled.
  std::optional<int> compare(std::uint64_t offset, const char* s, bool ignoreCase = false,
                             std::uint64_t limit = UINT64_MAX) const {
    const std::uint64_t end = limit < size_ ? limit : size_;
    auto fold = [ignoreCase](unsigned char c) {
      return ignoreCase && c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    };
    for (auto p = reinterpret_cast<const unsigned char*>(s);; ++p, ++offset) {
      if (offset >= end) return std::nullopt;
      const int a = fold(data_[offset]), b = fold(*p);
      if (a != b) return a < b ? -1 : 1;
      if (a == 0) return 0;
    }
  }

  // The zero-terminated string at offset, when its terminator lies before
  // limit (and inside the view); else null.
  const char* cstr(std::uint64_t offset, std::uint64_t limit = UINT64_MAX) const {
    if (offset >= size_ || offset >= limit) return nullptr;
    std::uint64_t end = limit < size_ ? limit : size_;
    const void* nul = std::memchr(data_ + offset, 0, end - offset);
    return nul ? reinterpret_cast<const char*>(data_ + offset) : nullptr;
  }

 private:
  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  bool bigEndian_ = false;
};

}  // namespace Halvex::Tessaran::PAL::detail
