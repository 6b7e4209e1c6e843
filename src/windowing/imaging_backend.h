// The table of the imaging backend module (gdk-pixbuf and lcms2), loaded on
// the first picture decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "windowing/colour_profile.h"

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

struct ImagingBackend {
  static constexpr unsigned kVersion = 1;
  bool (*startImaging)();
  void* (*decodeNative)(const unsigned char* data, std::size_t size, std::uint64_t pixelBudget);
  void (*releaseNative)(void* native);
  int (*nativeWidth)(const void* native);
  int (*nativeHeight)(const void* native);
  bool (*convertToSrgb)(const unsigned char* profile, std::size_t profileSize, const PixelRows& rows);
};

inline constexpr const char* kImagingModule = "libKvPalImaging.so";
inline constexpr const char* kImagingEntry = "kvpal_imaging_backend";

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
