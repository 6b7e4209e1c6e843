// GraphicsImage: decoding picture buffers of every common format, hostile
// buffers, the pixel budget, and conversion of embedded colour profiles.
#include "pal/graphics_image.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "windowing/image_decoder.h"

namespace {

using namespace Halvex::Tessaran::PAL::GraphicsImage;
using Bytes = std::vector<unsigned char>;

Bytes readPicture(const std::string& name) {
  std::ifstream in(std::string(KVPAL_TEST_IMAGES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Image decode(const Bytes& bytes, ImageBufferFormat format = ImageBufferFormatUnknown) {
  return Image(bytes.data(), static_cast<int>(bytes.size()), format);
}

void expectNoImage(Image& image, const std::string& what) {
  EXPECT_EQ(image.pixelWidth(), 0) << what;
  EXPECT_EQ(image.pixelHeight(), 0) << what;
  EXPECT_EQ(image.handle(), nullptr) << what;
  ImageImp* imp = ImageImp::getImp(&image);
  if (imp == nullptr) return;
  EXPECT_EQ(imp->pixelWidth(), 0) << what;
  EXPECT_EQ(imp->pixelHeight(), 0) << what;
  EXPECT_EQ(imp->handle(), nullptr) << what;
}

struct Picture {
  const char* file;
  int width;
  int height;
  ImageBufferFormat claimed;  // deliberately not what the file holds
};

// Sizes as make_test_images.py draws them; no two alike, none square.
const Picture kPictures[] = {
    {"picture.png", 37, 23, ImageBufferFormatBmp},    {"picture.jpg", 41, 19, ImageBufferFormatPng},
    {"picture.gif", 29, 31, ImageBufferFormatJpeg},   {"picture.bmp", 33, 17, ImageBufferFormatGif},
    {"picture.ico", 24, 40, ImageBufferFormatTiff},   {"picture.tiff", 45, 13, ImageBufferFormatIcon},
    {"interlaced.png", 21, 27, ImageBufferFormatPng},
};

TEST(GraphicsImage, EachFormatGivesItsSizeWhateverTheClaimedFormat) {
  for (const Picture& p : kPictures) {
    Image image = decode(readPicture(p.file), p.claimed);
    EXPECT_EQ(image.pixelWidth(), p.width) << p.file;
    EXPECT_EQ(image.pixelHeight(), p.height) << p.file;
    auto* pixbuf = static_cast<GdkPixbuf*>(image.handle());
    ASSERT_TRUE(GDK_IS_PIXBUF(pixbuf)) << p.file;
    EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), p.width) << p.file;
    EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), p.height) << p.file;
    ImageImp* imp = ImageImp::getImp(&image);
    ASSERT_NE(imp, nullptr) << p.file;
    EXPECT_EQ(imp->handle(), image.handle()) << p.file;
    EXPECT_EQ(imp->pixelWidth(), p.width) << p.file;
    EXPECT_EQ(imp->pixelHeight(), p.height) << p.file;
  }
}

TEST(GraphicsImage, BuffersWithoutACompletePictureGiveNoImage) {
  const Bytes png = readPicture("picture.png");
  const std::string text = "This is a note, not a picture.\n";
  struct Case {
    std::string what;
    const unsigned char* data;
    int size;
  };
  std::vector<Case> cases = {
      {"null buffer", nullptr, 100},
      {"null buffer, size 0", nullptr, 0},
      {"size 0", png.data(), 0},
      {"negative size", png.data(), -1},
      {"text", reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size())},
      {"PNG signature only", png.data(), 8},
  };
  std::vector<Bytes> truncated;
  truncated.reserve(std::size(kPictures) * 3);
  for (const Picture& p : kPictures) {
    Bytes whole = readPicture(p.file);
    for (std::size_t quarters : {1, 2, 3}) {
      truncated.emplace_back(whole.begin(), whole.begin() + whole.size() * quarters / 4);
      cases.push_back({std::string(p.file) + " cut to " + std::to_string(quarters) + "/4",
                       truncated.back().data(), static_cast<int>(truncated.back().size())});
    }
  }
  for (const Case& c : cases) {
    Image image(c.data, c.size, ImageBufferFormatPng);
    expectNoImage(image, c.what);
  }
}

// Small, complete and valid files that declare more than 2^28 pixels.
TEST(GraphicsImage, PicturesOverThePixelBudgetGiveNoImage) {
  for (const char* file : {"bomb.gif", "bomb.png"}) {
    Image image = decode(readPicture(file));
    expectNoImage(image, file);
  }
}

// The budget is checked for every format, and a picture of exactly the
// budget passes.
TEST(GraphicsImage, BudgetIsWidthTimesHeightInclusive) {
  namespace D = Halvex::Tessaran::PAL::GraphicsImage::detail;
  for (const Picture& p : kPictures) {
    const Bytes bytes = readPicture(p.file);
    const std::uint64_t pixels = static_cast<std::uint64_t>(p.width) * p.height;
    void* fits = D::decodeNative(bytes.data(), bytes.size(), pixels);
    ASSERT_NE(fits, nullptr) << p.file;
    EXPECT_EQ(D::nativeWidth(fits), p.width) << p.file;
    D::releaseNative(fits);
    EXPECT_EQ(D::decodeNative(bytes.data(), bytes.size(), pixels - 1), nullptr) << p.file;
  }
}

// What gdk-pixbuf decodes without colour management, as 8-bit rows.
struct RawPixels {
  Bytes pixels;
  int width = 0, height = 0, stride = 0, channels = 0;
};

RawPixels decodeWithoutProfile(const Bytes& bytes) {
  RawPixels raw;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  if (gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    GdkPixbuf* p = gdk_pixbuf_loader_get_pixbuf(loader);
    raw.width = gdk_pixbuf_get_width(p);
    raw.height = gdk_pixbuf_get_height(p);
    raw.stride = gdk_pixbuf_get_rowstride(p);
    raw.channels = gdk_pixbuf_get_n_channels(p);
    const guchar* start = gdk_pixbuf_read_pixels(p);
    raw.pixels.assign(start, start + gdk_pixbuf_get_byte_length(p));
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  return raw;
}

// Every pixel of a picture with an embedded profile comes out as Little CMS
// converts the unmanaged pixel from that profile to sRGB. The profile (wide
// primaries, linear curves) moves mid-tones far, so an unconverted picture
// fails. PNG carries alpha, JPEG and TIFF do not: one profile in both layouts.
TEST(GraphicsImage, EmbeddedProfileIsConvertedToSrgb) {
  const Bytes profile = readPicture("profile.icc");
  cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
  ASSERT_NE(source, nullptr);
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  for (const char* file : {"profiled.png", "profiled.jpg", "profiled.tiff"}) {
    const Bytes bytes = readPicture(file);
    const RawPixels raw = decodeWithoutProfile(bytes);
    ASSERT_GT(raw.width, 0) << file;
    const bool alpha = raw.channels == 4;
    cmsHTRANSFORM reference =
        cmsCreateTransform(source, alpha ? TYPE_RGBA_8 : TYPE_RGB_8, srgb, alpha ? TYPE_RGBA_8 : TYPE_RGB_8,
                           INTENT_RELATIVE_COLORIMETRIC, alpha ? cmsFLAGS_COPY_ALPHA : 0);
    ASSERT_NE(reference, nullptr);

    Image image = decode(bytes);
    auto* pixbuf = static_cast<GdkPixbuf*>(image.handle());
    ASSERT_NE(pixbuf, nullptr) << file;
    ASSERT_EQ(gdk_pixbuf_get_n_channels(pixbuf), raw.channels) << file;
    EXPECT_EQ(gdk_pixbuf_get_option(pixbuf, "icc-profile"), nullptr) << file << ": would be applied twice";
    const guchar* ours = gdk_pixbuf_read_pixels(pixbuf);
    const int ourStride = gdk_pixbuf_get_rowstride(pixbuf);
    int farMoved = 0;
    for (int y = 0; y < raw.height; ++y) {
      Bytes expected(static_cast<std::size_t>(raw.width) * raw.channels);
      cmsDoTransform(reference, raw.pixels.data() + y * raw.stride, expected.data(),
                     static_cast<cmsUInt32Number>(raw.width));
      for (int i = 0; i < raw.width * raw.channels; ++i) {
        const int before = raw.pixels[y * raw.stride + i], want = expected[i], got = ours[y * ourStride + i];
        ASSERT_LE(std::abs(got - want), 1) << file << " row " << y << " byte " << i;
        if (std::abs(want - before) > 20) ++farMoved;
      }
    }
    EXPECT_GT(farMoved, 0) << file << ": the profile should move some pixels far";
    cmsDeleteTransform(reference);
  }
  cmsCloseProfile(srgb);
  cmsCloseProfile(source);
}

}  // namespace
