// The picture decoder on gdk-pixbuf: format sniffed from the bytes, the size
// budget enforced as soon as a loader knows the size, embedded ICC profiles
// applied afterwards.
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "windowing/colour_profile.h"
#include "windowing/image_decoder.h"

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

namespace {

struct LoadWatch {
  explicit LoadWatch(std::uint64_t budget) : pixelBudget(budget) {}
  std::uint64_t pixelBudget;
  bool refused = false;
  std::vector<bool> rowArrived;  // sized once the pixel buffer exists
  int rowsArrived = 0;
};

bool withinBudget(int width, int height, std::uint64_t pixelBudget) {
  return width > 0 && height > 0 &&
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= pixelBudget;
}

// Runs inside the loader once the header is read, before the pixel buffer
// exists. A size of 0 x 0 tells the loader to stop without allocating (the
// same convention gdk_pixbuf_get_file_info relies on).
void onSizePrepared(GdkPixbufLoader* loader, int width, int height, gpointer data) {
  auto* watch = static_cast<LoadWatch*>(data);
  if (withinBudget(width, height, watch->pixelBudget)) return;
  watch->refused = true;
  gdk_pixbuf_loader_set_size(loader, 0, 0);
}

void onAreaPrepared(GdkPixbufLoader* loader, gpointer data) {
  static_cast<LoadWatch*>(data)->rowArrived.assign(
      gdk_pixbuf_get_height(gdk_pixbuf_loader_get_pixbuf(loader)), false);
}

void onAreaUpdated(GdkPixbufLoader*, int, int y, int, int height, gpointer data) {
  auto* watch = static_cast<LoadWatch*>(data);
  const int rows = static_cast<int>(watch->rowArrived.size());
  for (int row = std::max(y, 0); row < std::min(y + height, rows); ++row) {
    if (watch->rowArrived[row]) continue;
    watch->rowArrived[row] = true;
    ++watch->rowsArrived;
  }
}

std::uint32_t littleEndian32(const unsigned char* p) {
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// The BMP loader reserves room for the whole info header, and for everything
// up to the pixel data, as soon as it reads their claimed sizes. Claims beyond
// the buffer could never be met, so such a file is refused before the loader
// sees it.
bool bmpHeaderOverruns(const unsigned char* data, std::size_t size) {
  if (size < 18 || data[0] != 'B' || data[1] != 'M') return false;
  return littleEndian32(data + 10) > size || littleEndian32(data + 14) > size - 14;
}

// Going back from the end, an end-of-image marker comes before the last
// start-of-scan. Neither marker can occur inside entropy-coded data, where
// 0xFF is always followed by 0x00 or a restart number.
bool jpegHasEndAfterLastScan(const unsigned char* data, std::size_t size) {
  for (std::size_t i = size; i >= 2; --i) {
    if (data[i - 2] != 0xFF) continue;
    if (data[i - 1] == 0xD9) return true;
    if (data[i - 1] == 0xDA) return false;
  }
  return false;
}

// Walking the chunks from the signature reaches the IEND chunk.
bool pngReachesEnd(const unsigned char* data, std::size_t size) {
  std::size_t at = 8;
  while (at <= size && size - at >= 8) {
    const std::uint32_t length = (std::uint32_t{data[at]} << 24) | (std::uint32_t{data[at + 1]} << 16) |
                                 (std::uint32_t{data[at + 2]} << 8) | data[at + 3];
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
    at += std::size_t{12} + length;  // length, type, data, CRC
  }
  return false;
}

// The PNG, JPEG, BMP and ICO loaders decode progressively and, when the bytes
// end early, close without error on a partly filled picture: from them every
// row must have arrived. An interlaced PNG touches every row in its first
// pass and the JPEG loader makes up missing rows itself, so these must also
// reach their end marker. (GIF and TIFF report an early end themselves, and a
// GIF frame may rightly cover only part of the picture.)
bool endedEarly(GdkPixbufLoader* loader, const LoadWatch& watch, const unsigned char* data,
                std::size_t size) {
  GdkPixbufFormat* format = gdk_pixbuf_loader_get_format(loader);
  if (format == nullptr) return true;
  gchar* name = gdk_pixbuf_format_get_name(format);
  const bool jpeg = std::strcmp(name, "jpeg") == 0, png = std::strcmp(name, "png") == 0;
  const bool progressive = jpeg || png || std::strcmp(name, "bmp") == 0 || std::strcmp(name, "ico") == 0;
  g_free(name);
  if (!progressive) return false;
  return watch.rowsArrived < static_cast<int>(watch.rowArrived.size()) ||
         (jpeg && !jpegHasEndAfterLastScan(data, size)) || (png && !pngReachesEnd(data, size));
}

void applyEmbeddedProfile(GdkPixbuf* pixbuf) {
  const char* encoded = gdk_pixbuf_get_option(pixbuf, "icc-profile");
  if (encoded == nullptr) return;
  gsize profileSize = 0;
  guchar* profile = g_base64_decode(encoded, &profileSize);
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) == 8 &&
      gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB) {
    const PixelRows rows{gdk_pixbuf_get_pixels(pixbuf), gdk_pixbuf_get_width(pixbuf),
                         gdk_pixbuf_get_height(pixbuf), gdk_pixbuf_get_rowstride(pixbuf),
                         gdk_pixbuf_get_has_alpha(pixbuf) != FALSE};
    // Once converted the pixels are sRGB: a caller reading the option would
    // apply the profile a second time.
    if (convertToSrgb(profile, profileSize, rows)) gdk_pixbuf_remove_option(pixbuf, "icc-profile");
  }
  g_free(profile);
}

}  // namespace

bool startImaging() {
  return true;
}

void* decodeNative(const unsigned char* data, std::size_t size, std::uint64_t pixelBudget) {
  if (bmpHeaderOverruns(data, size)) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  LoadWatch watch(pixelBudget);
  g_signal_connect(loader, "size-prepared", G_CALLBACK(onSizePrepared), &watch);
  g_signal_connect(loader, "area-prepared", G_CALLBACK(onAreaPrepared), &watch);
  g_signal_connect(loader, "area-updated", G_CALLBACK(onAreaUpdated), &watch);
  bool complete = gdk_pixbuf_loader_write(loader, data, size, nullptr) != FALSE;
  // Closing is required even after a failed write; its failure means the
  // bytes ended before the picture did.
  complete = gdk_pixbuf_loader_close(loader, nullptr) != FALSE && complete;
  complete = complete && !watch.refused && !endedEarly(loader, watch, data, size);
  GdkPixbuf* pixbuf = complete ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  // A loader that ignores the size hint is still held to the budget here.
  if (pixbuf != nullptr &&
      withinBudget(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf), pixelBudget))
    g_object_ref(pixbuf);
  else
    pixbuf = nullptr;
  g_object_unref(loader);
  if (pixbuf != nullptr) applyEmbeddedProfile(pixbuf);
  return pixbuf;
}

void releaseNative(void* native) {
  g_object_unref(static_cast<GdkPixbuf*>(native));
}

int nativeWidth(const void* native) {
  return gdk_pixbuf_get_width(static_cast<const GdkPixbuf*>(native));
}

int nativeHeight(const void* native) {
  return gdk_pixbuf_get_height(static_cast<const GdkPixbuf*>(native));
}

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
