// The decoder behind GraphicsImage: turns an encoded picture into the native
// image that GraphicsImage::ImageImp owns.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

// The most pixels a picture may declare; larger ones are refused before their
// pixels are allocated (2^28 RGBA pixels are 1 GiB).
inline constexpr std::uint64_t kPixelBudget = std::uint64_t{1} << 28;

// The once-only start of the imaging library; true when images can be decoded.
bool startImaging();

// The decoded picture in sRGB, or null when the bytes hold no complete picture
// of at most pixelBudget pixels. The caller releases it with releaseNative.
void* decodeNative(const unsigned char* data, std::size_t size, std::uint64_t pixelBudget);
void releaseNative(void* native);
int nativeWidth(const void* native);
int nativeHeight(const void* native);

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
