// Decoding a 12-megapixel JPEG and a 4-megapixel PNG through GraphicsImage
// against gdk-pixbuf loading the same bytes, with and without an embedded
// ICC profile (the profile's conversion to sRGB is the library's extra work).
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <lcms2.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "pal/graphics_image.h"
#include "ratio_reporter.h"

namespace {

using Halvex::Tessaran::PAL::GraphicsImage::Image;
using Halvex::Tessaran::PAL::GraphicsImage::ImageBufferFormatUnknown;

struct Picture {
  const char* label;
  const char* type;
  int width;
  int height;
  bool profiled;
};

const Picture kPictures[] = {
    {"12 MP JPEG", "jpeg", 4000, 3000, false},
    {"12 MP JPEG with ICC profile", "jpeg", 4000, 3000, true},
    {"4 MP PNG", "png", 2000, 2000, false},
    {"4 MP PNG with ICC profile", "png", 2000, 2000, true},
};

// A wide-gamut display profile of the kind cameras and editors embed.
std::vector<unsigned char> wideGamutProfile() {
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<unsigned char> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  cmsFreeToneCurve(gamma);
  return bytes;
}

// gdk-pixbuf's PNG writer hands libpng the profile before the header, which
// libpng rejects; the iCCP chunk goes in by hand, right after IHDR.
void insertIccp(std::vector<unsigned char>& png, const std::vector<unsigned char>& profile) {
  std::vector<unsigned char> body = {'i', 'C', 'C', 'P'};
  for (char c : std::string("ICC profile")) body.push_back(static_cast<unsigned char>(c));
  body.insert(body.end(), {0, 0});  // name terminator, deflate
  uLongf packedSize = compressBound(profile.size());
  std::vector<unsigned char> packed(packedSize);
  compress2(packed.data(), &packedSize, profile.data(), profile.size(), 9);
  body.insert(body.end(), packed.begin(), packed.begin() + packedSize);
  auto bigEndian = [](std::uint32_t v) {
    return std::vector<unsigned char>{static_cast<unsigned char>(v >> 24),
                                      static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8),
                                      static_cast<unsigned char>(v)};
  };
  std::vector<unsigned char> chunk = bigEndian(static_cast<std::uint32_t>(body.size() - 4));
  chunk.insert(chunk.end(), body.begin(), body.end());
  const auto crc =
      bigEndian(static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  chunk.insert(chunk.end(), crc.begin(), crc.end());
  const std::size_t afterHeader = 8 + 8 + 13 + 4;  // signature, IHDR length+type, data, CRC
  png.insert(png.begin() + afterHeader, chunk.begin(), chunk.end());
}

// Smooth gradients with fine texture, so that both encoders work as on a photo.
std::vector<unsigned char> encode(const Picture& p) {
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, p.width, p.height);
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  unsigned noise = 12345;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      noise = noise * 1103515245u + 12345u;
      guchar* px = pixels + y * stride + x * 3;
      px[0] = static_cast<guchar>(x * 255 / p.width + (noise >> 28));
      px[1] = static_cast<guchar>(y * 255 / p.height + ((noise >> 24) & 15));
      px[2] = static_cast<guchar>((x + y) * 127 / (p.width + p.height) + ((noise >> 20) & 15));
    }
  gchar* buffer = nullptr;
  gsize size = 0;
  const bool jpeg = std::string(p.type) == "jpeg";
  const std::vector<unsigned char> profile = p.profiled ? wideGamutProfile() : std::vector<unsigned char>();
  gchar* base64 = g_base64_encode(profile.data(), profile.size());
  if (jpeg && p.profiled)
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, "jpeg", nullptr, "quality", "90", "icc-profile", base64,
                              nullptr);
  else
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, p.type, nullptr, jpeg ? "quality" : "compression",
                              jpeg ? "90" : "6", nullptr);
  g_free(base64);
  std::vector<unsigned char> bytes(buffer, buffer + size);
  g_free(buffer);
  g_object_unref(pixbuf);
  if (!jpeg && p.profiled) insertIccp(bytes, profile);
  return bytes;
}

const std::vector<unsigned char>& encoded(int index) {
  static std::vector<std::vector<unsigned char>> all = [] {
    std::vector<std::vector<unsigned char>> made;
    for (const Picture& p : kPictures) made.push_back(encode(p));
    return made;
  }();
  return all[index];
}

void BM_GraphicsImage(benchmark::State& state) {
  const auto& bytes = encoded(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Image image(bytes.data(), static_cast<int>(bytes.size()), ImageBufferFormatUnknown);
    if (image.pixelWidth() == 0) state.SkipWithError("not decoded");
    benchmark::DoNotOptimize(image.handle());
  }
}

void BM_GdkPixbufLoader(benchmark::State& state) {
  const auto& bytes = encoded(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr);
    gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf == nullptr) state.SkipWithError("not decoded");
    g_object_ref(pixbuf);
    g_object_unref(loader);
    benchmark::DoNotOptimize(pixbuf);
    g_object_unref(pixbuf);
  }
}

BENCHMARK(BM_GraphicsImage)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GdkPixbufLoader)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<kvpal::bench::Ratio> ratios;
  for (int i = 0; i < static_cast<int>(std::size(kPictures)); ++i) {
    const std::string suffix = "/" + std::to_string(i);
    ratios.push_back({kPictures[i].label, "BM_GraphicsImage" + suffix, "BM_GdkPixbufLoader" + suffix});
  }
  return kvpal::bench::runWithRatios(argc, argv, ratios);
}
