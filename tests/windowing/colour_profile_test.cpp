// Conversion of decoded pixels from an embedded ICC profile to sRGB, compared
// with what Little CMS itself gives, for the kinds of profile pictures carry.
#include "windowing/colour_profile.h"

#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Halvex::Tessaran::PAL::GraphicsImage::detail::convertToSrgb;
using Halvex::Tessaran::PAL::GraphicsImage::detail::PixelRows;
using Bytes = std::vector<unsigned char>;

Bytes save(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  Bytes bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

cmsHPROFILE rgbProfile(cmsCIExyY white, cmsCIExyYTRIPLE primaries, cmsToneCurve* curve) {
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return profile;
}

const cmsCIExyY kD65{0.3127, 0.3290, 1.0};
const cmsCIExyYTRIPLE kWidePrimaries{{0.7347, 0.2653, 1.0}, {0.1152, 0.8264, 1.0}, {0.1566, 0.0177, 1.0}};
const cmsCIExyYTRIPLE kAdobePrimaries{{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};

// Device RGB straight to connection-space XYZ through a table, squaring each
// channel on the way (so the table and the matrix beside it disagree).
int squaredToXyz(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
  double rgb[3];
  for (int i = 0; i < 3; ++i) rgb[i] = std::pow(in[i] / 65535.0, 2.0);
  const double xyz[3] = {0.4361 * rgb[0] + 0.3851 * rgb[1] + 0.1431 * rgb[2],
                         0.2225 * rgb[0] + 0.7169 * rgb[1] + 0.0606 * rgb[2],
                         0.0139 * rgb[0] + 0.0971 * rgb[1] + 0.7141 * rgb[2]};
  for (int i = 0; i < 3; ++i) out[i] = static_cast<cmsUInt16Number>(std::lround(xyz[i] * 32768.0));
  return 1;
}

cmsHPROFILE withDeviceTable(cmsHPROFILE profile) {
  cmsPipeline* table = cmsPipelineAlloc(nullptr, 3, 3);
  cmsStage* grid = cmsStageAllocCLut16bit(nullptr, 17, 3, 3, nullptr);
  cmsStageSampleCLut16bit(grid, squaredToXyz, nullptr, 0);
  // A-curves, table, B-curves: the stored table type needs all three.
  cmsPipelineInsertStage(table, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsPipelineInsertStage(table, cmsAT_END, grid);
  cmsPipelineInsertStage(table, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(profile, cmsSigAToB0Tag, table);
  cmsPipelineFree(table);
  return profile;
}

struct Profile {
  const char* what;
  std::function<cmsHPROFILE()> make;
};

const Profile kRgbProfiles[] = {
    {"wide gamut, linear", [] { return rgbProfile(kD65, kWidePrimaries, cmsBuildGamma(nullptr, 1.0)); }},
    {"Adobe-like, gamma 2.2", [] { return rgbProfile(kD65, kAdobePrimaries, cmsBuildGamma(nullptr, 2.2)); }},
    {"sRGB", [] { return cmsCreate_sRGBProfile(); }},
    {"D50 white, parametric curve",
     [] {
       const double params[5] = {1.8, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081};
       return rgbProfile({0.3457, 0.3585, 1.0}, kAdobePrimaries,
                         cmsBuildParametricToneCurve(nullptr, 4, params));
     }},
    {"matrix and curves beside a device table",
     [] { return withDeviceTable(rgbProfile(kD65, kAdobePrimaries, cmsBuildGamma(nullptr, 2.2))); }},
};

// Rows of a 17-level grid of every channel, with padding after each row that
// must stay untouched.
struct GridRows {
  static constexpr int kLevels = 17, kPadding = 5;
  GridRows(bool alpha)
      : channels(alpha ? 4 : 3), width(kLevels * kLevels), stride(width * channels + kPadding) {
    pixels.assign(static_cast<std::size_t>(stride) * kLevels, 0xAB);
    for (int b = 0; b < kLevels; ++b)
      for (int i = 0; i < width; ++i) {
        unsigned char* p = &pixels[b * stride + i * channels];
        p[0] = static_cast<unsigned char>(std::min(255, (i % kLevels) * 16));
        p[1] = static_cast<unsigned char>(std::min(255, (i / kLevels) * 16));
        p[2] = static_cast<unsigned char>(std::min(255, b * 16));
        if (alpha) p[3] = static_cast<unsigned char>(i * 7 + b);
      }
  }
  PixelRows rows() { return {pixels.data(), width, kLevels, stride, channels == 4}; }
  int channels, width, stride;
  Bytes pixels;
};

TEST(ColourProfile, RgbProfilesConvertAsLittleCmsDoes) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  for (const Profile& profile : kRgbProfiles) {
    const Bytes bytes = save(profile.make());
    cmsHPROFILE source = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    ASSERT_NE(source, nullptr) << profile.what;
    for (bool alpha : {false, true}) {
      const std::string what = std::string(profile.what) + (alpha ? ", RGBA" : ", RGB");
      const cmsUInt32Number format = alpha ? TYPE_RGBA_8 : TYPE_RGB_8;
      cmsHTRANSFORM reference = cmsCreateTransform(source, format, srgb, format, INTENT_RELATIVE_COLORIMETRIC,
                                                   alpha ? cmsFLAGS_COPY_ALPHA : 0);
      ASSERT_NE(reference, nullptr) << what;
      GridRows grid(alpha);
      Bytes expected = grid.pixels;
      cmsDoTransformLineStride(reference, grid.pixels.data(), expected.data(), grid.width, GridRows::kLevels,
                               grid.stride, grid.stride, 0, 0);
      cmsDeleteTransform(reference);

      ASSERT_TRUE(convertToSrgb(bytes.data(), bytes.size(), grid.rows())) << what;
      for (std::size_t i = 0; i < grid.pixels.size(); ++i) {
        const bool padding = static_cast<int>(i % grid.stride) >= grid.width * grid.channels;
        const bool alphaByte = alpha && !padding && (i % grid.stride) % 4 == 3;
        if (padding || alphaByte)
          ASSERT_EQ(grid.pixels[i], expected[i])
              << what << " byte " << i << (padding ? " (padding)" : " (alpha)");
        else
          ASSERT_LE(std::abs(grid.pixels[i] - expected[i]), 1) << what << " byte " << i;
      }
    }
    cmsCloseProfile(source);
  }
  cmsCloseProfile(srgb);
}

TEST(ColourProfile, ProfilesThatAreNotRgbLeaveThePixelsAlone) {
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
  const Bytes grey = save(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
  cmsFreeToneCurve(gamma);
  const Bytes lab = save(cmsCreateLab4Profile(nullptr));
  const std::string garbage = "acsp but not a colour profile at all";
  const Bytes notAProfile(garbage.begin(), garbage.end());
  for (const Bytes* profile : {&grey, &lab, &notAProfile}) {
    GridRows grid(false);
    const Bytes before = grid.pixels;
    EXPECT_FALSE(convertToSrgb(profile->data(), profile->size(), grid.rows()));
    EXPECT_EQ(grid.pixels, before);
  }
}

}  // namespace
