// Colour management of decoded pixels: converts them from the ICC profile
// embedded in their file to sRGB.
#pragma once

#include <cstddef>

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

// 8-bit RGB or RGBA pixel rows, not premultiplied, rowStride bytes apart.
struct PixelRows {
  unsigned char* pixels;
  int width;
  int height;
  int rowStride;
  bool hasAlpha;
};

// Converts the rows in place with the relative colorimetric intent; alpha is
// kept.
// False, with the rows untouched, when the profile cannot be read or does not
// describe RGB data.
bool convertToSrgb(const unsigned char* profile, std::size_t profileSize, const PixelRows& rows);

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
