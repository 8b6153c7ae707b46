#pragma once
// The colour-matching plug-in "Chromalis.so" as its callers see it. It holds three independent
// instances (entries without an ending, and the same entries ending in "_2nd" and "_3rd"), each
// converting device R, G, B lines to sRGB through its device profile: first each channel through
// its input tone curve, then the profile's transform with the instance's rendering intent.
#include <cstdint>

extern "C" {
// Opens the device profile (an RGB ICC file) and builds the transform with the intent
// (0 perceptual, 1 relative colorimetric, 2 saturation, 3 absolute colorimetric). The other
// values are carried for the caller and do not change the conversion.
using ChromalisSetProfileFn = uint32_t (*)(const char* path, int32_t reserved1, int32_t intent,
                                           int32_t reserved2, int32_t code);
using ChromalisSetIntentFn = uint32_t (*)(int32_t intent, int32_t reserved, int32_t code);
// Three input tone curves of `count` (256) entries each; red, green, blue.
using ChromalisAdjustFn = uint32_t (*)(int32_t reserved1, int32_t reserved2, int32_t reserved3,
                                       const uint8_t* red, const uint8_t* green,
                                       const uint8_t* blue, int32_t count);
// One line of R, G, B pixels; source and destination may be the same line.
using ChromalisConvertFn = uint32_t (*)(const uint8_t* src, uint8_t* dst, int32_t pixels);
}

inline constexpr const char* kChromalisLibraryName = "Chromalis.so";
inline constexpr uint32_t kChromalisOk = 0;
inline constexpr uint32_t kChromalisFailed = 65535;
// The colour-matching data file beside the profiles: 256-byte blocks.
inline constexpr const char* kChromalisDataFile = "chromalis.krc";
