// The decoder as the library sees it: calls into the imaging backend module,
// loaded on the first use. Without the module no picture decodes.
#include "base/backend_module.h"
#include "windowing/image_decoder.h"
#include "windowing/imaging_backend.h"

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

namespace {
const ImagingBackend* backend() {
  static const ImagingBackend* const table =
      PAL::detail::loadBackend<ImagingBackend>(kImagingModule, kImagingEntry);
  return table;
}
}  // namespace

bool startImaging() {
  return backend() != nullptr && backend()->startImaging();
}

void* decodeNative(const unsigned char* data, std::size_t size, std::uint64_t pixelBudget) {
  return backend() ? backend()->decodeNative(data, size, pixelBudget) : nullptr;
}

// A native image exists only where the backend made it.
void releaseNative(void* native) {
  backend()->releaseNative(native);
}

int nativeWidth(const void* native) {
  return backend()->nativeWidth(native);
}

int nativeHeight(const void* native) {
  return backend()->nativeHeight(native);
}

bool convertToSrgb(const unsigned char* profile, std::size_t profileSize, const PixelRows& rows) {
  return backend() ? backend()->convertToSrgb(profile, profileSize, rows) : false;
}

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
