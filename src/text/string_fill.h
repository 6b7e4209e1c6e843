// Fills a string through a conversion that writes into raw storage.
#pragma once

#include <cstddef>
#include <string>

namespace Halvex::Tessaran::PAL::detail {

// Gives `fill` room for `capacity` characters and keeps the length it
// returns. With resize_and_overwrite (C++23 library) the room is not
// zero-filled first: on the UTF-8 paths that fill costs about as much as the
// conversion itself.
template <typename Char, typename Fill>
void fillString(std::basic_string<Char>& out, size_t capacity, Fill fill) {
#if defined(__cpp_lib_string_resize_and_overwrite)
  out.resize_and_overwrite(capacity, [&](Char* p, size_t n) { return fill(p, n); });
#else
  out.resize(capacity);
  out.resize(fill(out.data(), capacity));
#endif
}

}  // namespace Halvex::Tessaran::PAL::detail
