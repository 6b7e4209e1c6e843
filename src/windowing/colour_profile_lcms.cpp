// Conversion of embedded ICC profiles to sRGB with Little CMS, one transform
// per distinct profile kept for later images.
#include <lcms2.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "windowing/colour_profile.h"

namespace Halvex::Tessaran::PAL::GraphicsImage::detail {

namespace {

using Transform = std::shared_ptr<void>;  // cmsHTRANSFORM, deleted with cmsDeleteTransform

Transform makeTransform(const std::string& profileBytes, bool hasAlpha) {
  cmsHPROFILE source =
      cmsOpenProfileFromMem(profileBytes.data(), static_cast<cmsUInt32Number>(profileBytes.size()));
  if (source == nullptr) return nullptr;
  cmsHTRANSFORM transform = nullptr;
  if (cmsGetColorSpace(source) == cmsSigRgbData) {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const cmsUInt32Number format = hasAlpha ? TYPE_RGBA_8 : TYPE_RGB_8;
    // No one-pixel cache: transforms are shared by images decoded on any thread.
    transform = cmsCreateTransform(source, format, srgb, format, INTENT_PERCEPTUAL,
                                   cmsFLAGS_NOCACHE | (hasAlpha ? cmsFLAGS_COPY_ALPHA : 0));
    cmsCloseProfile(srgb);
  }
  cmsCloseProfile(source);
  if (transform == nullptr) return nullptr;
  return Transform(transform, [](void* t) { cmsDeleteTransform(t); });
}

// Most recently used first. Bounded because the profiles come from untrusted
// files; a profile that failed is remembered as a null transform.
class TransformCache {
 public:
  Transform get(const unsigned char* profile, std::size_t size, bool hasAlpha) {
    std::string key(reinterpret_cast<const char*>(profile), size);
    std::lock_guard<std::mutex> lock(mutex_);
    auto hit = std::find_if(entries_.begin(), entries_.end(),
                            [&](const Entry& e) { return e.hasAlpha == hasAlpha && e.profile == key; });
    if (hit != entries_.end()) {
      std::rotate(entries_.begin(), hit, hit + 1);
      return entries_.front().transform;
    }
    Transform made = makeTransform(key, hasAlpha);
    if (entries_.size() == kCapacity) entries_.pop_back();
    entries_.insert(entries_.begin(), Entry{std::move(key), hasAlpha, made});
    return made;
  }

 private:
  static constexpr std::size_t kCapacity = 8;
  struct Entry {
    std::string profile;
    bool hasAlpha;
    Transform transform;
  };
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace

bool convertToSrgb(const unsigned char* profile, std::size_t profileSize, const PixelRows& rows) {
  static TransformCache cache;
  Transform transform = cache.get(profile, profileSize, rows.hasAlpha);
  if (transform == nullptr) return false;
  cmsDoTransformLineStride(
      transform.get(), rows.pixels, rows.pixels, static_cast<cmsUInt32Number>(rows.width),
      static_cast<cmsUInt32Number>(rows.height), static_cast<cmsUInt32Number>(rows.rowStride),
      static_cast<cmsUInt32Number>(rows.rowStride), 0, 0);
  return true;
}

}  // namespace Halvex::Tessaran::PAL::GraphicsImage::detail
