#pragma once
// The resolution field of the image type and side being edited: 0, 1, 6, 7 colour (automatic
// colour follows colour), 2, 3 grey, 4, 5 black-and-white. No resolution goes below 72 dpi.
#include <cstdint>

#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

inline constexpr uint16_t kMinimumResolution = 72;

inline uint16_t& resolutionOfMode(ScanSetting& record, int64_t mode) {
  switch (mode) {
    case 2:
    case 3:
      return record.wGrayRes;
    case 4:
    case 5:
      return record.wBWRes;
    default:
      return record.wColorRes;
  }
}

}  // namespace ferrolite::dialog
