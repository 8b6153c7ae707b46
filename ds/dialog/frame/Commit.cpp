#include "ds/dialog/frame/Commit.h"

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

ResolutionBoundary checkResolutionBoundary(ScanSetting& record, int64_t mode) {
  ResolutionBoundary result;
  uint16_t& edited = resolutionOfMode(record, mode);
  if (edited < kMinimumResolution) edited = kMinimumResolution;
  if (edited == kMinimumResolution) result.fieldShows = edited;
  for (uint16_t* res : {&record.wColorRes, &record.wGrayRes, &record.wBWRes}) {
    if (*res < kMinimumResolution) *res = kMinimumResolution;
  }
  return result;
}

void commitTypedValues(DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  const BridgeObject_V2& b = ctx.bridge;
  if (r.wLength < minimumLength(r, ctx.extra))
    r.wLength = saturate<uint16_t>(minimumLength(r, ctx.extra));
  if (r.wWidth < minimumWidth(r, ctx.extra))
    r.wWidth = saturate<uint16_t>(minimumWidth(r, ctx.extra));

  const uint8_t unit = r.bPaperSizeUnit;
  if (unit == kUnitMillimetre) {
    auto commit = [](float mm, uint16_t& field) {
      field = saturate<uint16_t>(convertedSize(mm, field, kUnitMillimetre, kBaseResolution));
    };
    commit(b.mmW, r.wWidth);
    commit(b.mmH, r.wLength);
    commit(b.mmX, r.wXPos);
    commit(b.mmY, r.wYPos);
    commit(ctx.globals.mmLD, r.wLengthDetectionValue);
  } else if (unit == kUnitPixel) {
    auto commit = [&b](uint32_t px, uint16_t& field) {
      field = saturate<uint16_t>(convertedSize(px, field, kUnitPixel, b.currentRes));
    };
    commit(b.mPixelW, r.wWidth);
    commit(b.mPixelH, r.wLength);
    commit(b.mPixelX, r.wXPos);
    commit(b.mPixelY, r.wYPos);
  }
}

}  // namespace ferrolite::dialog
