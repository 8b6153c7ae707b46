#include "ds/dialog/paper/PaperNotifications.h"

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/paper/PaperSteppers.h"

namespace ferrolite::dialog {

std::optional<int32_t> textFieldMovement(DialogGlobals& g, const FocusTargets& t) {
  const int32_t field = g.goNextTextFiled;
  if (field < kFieldXOffset || field > kFieldTimeOut) return std::nullopt;
  if (field == kFieldTimeOut) {
    int32_t next = 0;
    for (int32_t f = kFieldXOffset; f <= kFieldLength && !next; ++f) {
      if (t[f]) next = f;
    }
    if (next) {
      g.goNextTextFiled = next;
      g.goBackNextTextFiled = next == kFieldXOffset ? kFieldDetection : next - 1;
    } else if (t[kFieldDetection]) {
      g.goNextTextFiled = kFieldDetection;
      g.goBackNextTextFiled = kFieldLength;
    } else {
      g.goNextTextFiled = kFieldTimeOut;
      g.goBackNextTextFiled = kFieldDetection;
    }
  } else if (field == kFieldLength) {
    g.goNextTextFiled = t[kFieldDetection] ? kFieldDetection : kFieldTimeOut;
    g.goBackNextTextFiled = g.goNextTextFiled - 1;
  } else {
    g.goBackNextTextFiled = field == kFieldXOffset ? kFieldDetection : field - 1;
  }
  return field;
}

std::optional<int32_t> textFieldBackMovement(DialogGlobals& g, const FocusTargets& t) {
  const int32_t field = g.goBackNextTextFiled;
  if (field < kFieldXOffset || field > kFieldTimeOut) return std::nullopt;
  if (field == kFieldTimeOut) {
    if (t[kFieldDetection]) {
      g.goBackNextTextFiled = kFieldDetection;
      g.goNextTextFiled = kFieldXOffset;
    } else {
      g.goBackNextTextFiled = kFieldLength;
      g.goNextTextFiled = kFieldDetection;
    }
  } else if (field == kFieldWidth) {
    if (t[kFieldYOffset]) {
      g.goBackNextTextFiled = kFieldYOffset;
    } else if (t[kFieldXOffset]) {
      g.goBackNextTextFiled = kFieldXOffset;
    } else if (t[kFieldTimeOut]) {
      g.goBackNextTextFiled = kFieldTimeOut;
    }
    const bool none = !t[kFieldYOffset] && !t[kFieldXOffset] && !t[kFieldTimeOut];
    g.goNextTextFiled = none ? kFieldLength : g.goBackNextTextFiled + 1;
  } else {
    g.goNextTextFiled = field == kFieldDetection ? kFieldXOffset : field + 1;
  }
  return field;
}

PaperNotice rectTextFieldChange(DialogContext& ctx, LongPageState& longPage) {
  ScanSetting& r = ctx.record();
  PaperNotice notice;
  if (r.bPaperSize == kPageLong) {
    longPage.mfSaveLongPageLength = r.dwLongLength;
    longPage.mfSaveLongPageWidth = r.dwLongWidth;
  } else {
    notice.makeCustom = true;
    r.bPaperSize = kPageCustom;
    notice.controls.detectionBoxEnabled = true;
    notice.checkPortraitLandscape = true;
  }
  notice.controls.previewRect = true;
  return notice;
}

PaperNotice previewWin2Text(DialogContext& ctx, int64_t left, int64_t top, int64_t width,
                            int64_t length) {
  ScanSetting& r = ctx.record();
  BridgeObject_V2& b = ctx.bridge;
  PaperNotice notice;
  PaperControls& c = notice.controls;
  setBridgeMillimetres(b, left, top, width, length);
  setBridgePixels(b, b.currentRes, left, top, width, length);
  if (width == 0 || length == 0) return notice;
  const uint8_t unit = r.bPaperSizeUnit;
  c.xText = unitText(unit, left, b.currentRes);
  c.yText = unitText(unit, top, b.currentRes);
  c.widthText = unitText(unit, width, b.currentRes);
  c.lengthText = unitText(unit, length, b.currentRes);
  if (length < static_cast<int64_t>(ctx.ability().adfMaxWidth())) {
    c.landscapeEnabled = r.bPaperSize != kPageCustom;
  } else {
    r.bPaperDirection = 0;
    c.landscapeEnabled = false;
    c.portraitSelected = true;
  }
  c.detectionBoxEnabled = true;
  r.bPaperSize = kPageCustom;
  notice.refreshEdgeFill = true;
  return notice;
}

PaperNotice pageSizeByStepper(DialogContext& ctx, const std::string& which) {
  ScanSetting& r = ctx.record();
  const BridgeObject_V2& b = ctx.bridge;
  PaperNotice notice;
  PaperControls& c = notice.controls;
  const bool drag = which == "mDragRectangle";
  const bool longPage = r.bPaperSize == kPageLong;
  const uint8_t unit = r.bPaperSizeUnit;
  auto text = [&](int64_t v, float mm, uint32_t px) {
    if (unit == kUnitMillimetre) return mmText(mm);
    if (unit == kUnitPixel) return std::to_string(px);
    return unitText(unit, v, b.currentRes);
  };
  if (drag) {
    notice.makeCustom = true;
    c.sizeControlsEnabled = true;
    c.offsetControlsEnabled = true;
    c.carrierSheetShown = false;
  }
  if (drag || which == "xOffset") {
    c.xText = text(r.wXPos, b.mmX, b.mPixelX);
    notice.makeCustom = true;
  }
  if (drag || which == "yOffset") {
    c.yText = text(r.wYPos, b.mmY, b.mPixelY);
    notice.makeCustom = true;
  }
  if (drag || which == "mWidth") {
    c.widthText = text(r.wWidth, b.mmW, b.mPixelW);
    if (!longPage) notice.makeCustom = true;
  }
  if (drag || which == "mHeight") {
    c.lengthText = text(longPage ? r.dwLongLength : r.wLength, b.mmH, b.mPixelH);
    if (!longPage) notice.makeCustom = true;
  }
  if (notice.makeCustom) r.bPaperSize = kPageCustom;
  return notice;
}

}  // namespace ferrolite::dialog
