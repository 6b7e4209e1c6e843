// Fuzzes the picture decoder (every gdk-pixbuf loader, the size budget, the
// early-end checks and the ICC profile conversion) over hostile bytes.
#include <cstddef>
#include <cstdint>

#include "windowing/image_decoder.h"

namespace D = Halvex::Tessaran::PAL::GraphicsImage::detail;

// A budget far below the library's keeps each run quick.
constexpr std::uint64_t kFuzzPixelBudget = std::uint64_t{1} << 20;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  void* native = D::decodeNative(data, size, kFuzzPixelBudget);
  if (native != nullptr) {
    if (D::nativeWidth(native) <= 0 || D::nativeHeight(native) <= 0) __builtin_trap();
    D::releaseNative(native);
  }
  return 0;
}
