#pragma once
// The scan area's limits and placement that several pages share: the source's minimum size,
// and the origin of a page on the source (at 0 on the flatbed or an aligned feeder, otherwise
// centred across the feeder without ever wrapping).
#include <cstdint>

#include "ds/dialog/Ability.h"
#include "ds/scan/records/ExtraParam.h"
#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

class BridgeObject_V2;

// The source's minimum width and length (the flatbed's for a flatbed source).
uint32_t minimumWidth(const ScanSetting& record, const ExtraParam& extra);
uint32_t minimumLength(const ScanSetting& record, const ExtraParam& extra);

// Places the area: X = Y = 0 on the flatbed or with feeder alignment; otherwise Y = 0, the
// width cut to the feeder's and X = (feeder width - width) / 2.
void placeOnSource(ScanSetting& record, const AbilityView& ability, const ExtraParam& extra);

// The bridge's copies of an area (1/300 inch): in millimetres as shown, and in pixels at a
// resolution (0 counts as 300).
void setBridgeMillimetres(BridgeObject_V2& bridge, int64_t x, int64_t y, int64_t width,
                          int64_t length);
void setBridgePixels(BridgeObject_V2& bridge, uint32_t res, int64_t x, int64_t y, int64_t width,
                     int64_t length);

}  // namespace ferrolite::dialog
