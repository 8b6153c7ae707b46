#include "drv/device/SpecialGamma.h"

#include <cmath>
#include <cstring>

void MakeSpecialGamma(const uint8_t* src, uint8_t* dst, double gamma, int brightness, int margin,
                      int highlight, int shadow) {
  const int low = shadow * (255 - 2 * margin) / 255 + margin;
  const int high = (255 - highlight) * (255 - 2 * margin) / 255 + margin;
  const int span = 255 - low - high;
  if (span <= 0) {
    // No range between shadow and highlight to stretch: the curve stays as it is.
    if (dst != src) std::memmove(dst, src, 256);
    return;
  }
  int map[256];
  for (int i = 0; i < 256; ++i) map[i] = i;
  if (low >= 0 && high >= 0) {
    for (int i = 0; i < 256; ++i) {
      if (i < low) {
        map[i] = 0;
      } else if (i >= 255 - high) {
        map[i] = 255;
      } else {
        map[i] = (i - low) * 255 / span;
      }
    }
  } else if (low >= 0) {
    for (int i = 0; i < 256; ++i) map[i] = i < low ? 0 : (i - low) * 255 / span;
  } else if (high >= 0) {
    for (int i = 0; i < 256; ++i) map[i] = i >= 255 - high ? 255 : i * 255 / span - low;
  } else {
    for (int i = 0; i < 256; ++i) map[i] = i * 255 / span - low;
  }
  for (int& m : map) m &= 0xFF;  // kept as bytes

  if (brightness != 0) {
    for (int& m : map) {
      m += brightness;
      m = m < 0 ? 0 : (m > 255 ? 255 : m);
    }
  }
  const float exponent = gamma > 0 ? static_cast<float>(1.0 / gamma) : 1.0f;
  for (int& m : map) {
    m = static_cast<int>(255.0f * std::pow(static_cast<float>(m) / 255.0f, exponent) + 0.5f) & 0xFF;
  }
  uint8_t result[256];
  for (int i = 0; i < 256; ++i) result[i] = src[map[i]];
  std::memcpy(dst, result, 256);
}

void AdjustSendingGammaTablePY272e(uint8_t* table, uint8_t /*channel*/, uint32_t length,
                                   const SCANPARAMETER_UNION* param) {
  if (table == nullptr || param == nullptr || length < 512) return;
  int brightness = 0, highlight = 255;
  const uint8_t filter = param->ColorFilter;
  if ((param->ScanMode == 0 || param->ScanMode == 1) && filter >= 1 && filter <= 3) {
    // Lineart and halftone through a filter keep the curve.
  } else if (param->ScanMode == 2 && filter == 1) {
    brightness = 31;
    highlight = 105;
  } else if (param->ScanMode == 2 && filter == 2) {
    brightness = 21;
    highlight = 71;
  } else if (param->ScanMode == 2 && filter == 3) {
    brightness = 15;
    highlight = 75;
  } else {
    return;
  }
  uint8_t curve[256];
  for (int i = 0; i < 256; ++i) curve[i] = table[2 * i + 1];
  MakeSpecialGamma(curve, curve, 1.0, brightness, 0, highlight, 0);
  for (int i = 0; i < 256; ++i) table[2 * i + 1] = curve[i];
}
