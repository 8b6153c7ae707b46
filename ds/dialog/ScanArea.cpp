#include "ds/dialog/ScanArea.h"

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

}  // namespace ferrolite::dialog
