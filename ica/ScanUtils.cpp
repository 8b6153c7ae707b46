#include "ica/ScanUtils.h"

#include <cmath>
#include <cstring>

#include "platform/usb/UsbRegistry.h"

namespace icamodule {

namespace {
constexpr double kZeroGammaStandIn = 0.1;
constexpr double kFullScale = 255.0;
}  // namespace

void ScanUtils::buildGamma(uint8_t* table, double gamma, long /*unitLength*/) {
  if (gamma == 0.0) gamma = kZeroGammaStandIn;
  const double exponent = 1.0 / gamma;
  for (int i = 0; i < kGammaEntries; ++i)
    table[i] = uint8_t(std::pow(i / kFullScale, exponent) * kFullScale);
}

bool ScanUtils::rotateRaw(const uint8_t* source, uint8_t* destination, long degree, long width,
                          long height, long mode) {
  const long b = mode == kModeColor ? 3 : 1;
  if (degree == 0) {
    std::memcpy(destination, source, size_t(width * height * b));
    return true;
  }
  if (degree != 90 && degree != 180 && degree != 270) return false;
  for (long r = 0; r < height; ++r) {
    for (long c = 0; c < width; ++c) {
      long row, column, rowWidth;
      if (degree == 90) {
        row = c, column = height - 1 - r, rowWidth = height;
      } else if (degree == 270) {
        row = width - 1 - c, column = r, rowWidth = height;
      } else {
        row = height - 1 - r, column = width - 1 - c, rowWidth = width;
      }
      std::memcpy(destination + (row * rowWidth + column) * b, source + (r * width + c) * b,
                  size_t(b));
    }
  }
  return false;
}

int ScanUtils::deviceIDByLocationID(uint32_t locationID, uint16_t* vid, uint16_t* pid) {
  return usbhost::DeviceIdsByLocationID(locationID, vid, pid) ? kIdsFound : kIdsNotFound;
}

}  // namespace icamodule
