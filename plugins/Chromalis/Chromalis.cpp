// Three colour-matching instances over LittleCMS 2: device profile to sRGB, line by line.
#include "plugins/Chromalis/Chromalis.h"

#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#define CHROMALIS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint32_t kVersion = 0x00010000;  // 1.0.0
constexpr int kCurveEntries = 256;

class Instance {
 public:
  ~Instance() { clear(); }

  uint32_t setProfile(const char* path, int intent) {
    std::lock_guard<std::mutex> lock(mutex_);
    clear();
    if (!path) return kChromalisFailed;
    device_ = cmsOpenProfileFromFile(path, "r");
    if (!device_ || cmsGetColorSpace(device_) != cmsSigRgbData) {
      clear();
      return kChromalisFailed;
    }
    srgb_ = cmsCreate_sRGBProfile();
    intent_ = validIntent(intent);
    return rebuild() ? kChromalisOk : kChromalisFailed;
  }

  uint32_t setIntent(int intent) {
    std::lock_guard<std::mutex> lock(mutex_);
    intent_ = validIntent(intent);
    if (!device_) return kChromalisFailed;
    return rebuild() ? kChromalisOk : kChromalisFailed;
  }

  uint32_t adjust(const uint8_t* red, const uint8_t* green, const uint8_t* blue, int count) {
    if (!red || !green || !blue || count != kCurveEntries) return kChromalisFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint8_t* in[3] = {red, green, blue};
    bool identity = true;
    for (int c = 0; c < 3; ++c) {
      memcpy(curves_[c], in[c], kCurveEntries);
      for (int i = 0; i < kCurveEntries; ++i) identity = identity && curves_[c][i] == i;
    }
    curvesOn_ = !identity;
    return kChromalisOk;
  }

  uint32_t convert(const uint8_t* src, uint8_t* dst, int pixels) {
    if (!src || !dst || pixels < 0) return kChromalisFailed;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!transform_) return kChromalisFailed;
    const uint8_t* from = src;
    if (curvesOn_) {
      line_.resize(size_t(pixels) * 3);
      for (int i = 0; i < pixels * 3; ++i) line_[size_t(i)] = curves_[i % 3][src[i]];
      from = line_.data();
    }
    cmsDoTransform(transform_, from, dst, cmsUInt32Number(pixels));
    return kChromalisOk;
  }

 private:
  static int validIntent(int intent) {
    return intent >= INTENT_PERCEPTUAL && intent <= INTENT_ABSOLUTE_COLORIMETRIC
               ? intent
               : INTENT_PERCEPTUAL;
  }

  bool rebuild() {
    if (transform_) cmsDeleteTransform(transform_);
    transform_ = cmsCreateTransform(device_, TYPE_RGB_8, srgb_, TYPE_RGB_8,
                                    cmsUInt32Number(intent_), cmsFLAGS_NOCACHE);
    return transform_ != nullptr;
  }

  void clear() {
    if (transform_) cmsDeleteTransform(transform_);
    if (device_) cmsCloseProfile(device_);
    if (srgb_) cmsCloseProfile(srgb_);
    transform_ = nullptr, device_ = nullptr, srgb_ = nullptr;
  }

  std::mutex mutex_;
  cmsHPROFILE device_ = nullptr;
  cmsHPROFILE srgb_ = nullptr;
  cmsHTRANSFORM transform_ = nullptr;
  int intent_ = INTENT_PERCEPTUAL;
  uint8_t curves_[3][kCurveEntries] = {};
  bool curvesOn_ = false;
  std::vector<uint8_t> line_;
};

Instance gInstances[3];

}  // namespace

CHROMALIS_EXPORT uint32_t LibraryCurrentVersion() { return kVersion; }

// One set of four entries per instance.
#define CHROMALIS_INSTANCE(suffix, index)                                                        \
  CHROMALIS_EXPORT uint32_t KR_Icc_SetProfile##suffix(const char* path, int32_t, int32_t intent, \
                                                      int32_t, int32_t) {                        \
    return gInstances[index].setProfile(path, intent);                                           \
  }                                                                                              \
  CHROMALIS_EXPORT uint32_t KR_Icc_SetIntent##suffix(int32_t intent, int32_t, int32_t) {         \
    return gInstances[index].setIntent(intent);                                                  \
  }                                                                                              \
  CHROMALIS_EXPORT uint32_t KR_Icc_Adjust##suffix(int32_t, int32_t, int32_t, const uint8_t* r,   \
                                                  const uint8_t* g, const uint8_t* b,            \
                                                  int32_t count) {                               \
    return gInstances[index].adjust(r, g, b, count);                                             \
  }                                                                                              \
  CHROMALIS_EXPORT uint32_t KR_Icc_Convert2##suffix(const uint8_t* src, uint8_t* dst,            \
                                                    int32_t pixels) {                            \
    return gInstances[index].convert(src, dst, pixels);                                          \
  }

CHROMALIS_INSTANCE(, 0)
CHROMALIS_INSTANCE(_2nd, 1)
CHROMALIS_INSTANCE(_3rd, 2)
