// GraphicsImage::Image and ImageImp: the decoded picture and its size queries.
#include "pal/graphics_image.h"

#include "windowing/image_decoder.h"

namespace Halvex::Tessaran::PAL::GraphicsImage {

ImageImp::ImageImp(void* nativeImage) : nativeImage_(nativeImage) {}

ImageImp::~ImageImp() {
  if (nativeImage_ != nullptr) detail::releaseNative(nativeImage_);
}

ImageImp* ImageImp::getImp(Image* image) {
  return image != nullptr ? image->imp_ : nullptr;
}

void* ImageImp::handle() const {
  return nativeImage_;
}

int ImageImp::pixelWidth() const {
  return nativeImage_ != nullptr ? detail::nativeWidth(nativeImage_) : 0;
}

int ImageImp::pixelHeight() const {
  return nativeImage_ != nullptr ? detail::nativeHeight(nativeImage_) : 0;
}

Image::Image(const unsigned char* data, int size, ImageBufferFormat /*format: the content decides*/)
    : imp_(nullptr) {
  static const bool imagingStarted = detail::startImaging();
  void* native = nullptr;
  if (imagingStarted && data != nullptr && size > 0)
    native = detail::decodeNative(data, static_cast<std::size_t>(size), detail::kPixelBudget);
  imp_ = new ImageImp(native);
}

Image::~Image() {
  delete imp_;
}

int Image::pixelWidth() const {
  return imp_->pixelWidth();
}

int Image::pixelHeight() const {
  return imp_->pixelHeight();
}

void* Image::handle() const {
  return imp_->handle();
}

}  // namespace Halvex::Tessaran::PAL::GraphicsImage
