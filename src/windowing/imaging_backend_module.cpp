// The imaging backend module's entry: the decoder and colour management
// built over gdk-pixbuf and lcms2.
#include "windowing/image_decoder.h"
#include "windowing/imaging_backend.h"

namespace detail = Halvex::Tessaran::PAL::GraphicsImage::detail;

extern "C" __attribute__((visibility("default"))) const void* kvpal_imaging_backend(unsigned version) {
  static constexpr detail::ImagingBackend table{detail::startImaging,  detail::decodeNative,
                                                detail::releaseNative, detail::nativeWidth,
                                                detail::nativeHeight,  detail::convertToSrgb};
  return version == detail::ImagingBackend::kVersion ? &table : nullptr;
}
