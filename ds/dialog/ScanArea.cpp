#include "ds/dialog/ScanArea.h"

#include "ds/dialog/Bridge.h"
#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

uint32_t minimumWidth(const ScanSetting& record, const ExtraParam& extra) {
  return isFlatbedSource(record.bScanSource) ? extra.flatbedMinWidth : extra.adfMinWidth;
}

uint32_t minimumLength(const ScanSetting& record, const ExtraParam& extra) {
  return isFlatbedSource(record.bScanSource) ? extra.flatbedMinLength : extra.adfMinLength;
}

void placeOnSource(ScanSetting& r, const AbilityView& ability, const ExtraParam& extra) {
  if (isFlatbedSource(r.bScanSource) || extra.adfAlignment) {
    r.wXPos = r.wYPos = 0;
    return;
  }
  const uint32_t feederWidth = ability.adfMaxWidth();
  if (r.wWidth > feederWidth) r.wWidth = saturate<uint16_t>(feederWidth);
  r.wYPos = 0;
  r.wXPos = saturate<uint16_t>((static_cast<int64_t>(feederWidth) - r.wWidth) / 2);
}

void setBridgeMillimetres(BridgeObject_V2& b, int64_t x, int64_t y, int64_t width, int64_t length) {
  b.mmX = mmValue(x);
  b.mmY = mmValue(y);
  b.mmW = mmValue(width);
  b.mmH = mmValue(length);
}

void setBridgePixels(BridgeObject_V2& b, uint32_t res, int64_t x, int64_t y, int64_t width,
                     int64_t length) {
  b.mPixelX = saturate<uint32_t>(pixelsOf(x, res));
  b.mPixelY = saturate<uint32_t>(pixelsOf(y, res));
  b.mPixelW = saturate<uint32_t>(pixelsOf(width, res));
  b.mPixelH = saturate<uint32_t>(pixelsOf(length, res));
}

}  // namespace ferrolite::dialog
