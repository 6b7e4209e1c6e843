// Conversion of embedded ICC profiles to sRGB with Little CMS, one conversion
// per distinct profile kept for later images.
#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "windowing/colour_profile.h"

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

std::optional<Matrix> colorants(cmsHPROFILE profile) {
  Matrix m{};
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  for (int column = 0; column < 3; ++column) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[column]));
    if (xyz == nullptr) return std::nullopt;
    m[0][column] = xyz->X;
    m[1][column] = xyz->Y;
    m[2][column] = xyz->Z;
  }
  return m;
}

std::optional<Matrix> inverse(const Matrix& m) {
  Matrix r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      // Cofactor of m[j][i], so r is the adjugate.
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      r[i][j] = m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0];
    }
  const double det = m[0][0] * r[0][0] + m[0][1] * r[1][0] + m[0][2] * r[2][0];
  if (!std::isfinite(det) || std::fabs(det) < 1e-9) return std::nullopt;
  for (auto& row : r)
    for (double& v : row) v /= det;
  return r;
}

// A matrix-shaper profile (three tone curves, then a 3x3 matrix into the
// connection space) is what nearly every embedded RGB profile is. Towards
// sRGB, itself a matrix shaper, the whole conversion is curve, one matrix,
// inverse sRGB curve: done here with integer sums over small tables, several
// times faster than a general transform and within one level of it.
class MatrixShaper {
 public:
  static std::unique_ptr<MatrixShaper> make(cmsHPROFILE source, cmsHPROFILE srgb) {
    if (!cmsIsMatrixShaper(source)) return nullptr;
    // Little CMS prefers a device-to-connection table, of any intent, to the
    // matrix and curves.
    for (cmsTagSignature table :
         {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag})
      if (cmsIsTag(source, table)) return nullptr;
    const std::optional<Matrix> from = colorants(source), to = colorants(srgb);
    const std::optional<Matrix> toInverse = to ? inverse(*to) : std::nullopt;
    if (!from || !toInverse) return nullptr;
    auto shaper = std::make_unique<MatrixShaper>();
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
      const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
      if (curve == nullptr) return nullptr;
      double column[3];
      for (int r = 0; r < 3; ++r) {
        column[r] = 0;
        for (int k = 0; k < 3; ++k) column[r] += (*toInverse)[r][k] * (*from)[k][c];
        if (!std::isfinite(column[r]) || std::fabs(column[r]) > 8) return nullptr;
      }
      for (int v = 0; v < 256; ++v) {
        const double linear = std::clamp(cmsEvalToneCurveFloat(curve, v / 255.0f), 0.0f, 1.0f);
        for (int r = 0; r < 3; ++r)
          shaper->term_[c][v][r] =
              static_cast<std::int32_t>(std::lround(column[r] * linear * kLinearMax * (1 << kFractionBits)));
        shaper->term_[c][v][3] = 0;
      }
    }
    const auto* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, cmsSigRedTRCTag));
    cmsToneCurve* inverseSrgb = srgbCurve != nullptr ? cmsReverseToneCurve(srgbCurve) : nullptr;
    if (inverseSrgb == nullptr) return nullptr;
    for (int i = 0; i <= kLinearMax; ++i) {
      const float v =
          std::clamp(cmsEvalToneCurveFloat(inverseSrgb, static_cast<float>(i) / kLinearMax), 0.0f, 1.0f);
      shaper->encode_[i] = static_cast<std::uint8_t>(std::lround(v * 255));
    }
    cmsFreeToneCurve(inverseSrgb);
    return shaper;
  }

  void apply(const PixelRows& rows) const {
    const int step = rows.hasAlpha ? 4 : 3;
    const Lanes round = {kHalf, kHalf, kHalf, kHalf}, top = {kLinearMax, kLinearMax, kLinearMax, kLinearMax};
    for (int y = 0; y < rows.height; ++y) {
      unsigned char* p = rows.pixels + static_cast<std::ptrdiff_t>(y) * rows.rowStride;
      for (int x = 0; x < rows.width; ++x, p += step) {
        Lanes sum = (term_[0][p[0]] + term_[1][p[1]] + term_[2][p[2]] + round) >> kFractionBits;
        sum &= ~(sum < 0);
        const Lanes over = sum > top;
        sum = (sum & ~over) | (top & over);
        p[0] = encode_[sum[0]];
        p[1] = encode_[sum[1]];
        p[2] = encode_[sum[2]];
      }
    }
  }

 private:
  // Linear light in 14 bits, with 8 more bits of fraction until the sum is
  // rounded: with matrix coefficients below 8 the sums stay inside 32 bits.
  static constexpr int kLinearMax = (1 << 14) - 1;
  static constexpr int kFractionBits = 8;
  static constexpr int kHalf = 1 << (kFractionBits - 1);

  // One pixel's three output channels (and an unused fourth) side by side,
  // so that a pixel takes three vector additions.
  using Lanes = std::int32_t __attribute__((vector_size(16)));
  // term_[c][v]: what channel c at level v adds to each output channel.
  Lanes term_[3][256];
  std::uint8_t encode_[kLinearMax + 1];
};

// Either the table-driven matrix shaper or a general Little CMS transform.
class Conversion {
 public:
  static std::shared_ptr<const Conversion> make(const std::string& profileBytes, bool hasAlpha) {
    cmsHPROFILE source =
        cmsOpenProfileFromMem(profileBytes.data(), static_cast<cmsUInt32Number>(profileBytes.size()));
    if (source == nullptr) return nullptr;
    std::shared_ptr<Conversion> made;
    if (cmsGetColorSpace(source) == cmsSigRgbData) {
      cmsHPROFILE srgb = cmsCreate_sRGBProfile();
      if (auto shaper = MatrixShaper::make(source, srgb)) {
        made = std::make_shared<Conversion>();
        made->shaper_ = std::move(shaper);
      } else {
        const cmsUInt32Number format = hasAlpha ? TYPE_RGBA_8 : TYPE_RGB_8;
        // No one-pixel cache: conversions are shared by images decoded on any thread.
        cmsHTRANSFORM transform =
            cmsCreateTransform(source, format, srgb, format, INTENT_RELATIVE_COLORIMETRIC,
                               cmsFLAGS_NOCACHE | (hasAlpha ? cmsFLAGS_COPY_ALPHA : 0));
        if (transform != nullptr) {
          made = std::make_shared<Conversion>();
          made->transform_ = transform;
        }
      }
      cmsCloseProfile(srgb);
    }
    cmsCloseProfile(source);
    return made;
  }

  Conversion() = default;
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;
  ~Conversion() {
    if (transform_ != nullptr) cmsDeleteTransform(transform_);
  }

  void apply(const PixelRows& rows) const {
    if (shaper_ != nullptr) return shaper_->apply(rows);
    cmsDoTransformLineStride(transform_, rows.pixels, rows.pixels, static_cast<cmsUInt32Number>(rows.width),
                             static_cast<cmsUInt32Number>(rows.height),
                             static_cast<cmsUInt32Number>(rows.rowStride),
                             static_cast<cmsUInt32Number>(rows.rowStride), 0, 0);
  }

 private:
  std::unique_ptr<MatrixShaper> shaper_;
  cmsHTRANSFORM transform_ = nullptr;
};

// Most recently used first. Bounded because the profiles come from untrusted
// files; a profile that failed is remembered as a null conversion.
class ConversionCache {
 public:
  std::shared_ptr<const Conversion> get(const unsigned char* profile, std::size_t size, bool hasAlpha) {
    std::string key(reinterpret_cast<const char*>(profile), size);
    std::lock_guard<std::mutex> lock(mutex_);
    auto hit = std::find_if(entries_.begin(), entries_.end(),
                            [&](const Entry& e) { return e.hasAlpha == hasAlpha && e.profile == key; });
    if (hit != entries_.end()) {
      std::rotate(entries_.begin(), hit, hit + 1);
      return entries_.front().conversion;
    }
    std::shared_ptr<const Conversion> made = Conversion::make(key, hasAlpha);
    if (entries_.size() == kCapacity) entries_.pop_back();
    entries_.insert(entries_.begin(), Entry{std::move(key), hasAlpha, made});
    return made;
  }

 private:
  static constexpr std::size_t kCapacity = 8;
  struct Entry {
    std::string profile;
    bool hasAlpha;
    std::shared_ptr<const Conversion> conversion;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace

bool convertToSrgb(const unsigned char* profile, std::size_t profileSize, const PixelRows& rows) {
  static ConversionCache cache;
  std::shared_ptr<const Conversion> conversion = cache.get(profile, profileSize, rows.hasAlpha);
  if (conversion == nullptr) return false;
  conversion->apply(rows);
  return true;
}

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
