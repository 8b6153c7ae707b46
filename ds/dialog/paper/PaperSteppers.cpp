#include "ds/dialog/paper/PaperSteppers.h"

#include <algorithm>
#include <cmath>

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"
#include "ds/scan/records/LongPageModels.h"

namespace ferrolite::dialog {

namespace {
constexpr double kInchStep = 3;          // 0.01 inch
constexpr double kMillimetreStep = 1.2;  // about 0.1 mm
constexpr double kPixelStep = 1;
constexpr float kTenth = 0.1f;

double stepOf(uint8_t unit) {
  if (unit == kUnitMillimetre) return kMillimetreStep;
  if (unit == kUnitPixel) return kPixelStep;
  return kInchStep;
}

// The record value a stepped millimetre or pixel value shows, from the stepped base.
uint16_t storeStepped(uint8_t unit, double base, double mm, uint32_t pixels, uint32_t res) {
  if (unit == kUnitMillimetre) {
    const int64_t start = saturatingTrunc(base, 0, UINT16_MAX);
    return saturate<uint16_t>(convertedSize(mm, start, kUnitMillimetre, kBaseResolution));
  }
  if (unit == kUnitPixel) return saturate<uint16_t>(fromPixels(pixels, res));
  return saturatingTrunc<uint16_t>(base);
}

// Millimetres as the bridge keeps them, a tenth higher or lower.
float stepTenth(float mm, bool up) { return up ? mm + kTenth : std::max(0.0f, mm - kTenth); }
uint32_t stepPixel(uint32_t px, bool up) { return up ? px + 1 : (px ? px - 1 : 0); }

// The detection length cut so that Y + length + detection fits the feeder.
void cutDetection(DialogContext& ctx, PaperControls& c) {
  ScanSetting& r = ctx.record();
  const int64_t al = ctx.ability().adfMaxLength();
  if (r.wLengthDetectionValue + r.wYPos + r.wLength > al) {
    r.wLengthDetectionValue = saturate<uint16_t>(al - r.wLength - r.wYPos);
    ctx.globals.mmLD = mmValue(r.wLengthDetectionValue);
    c.detectionText = detectionText(r.bPaperSizeUnit, r.wLengthDetectionValue, ctx.globals.mmLD);
  }
}

// A side as its field shows it: the bridge's millimetre or pixel value, else the record's.
std::string sideText(uint8_t unit, int64_t v, float mm, uint32_t px, uint32_t res) {
  if (unit == kUnitMillimetre) return mmText(mm);
  if (unit == kUnitPixel) return std::to_string(px);
  return unitText(unit, v, res);
}

void clearFlagUnlessMillimetres(uint8_t unit, int32_t& flag) {
  if (unit != kUnitMillimetre) flag = 0;
}

StepResult finished(StepResult result, std::string_view which) {
  result.controls.previewRect = true;
  result.controls.switch2CustomProfile = true;
  result.posts.push_back(whichPost(note::kPageSizeByStepper, which));
  return result;
}

StepResult refusedWith(std::optional<int32_t> focus = std::nullopt) {
  StepResult result;
  result.refused = true;
  result.focusField = focus;
  return result;
}
}  // namespace

void PaperSteppers::remember(double x, double y, double width, double length, double detection) {
  mfOldXOffset = x;
  mfOldYOffset = y;
  mfOldWidth = width;
  mfOldLength = length;
  mfLengthDetect = detection;
}

namespace {
// One offset and the size beside it: X with the width across the feeder, Y with the length
// along it.
struct OffsetAxis {
  uint16_t& offset;
  uint16_t& size;
  double maximum;  // the feeder's width or length
  double minimumSize;
  float& mm;
  uint32_t& pixels;
  int32_t& millimetreFlag;
  int32_t field;
  bool keepTenths;  // Y: a step up lands on the next tenth of a millimetre
};

// A click of an offset stepper: the step in the unit, the limits, the inch grid.
StepResult stepOffset(DialogContext& ctx, OffsetAxis axis, bool up) {
  const ScanSetting& r = ctx.record();
  const BridgeObject_V2& b = ctx.bridge;
  const uint8_t unit = r.bPaperSizeUnit;
  const double step = stepOf(unit);
  double offset = axis.offset, size = axis.size;
  float mm = axis.mm;
  uint32_t px = axis.pixels;
  const bool millimetresUp = unit == kUnitMillimetre && r.bPaperSize != kPageLong;
  const double room = (axis.maximum - size) * kMillimetresPerInch / kBaseResolution;
  if (!up) {
    if (offset == 0 && !(unit == kUnitMillimetre && mm > kTenth)) return refusedWith();
    mm = stepTenth(mm, false);
    offset -= step;
    px = stepPixel(px, false);
  } else {
    if (size < axis.minimumSize) return refusedWith();
    if (axis.keepTenths) {
      const double tenths = std::trunc(mm * 10.0);
      if (millimetresUp && tenths < std::trunc(room * 10)) {
        mm = static_cast<float>((tenths + 1) / 10);
      }
    } else if (millimetresUp && mm < room) {
      mm = stepTenth(mm, true);
    }
    offset += step;
    px = stepPixel(px, true);
  }
  offset = std::max(offset, 0.0);
  size = std::max(size, axis.minimumSize);
  StepResult result;
  if (offset + size > axis.maximum) {
    result.focusField = axis.field;
    if (unit != kUnitInch || offset + size >= axis.maximum + kInchStep) {
      result.refused = true;
      return result;
    }
    offset = std::floor(offset / kInchStep) * kInchStep;
    if (offset + size == axis.maximum - 1 || offset + size == axis.maximum - 2) {
      size = axis.maximum - offset - kInchStep;
    }
  }
  axis.mm = mm;
  axis.pixels = px;
  axis.offset = storeStepped(unit, offset, mm, px, b.currentRes);
  axis.size = saturatingTrunc<uint16_t>(size);
  clearFlagUnlessMillimetres(unit, axis.millimetreFlag);
  return result;
}
}  // namespace

StepResult PaperSteppers::paperTabXoffset(DialogContext& ctx, double value) {
  ScanSetting& r = ctx.record();
  BridgeObject_V2& b = ctx.bridge;
  const bool up = value > mfOldXOffset;
  mfOldXOffset = value;
  StepResult result =
      stepOffset(ctx,
                 {r.wXPos, r.wWidth, static_cast<double>(ctx.ability().adfMaxWidth()),
                  static_cast<double>(minimumWidth(r, ctx.extra)), b.mmX, b.mPixelX,
                  ctx.globals.mMilimeterFlagX, kFieldXOffset, false},
                 up);
  if (result.refused) return result;
  const uint8_t unit = r.bPaperSizeUnit;
  result.controls.xText = sideText(unit, r.wXPos, b.mmX, b.mPixelX, b.currentRes);
  result.controls.widthText = sideText(unit, r.wWidth, b.mmW, b.mPixelW, b.currentRes);
  return finished(result, "xOffset");
}

StepResult PaperSteppers::paperTabYoffset(DialogContext& ctx, double value) {
  ScanSetting& r = ctx.record();
  BridgeObject_V2& b = ctx.bridge;
  const bool up = value > mfOldYOffset;
  mfOldYOffset = value;
  StepResult result =
      stepOffset(ctx,
                 {r.wYPos, r.wLength, static_cast<double>(ctx.ability().adfMaxLength()),
                  static_cast<double>(minimumLength(r, ctx.extra)), b.mmY, b.mPixelY,
                  ctx.globals.mMilimeterFlagY, kFieldYOffset, true},
                 up);
  if (result.refused) return result;
  result.controls.yText = sideText(r.bPaperSizeUnit, r.wYPos, b.mmY, b.mPixelY, b.currentRes);
  cutDetection(ctx, result.controls);
  return finished(result, "yOffset");
}

StepResult PaperSteppers::paperTabWidth(DialogContext& ctx, double value, LongPageState& longPage) {
  ScanSetting& r = ctx.record();
  BridgeObject_V2& b = ctx.bridge;
  const uint8_t unit = r.bPaperSizeUnit;
  const bool up = value > mfOldWidth;
  const double step = stepOf(unit);
  const double aw = ctx.ability().adfMaxWidth();
  const double minWidth = minimumWidth(r, ctx.extra);
  double w = r.wWidth, x = r.wXPos;
  float mm = b.mmW;
  uint32_t px = b.mPixelW;
  StepResult result;
  if (!up) {
    mfOldWidth = value;
    if (w <= minWidth) return refusedWith();
    mm = stepTenth(mm, false);
    w -= step;
    px = stepPixel(px, false);
  } else {
    if (x < step && w >= aw) {
      if (x + w > aw) {
        mfOldWidth = value;
        return refusedWith(kFieldWidth);
      }
      // Full width already: the stepper goes back and remembers nothing.
      result.refused = true;
      result.stepperValue = value - 1;
      return result;
    }
    mfOldWidth = value;
    if (unit == kUnitMillimetre && r.bPaperSize != kPageLong &&
        mm < (aw - x) * kMillimetresPerInch / kBaseResolution) {
      mm = stepTenth(mm, true);
    }
    px = stepPixel(px, true);
    w += step;
    if (x + w > aw) {
      result.focusField = kFieldWidth;
      if (unit != kUnitInch || x + w >= aw + kInchStep) {
        result.refused = true;
        return result;
      }
      w = std::floor(w / kInchStep) * kInchStep;
      if (x + w == aw - 1 || x + w == aw - 2) x = aw - w - kInchStep;
    }
  }
  w = std::max(w, minWidth);
  if (r.bPaperSize == kPageLong) longPage.mfSaveLongPageWidth = w;
  b.mmW = mm;
  b.mPixelW = px;
  r.wXPos = unit == kUnitInch ? saturatingTrunc<uint16_t>(x) : r.wXPos;
  r.wWidth = storeStepped(unit, w, mm, px, b.currentRes);
  clearFlagUnlessMillimetres(unit, ctx.globals.mMilimeterFlagW);
  result.controls.xText = sideText(unit, r.wXPos, b.mmX, b.mPixelX, b.currentRes);
  result.controls.widthText = sideText(unit, r.wWidth, mm, px, b.currentRes);
  return finished(result, "mWidth");
}

StepResult PaperSteppers::paperTabLength(DialogContext& ctx, double value, LongPageState& longPage,
                                         const PaperPageInputs& inputs) {
  ScanSetting& r = ctx.record();
  BridgeObject_V2& b = ctx.bridge;
  const uint8_t unit = r.bPaperSizeUnit;
  const bool up = value > mfOldLength;
  mfOldLength = value;
  const bool longPageChosen = r.bPaperSize == kPageLong;
  const double step = stepOf(unit);
  const double al = ctx.ability().adfMaxLength();
  const double minLength = minimumLength(r, ctx.extra);
  const double maxLong = ctx.extra.maxLongLength;
  const double y = r.wYPos;
  double l = longPageChosen ? r.dwLongLength : r.wLength;
  float mm = b.mmH;
  uint32_t px = b.mPixelH;
  if (!up) {
    mm = stepTenth(mm, false);
    l -= step;
    px = stepPixel(px, false);
  } else {
    if (unit == kUnitMillimetre &&
        (longPageChosen || mm < (al - y) * kMillimetresPerInch / kBaseResolution)) {
      mm = stepTenth(mm, true);
    }
    l += step;
    px = stepPixel(px, true);
  }
  if (l < minLength) {
    l = minLength;
    mm = mmValue(static_cast<int64_t>(minLength));
    px = saturate<uint32_t>(pixelsOf(static_cast<int64_t>(minLength), b.currentRes));
  }
  // The length the unit's value stands for.
  const double stepped = unit == kUnitInch ? l : storeStepped(unit, l, mm, px, b.currentRes);
  StepResult result;
  if (stepped + y > kLongestStandardLength) {
    if (longPageChosen) {
      const bool halved = halvesDuplexLongPage(inputs.usbID) && inputs.duplexChecked;
      if (stepped > maxLong || (halved && stepped > std::floor(maxLong / 2))) {
        result.refused = true;
        return result;
      }
      longPage.mfSaveLongPageLength = stepped;
    } else {
      result.focusField = kFieldLength;
      if (unit != kUnitInch || l + y >= al + kInchStep) {
        result.refused = true;
        return result;
      }
      l = std::floor(l / kInchStep) * kInchStep;
      if (l + y == al - 1 || l + y == al - 2)
        r.wYPos = saturatingTrunc<uint16_t>(al - kInchStep - l);
    }
  }
  b.mmH = mm;
  b.mPixelH = px;
  if (longPageChosen) {
    // The long page never goes below the feeder's length nor beyond its limit, in any unit.
    const double held = std::clamp(unit == kUnitInch ? l : stepped, al, std::max(al, maxLong));
    longPage.mfSaveLongPageLength = held;
    r.dwLongLength = saturatingTrunc<uint32_t>(held);
    r.wLength = saturatingTrunc<uint16_t>(held);
    if (held != stepped) {
      b.mmH = mmValue(r.dwLongLength);
      b.mPixelH = saturate<uint32_t>(pixelsOf(r.dwLongLength, b.currentRes));
    }
  } else {
    r.wLength = unit == kUnitInch ? saturatingTrunc<uint16_t>(l)
                                  : storeStepped(unit, l, mm, px, b.currentRes);
  }
  clearFlagUnlessMillimetres(unit, ctx.globals.mMilimeterFlagH);
  const int64_t shown = longPageChosen ? r.dwLongLength : r.wLength;
  const bool landscape = r.wLength < al && r.bPaperSize != kPageCustom;
  result.controls.landscapeEnabled = landscape;
  if (!landscape) result.controls.portraitSelected = true;
  result.controls.lengthText = sideText(unit, shown, b.mmH, b.mPixelH, b.currentRes);
  if (!longPageChosen) cutDetection(ctx, result.controls);
  return finished(result, "mHeight");
}

StepResult PaperSteppers::paperTabLengthDetec(DialogContext& ctx, double value) {
  ScanSetting& r = ctx.record();
  DialogGlobals& g = ctx.globals;
  const uint8_t unit = r.bPaperSizeUnit;
  const bool up = value > mfLengthDetect;
  mfLengthDetect = value;
  const int64_t step = unit == kUnitInch ? 3 : 1;
  if (unit != kUnitMillimetre) g.mMilimeterFlagLengthDetect = 0;
  const int64_t v = r.wLengthDetectionValue;
  const int64_t next = up ? v + step : v - step;
  if (next < 0) return refusedWith();
  if (up && r.wYPos + r.wLength + next > static_cast<int64_t>(ctx.ability().adfMaxLength())) {
    return refusedWith();
  }
  StepResult result;
  if (unit == kUnitMillimetre) {
    g.mmLD = stepTenth(g.mmLD, up);
    r.wLengthDetectionValue =
        saturate<uint16_t>(convertedSize(g.mmLD, next, kUnitMillimetre, kBaseResolution));
  } else {
    r.wLengthDetectionValue = saturate<uint16_t>(next);
  }
  result.controls.detectionText = detectionText(unit, r.wLengthDetectionValue, g.mmLD);
  result.controls.switch2CustomProfile = true;
  return result;
}

PaperControls stop4MultiFeed(DialogContext& ctx, const MultiFeedBoxes& boxes) {
  ScanSetting& r = ctx.record();
  DialogGlobals& g = ctx.globals;
  PaperControls c;
  r.bLengthDetection = boxes.lengthDetection;
  r.bUltrasonic = boxes.ultrasonic;
  r.bStopAfterMultefeed = boxes.stopAfterMultifeed;
  bool detectionOn = boxes.lengthDetection;
  c.detectionFieldEnabled = detectionOn;
  if (detectionOn) {
    if (g.goNextTextFiled == kFieldTimeOut) g.goNextTextFiled = kFieldDetection;
    if (g.goBackNextTextFiled == kFieldLength) g.goBackNextTextFiled = kFieldDetection;
  } else {
    if (g.goNextTextFiled == kFieldDetection) g.goNextTextFiled = kFieldTimeOut;
    if (g.goBackNextTextFiled == kFieldDetection) g.goBackNextTextFiled = kFieldLength;
  }
  const AbilityView a = ctx.ability();
  if (r.wLength > std::max({a.flatbedMaxLength(), a.adfMaxLength(), kLongestStandardLength})) {
    c.detectionBoxOn = false;
    c.detectionBoxEnabled = false;
    c.detectionFieldEnabled = false;
    detectionOn = false;
  }
  const bool any = detectionOn || boxes.ultrasonic;
  c.stopScanEnabled = any;
  c.alarmButtonsEnabled = any;
  c.switch2CustomProfile = true;
  return c;
}

PaperControls paperTabCarrierSheetMode(DialogContext& ctx, bool on) {
  ScanSetting& r = ctx.record();
  PaperControls c;
  if (on) {
    c.ultrasonicOn = false;
    c.ultrasonicEnabled = false;
    r.bUltrasonic = 0;
    c.stopScanEnabled = false;
    r.bStopAfterMultefeed = 0;
    r.bCarrierSheet = 1;
  } else {
    c.ultrasonicEnabled = true;
    r.bCarrierSheet = 0;
  }
  c.switch2CustomProfile = true;
  return c;
}

}  // namespace ferrolite::dialog
