#pragma once
// The colour drop-out parameters that the dialog's preview result hands to the data source's
// image processing: ten bytes.
#include <cstddef>
#include <cstdint>

namespace ferrolite {

struct ColorDropParam {
  uint8_t bGrayOutput{};       // 1: 8-bit grey result; 0: 1-bit black-and-white result
  uint8_t bDropColor{};        // drop-out mode: 0 none, 1-3 red/green/blue, 4 custom, 5 automatic
  uint8_t bAdvance{};          // advanced drop-out through the image plug-in
  uint8_t bThreshold{};        // filter threshold
  uint8_t bBackgroundLevel{};  // not read by the drop-out
  uint8_t bCustomThreshold{};  // not read by the drop-out
  uint8_t bCustomR{};
  uint8_t bCustomG{};
  uint8_t bCustomB{};
  uint8_t bQuality{};  // non-zero: quality drop-out
};

static_assert(sizeof(ColorDropParam) == 10, "ColorDropParam is 10 bytes");
static_assert(offsetof(ColorDropParam, bThreshold) == 3);
static_assert(offsetof(ColorDropParam, bCustomR) == 6);
static_assert(offsetof(ColorDropParam, bQuality) == 9);

}  // namespace ferrolite
