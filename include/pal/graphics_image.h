// GraphicsImage: decodes an encoded picture held in memory (icons, thumbnails,
// images embedded in resources) and answers its pixel size and native image.
//
// Differences from what a Windows caller expects:
// - Decoding goes through gdk-pixbuf: PNG, JPEG, GIF, BMP, ICO, TIFF and
//   whatever other formats its installed loaders know. The format is taken
//   from the buffer's content; the ImageBufferFormat argument is not used.
// - The native image (handle()) is the decoded `GdkPixbuf*` (8 bits per
//   channel, RGB or RGBA, not premultiplied), owned by the image: take a
//   reference with g_object_ref to keep it beyond the image's life. An
//   animation gives its first frame.
// - An embedded ICC profile (PNG iCCP, JPEG APP2, TIFF) is applied with
//   Little CMS: the pixels come out in sRGB (relative colorimetric intent,
//   without black-point compensation, so black stays black) and the
//   "icc-profile" option is removed from the native image. A profile that
//   cannot be read, or that does not describe RGB data, leaves the pixels as
//   decoded. The conversions of the last eight distinct profiles are kept,
//   behind a lock of their own, since images may be decoded on any thread.
// - A picture whose declared width times height exceeds 2^28 pixels is
//   refused as soon as its size is known, before its pixels are allocated.
//   It gives an image of 0 x 0, as does a truncated or damaged buffer: never a
//   partly decoded picture. A JPEG must therefore reach its end-of-image
//   marker and a PNG its IEND chunk.
// - The imaging start-up on the first image has nothing to start: gdk-pixbuf
//   needs no initialisation and runs no thread. The once-only start-up is kept,
//   so there is nothing to shut down at process end either.
#pragma once

#include "pal/export.h"

namespace Halvex::Tessaran::PAL::GraphicsImage {

// What the caller believes the buffer holds; the content decides.
enum ImageBufferFormat {
  ImageBufferFormatUnknown = 0,
  ImageBufferFormatBmp = 1,
  ImageBufferFormatPng = 2,
  ImageBufferFormatJpeg = 3,
  ImageBufferFormatGif = 4,
  ImageBufferFormatTiff = 5,
  ImageBufferFormatIcon = 6,
};

class Image;

// Owns one decoded image, or none when decoding was not possible.
class PAL_EXPORT ImageImp {
 public:
  static ImageImp* getImp(Image* image);

  // The GdkPixbuf*, or null without an image.
  void* handle() const;
  // 0 without an image.
  int pixelWidth() const;
  int pixelHeight() const;

  ImageImp(const ImageImp&) = delete;
  ImageImp& operator=(const ImageImp&) = delete;

 private:
  friend class Image;
  explicit ImageImp(void* nativeImage);
  ~ImageImp();

  void* nativeImage_;
};

class PAL_EXPORT Image {
 public:
  // Never fails: an undecodable buffer gives an image of 0 x 0.
  Image(const unsigned char* data, int size, ImageBufferFormat format);
  ~Image();

  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int pixelWidth() const;
  int pixelHeight() const;
  // The GdkPixbuf*, or null without an image.
  void* handle() const;

 private:
  friend class ImageImp;
  ImageImp* imp_;
};

}  // namespace Halvex::Tessaran::PAL::GraphicsImage
