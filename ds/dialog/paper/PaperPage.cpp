#include "ds/dialog/paper/PaperPage.h"

#include <algorithm>

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/preview/PreviewGeometry.h"
#include "ds/scan/records/LongPageModels.h"

namespace ferrolite::dialog {

namespace {
bool noArea(uint8_t pageId) { return pageId == kPageAutomatic || pageId == kPageMultiCrop; }

// The four size texts in the record's unit; millimetres also become the bridge's values.
void showArea(DialogContext& ctx, PaperControls& c, std::optional<int64_t> lengthShown = {}) {
  const ScanSetting& r = ctx.record();
  const uint32_t res = ctx.bridge.currentRes;
  const int64_t length = lengthShown.value_or(r.wLength);
  c.xText = unitText(r.bPaperSizeUnit, r.wXPos, res);
  c.yText = unitText(r.bPaperSizeUnit, r.wYPos, res);
  c.widthText = unitText(r.bPaperSizeUnit, r.wWidth, res);
  c.lengthText = unitText(r.bPaperSizeUnit, length, res);
}

void setBridgeValues(DialogContext& ctx, int64_t length) {
  const ScanSetting& r = ctx.record();
  BridgeObject_V2& b = ctx.bridge;
  setBridgeMillimetres(b, r.wXPos, r.wYPos, r.wWidth, length);
  ctx.globals.mmLD = mmValue(r.wLengthDetectionValue);
  setBridgePixels(b, b.currentRes, r.wXPos, r.wYPos, r.wWidth, length);
}

void setMillimetreFlags(DialogGlobals& g, int32_t value) {
  g.mMilimeterFlagX = g.mMilimeterFlagY = g.mMilimeterFlagW = g.mMilimeterFlagH = value;
  g.mMilimeterFlagLengthDetect = value;
}

// Flatbed: no length detection, no ultrasonic detection, no alarm.
void flatbedOff(PaperControls& c) {
  c.detectionBoxOn = false;
  c.detectionBoxEnabled = false;
  c.detectionFieldEnabled = false;
  c.ultrasonicOn = false;
  c.ultrasonicEnabled = false;
  c.alarmButtonsEnabled = false;
}

void detectionOff(PaperControls& c) {
  c.detectionBoxOn = false;
  c.detectionBoxEnabled = false;
  c.detectionFieldEnabled = false;
}

uint32_t longPageBound(const AbilityView& a) {
  return std::max({a.flatbedMaxLength(), a.adfMaxLength(), kLongestStandardLength});
}
}  // namespace

std::string detectionText(uint8_t unit, int64_t detection, float mmLD) {
  if (unit == kUnitMillimetre) return mmText(mmLD);
  if (unit == kUnitPixel) return std::to_string(detection);
  return unitText(unit, detection, kBaseResolution);
}

PaperControls paperTabPaperSelect(DialogContext& ctx, const PaperTbl& table,
                                  LongPageState& longPage, std::optional<int64_t> chosenId,
                                  const PaperPageInputs& inputs) {
  ScanSetting& r = ctx.record();
  const AbilityView ability = ctx.ability();
  const uint32_t aw = ability.adfMaxWidth();
  const uint32_t al = ability.adfMaxLength();
  const uint32_t maxLong = ctx.extra.maxLongLength;
  PaperControls c;
  if (chosenId) {
    if (*chosenId == r.bPaperSize) {
      c.applied = false;
      return c;
    }
    r.bPaperSize = saturate<uint8_t>(*chosenId);
  }
  setMillimetreFlags(ctx.globals, r.bPaperSizeUnit == kUnitMillimetre ? 1 : 0);
  const uint8_t id = r.bPaperSize;

  const PaperTblRow* row = nullptr;
  for (const PaperTblRow& candidate : table.rows) {
    if (candidate.pageId == id) {
      row = &candidate;
      break;
    }
  }
  if (id == kPageLong) {
    if (halvesDuplexLongPage(inputs.usbID) && inputs.duplexChecked) {
      longPage.mfSaveLongPageLength = std::min<double>(longPage.mfSaveLongPageLength, maxLong / 2);
    }
    longPage.mfSaveLongPageLength = std::min<double>(longPage.mfSaveLongPageLength, maxLong);
    r.wWidth = saturatingTrunc<uint16_t>(longPage.mfSaveLongPageWidth);
    r.wLength = saturatingTrunc<uint16_t>(longPage.mfSaveLongPageLength);
    c.portraitSelected = true;
    c.landscapeEnabled = false;
    r.bPaperDirection = 0;
    c.changePaperSizeByResolution = true;
  } else if (row) {
    r.wWidth = static_cast<uint16_t>(row->width);
    r.wLength = static_cast<uint16_t>(row->length);
    if (r.wLength > aw) {
      c.portraitSelected = true;
      c.landscapeEnabled = false;
      r.bPaperDirection = 0;
    } else {
      c.landscapeEnabled = true;
      if (r.bPaperDirection == 1) std::swap(r.wWidth, r.wLength);
    }
  }
  if (id == kPageCustom) {
    c.landscapeEnabled = false;
    r.wLength = saturate<uint16_t>(std::min<uint32_t>(r.wLength, al));
  }
  if (r.wWidth == 0 || r.wWidth == 0xFFFF) r.wWidth = saturate<uint16_t>(aw);
  if (r.wLength == 0 || r.wLength == 0xFFFF) r.wLength = saturate<uint16_t>(al);
  if (r.wLength == 11400 || r.wLength == maxLong || id == kPageLong) {
    r.wLength = saturate<uint16_t>(maxLong);
    r.dwLongWidth = r.wWidth;
    r.dwLongLength = std::min(r.dwLongLength, maxLong);
  }
  if (id != kPageCustom) placeOnSource(r, ability, ctx.extra);

  const int64_t lengthShown =
      id == kPageLong ? saturatingTrunc(longPage.mfSaveLongPageLength, 0, UINT32_MAX) : r.wLength;
  setBridgeValues(ctx, lengthShown);
  showArea(ctx, c, lengthShown);
  c.detectionFieldEnabled = r.wLength < al;

  const bool flatbed = isFlatbedSource(r.bScanSource);
  bool detectionOn = r.bLengthDetection != 0;
  if (noArea(id)) {
    c.sizeControlsEnabled = false;
    detectionOff(c);
    detectionOn = false;
    c.stopScanEnabled = r.bUltrasonic != 0;
    c.carrierSheetShown = !flatbed && !ctx.extra.hideCarrierSheet;
  } else {
    c.sizeControlsEnabled = true;
    c.detectionBoxOn = detectionOn;
    c.detectionBoxEnabled = true;
    c.detectionFieldEnabled = true;
    c.stopScanEnabled = r.bUltrasonic != 0 || detectionOn;
    if (r.wLength == maxLong) c.offsetControlsEnabled = false;
    c.carrierSheetShown = false;
  }
  if (flatbed) {
    flatbedOff(c);
    detectionOn = false;
  }
  if (r.wLength <= longPageBound(ability)) {
    const int64_t limit = std::max<int64_t>(0, static_cast<int64_t>(al) - r.wLength);
    if (r.wLengthDetectionValue + r.wLength > static_cast<int64_t>(al)) {
      r.wLengthDetectionValue = saturate<uint16_t>(limit);
    }
  } else {
    r.wLengthDetectionValue = 0;
    detectionOff(c);
    detectionOn = false;
  }
  c.detectionText = detectionText(r.bPaperSizeUnit, r.wLengthDetectionValue, ctx.globals.mmLD);
  if (id == kPageLong) {
    c.detectionFieldEnabled = false;
    c.offsetControlsEnabled = false;
  }
  c.detectionFieldEnabled = detectionOn;
  c.previewRect = true;
  c.switch2CustomProfile = true;
  return c;
}

PaperControls paperTabPaperUnitSelect(DialogContext& ctx, std::optional<uint8_t> unit) {
  ScanSetting& r = ctx.record();
  DialogGlobals& g = ctx.globals;
  BridgeObject_V2& b = ctx.bridge;
  PaperControls c;
  if (unit) r.bPaperSizeUnit = *unit;
  const int64_t length = r.bPaperSize == kPageLong ? r.dwLongLength : r.wLength;
  showArea(ctx, c, length);
  if (r.bPaperSizeUnit == kUnitMillimetre) {
    // A millimetre value the user typed survives redisplay on a custom page.
    const bool keepTyped = r.bPaperSize == kPageCustom;
    auto side = [&](int32_t& flag, float& mm, int64_t v, std::optional<std::string>& text) {
      if (!flag) {
        mm = mmValue(v);
        flag = 1;
      }
      if (keepTyped) text = mmText(mm);
    };
    side(g.mMilimeterFlagX, b.mmX, r.wXPos, c.xText);
    side(g.mMilimeterFlagY, b.mmY, r.wYPos, c.yText);
    side(g.mMilimeterFlagW, b.mmW, r.wWidth, c.widthText);
    side(g.mMilimeterFlagH, b.mmH, length, c.lengthText);
    if (!g.mMilimeterFlagLengthDetect) {
      g.mmLD = mmValue(r.wLengthDetectionValue);
      g.mMilimeterFlagLengthDetect = 1;
    }
  } else if (r.bPaperSizeUnit == kUnitPixel) {
    setBridgePixels(b, b.currentRes, r.wXPos, r.wYPos, r.wWidth, length);
  }
  c.detectionText = detectionText(r.bPaperSizeUnit, r.wLengthDetectionValue, g.mmLD);
  c.rulerUnit = rulerUnitOfPaperUnit(r.bPaperSizeUnit);
  c.previewRect = true;
  bool detectionOn = r.bLengthDetection != 0;
  if (isFlatbedSource(r.bScanSource)) {
    flatbedOff(c);
    detectionOn = false;
  }
  c.detectionFieldEnabled = detectionOn;
  if (g.gDoPaperTabInit) {
    g.gDoPaperTabInit = false;
  } else {
    c.switch2CustomProfile = true;
  }
  return c;
}

PaperPageBuild doPaperTabInit(DialogContext& ctx, LongPageState& longPage) {
  ScanSetting& r = ctx.record();
  const AbilityView ability = ctx.ability();
  const uint32_t al = ability.adfMaxLength();
  PaperPageBuild build;
  PaperControls& c = build.controls;
  c.portraitSelected = r.bPaperDirection == 0;
  c.ultrasonicEnabled = r.bCarrierSheet == 0;
  bool detectionOn = r.bLengthDetection != 0;
  bool ultrasonicOn = r.bUltrasonic != 0;
  build.mDetectLengthLimit = static_cast<int64_t>(al) - r.wLength;
  if (build.mDetectLengthLimit < 1) r.wLengthDetectionValue = 0;

  ctx.globals.gDoPaperTabInit = true;
  const PaperControls unit = paperTabPaperUnitSelect(ctx, std::nullopt);
  c.xText = unit.xText;
  c.yText = unit.yText;
  c.widthText = unit.widthText;
  c.lengthText = unit.lengthText;
  c.detectionText = unit.detectionText;
  c.rulerUnit = unit.rulerUnit;
  c.previewRect = true;

  c.landscapeEnabled = r.wLength <= ability.adfMaxWidth() && r.bPaperSize < kPageCustom;
  const std::string alarm(r.strAlarm.view());
  build.alarmName =
      alarm.substr(alarm.find_last_of('/') == std::string::npos ? 0 : alarm.find_last_of('/') + 1);

  const bool flatbed = isFlatbedSource(r.bScanSource);
  if (noArea(r.bPaperSize)) {
    c.sizeControlsEnabled = false;
    c.carrierSheetShown = !flatbed && !ctx.extra.hideCarrierSheet;
  } else {
    c.sizeControlsEnabled = true;
    c.carrierSheetShown = false;
  }
  if (r.bPaperSize == kPageLong) {
    c.offsetControlsEnabled = false;
    longPage.mfSaveLongPageLength = r.dwLongLength;
  }
  if (r.wLength > longPageBound(ability) || flatbed || noArea(r.bPaperSize)) {
    detectionOff(c);
    detectionOn = false;
  } else {
    c.detectionBoxOn = detectionOn;
    c.detectionBoxEnabled = true;
    c.detectionFieldEnabled = true;
  }
  if (build.mDetectLengthLimit < 1) c.detectionFieldEnabled = false;
  if (flatbed) {
    flatbedOff(c);
    ultrasonicOn = false;
  } else {
    c.ultrasonicOn = ultrasonicOn;
  }
  c.stopScanEnabled = ultrasonicOn || detectionOn;
  c.alarmButtonsEnabled = ultrasonicOn || detectionOn;
  return build;
}

PaperControls paperTabProtraitLandscape(DialogContext& ctx, int64_t column) {
  ScanSetting& r = ctx.record();
  const AbilityView ability = ctx.ability();
  PaperControls c;
  const uint8_t direction = column != 0 ? 1 : 0;
  if (direction != r.bPaperDirection) {
    r.bPaperDirection = direction;
    std::swap(r.wWidth, r.wLength);
    const uint32_t al = ability.adfMaxLength();
    if (r.wYPos + r.wLength > static_cast<int64_t>(al)) {
      r.wYPos = saturate<uint16_t>(static_cast<int64_t>(al) - r.wLength);
    }
    if (isFlatbedSource(r.bScanSource) || ctx.extra.adfAlignment) {
      r.wXPos = 0;
    } else {
      r.wXPos = saturate<uint16_t>((static_cast<int64_t>(ability.adfMaxWidth()) - r.wWidth) / 2);
    }
    c = paperTabPaperUnitSelect(ctx, std::nullopt);
    c.switch2CustomProfile = true;
  }
  return c;
}

PaperControls checkPortraitLandscape(DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  PaperControls c;
  if (r.wLength >= ctx.ability().adfMaxWidth() || r.bPaperSize == kPageCustom) {
    r.bPaperDirection = 0;
    c.landscapeEnabled = false;
    c.portraitSelected = true;
  } else {
    c.landscapeEnabled = true;
  }
  return c;
}

}  // namespace ferrolite::dialog
