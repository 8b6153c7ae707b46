#pragma once
// Small jobs of the page consumer and the device object: the gamma table, turning a raster by a
// quarter or half turn, and the USB ids of the device at a location id.
#include <cstdint>

namespace icamodule {

class ScanUtils {
 public:
  static constexpr int kGammaEntries = 256;
  // Mode 4: three bytes a pixel; mode 2: one.
  static constexpr long kModeColor = 4;
  static constexpr long kModeGray = 2;
  static constexpr int kIdsFound = 0;
  static constexpr int kIdsNotFound = 1000;

  // Fills 256 entries: (i / 255)^(1 / gamma) x 255, cut to an integer; a gamma of 0 counts as 0.1.
  static void buildGamma(uint8_t* table, double gamma, long unitLength);
  // 0 copies; 90 turns clockwise, 270 counter-clockwise, 180 half-way (90 and 270 give a
  // raster `height` pixels wide). Any other degree writes nothing. YES only for the plain copy.
  static bool rotateRaw(const uint8_t* source, uint8_t* destination, long degree, long width,
                        long height, long mode);
  // kIdsFound with the ids written, or kIdsNotFound (ids untouched).
  static int deviceIDByLocationID(uint32_t locationID, uint16_t* vid, uint16_t* pid);
};

}  // namespace icamodule
