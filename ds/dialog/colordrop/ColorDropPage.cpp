#include "ds/dialog/colordrop/ColorDropPage.h"

#include "ds/dialog/Units.h"

namespace ferrolite::dialog {

namespace {
constexpr float kMidGrey = 128.0f / 255.0f;

bool isGray(int64_t m) { return m == 2 || m == 3; }
bool isBW(int64_t m) { return m == 4 || m == 5; }
bool isColor(int64_t m) { return m == 0 || m == 1; }
bool isChannel(uint8_t dropMode) { return dropMode >= kDropRed && dropMode <= kDropBlue; }

WellColour customWell(const DropSide& s) {
  return {s.red / 255.0f, s.green / 255.0f, s.blue / 255.0f, 1.0f};
}

// The binarization controls of the image page for the side.
void binarizationRule(ScanSetting& r, int64_t mode, const DropSide& s, ColorDropControls& c) {
  if (s.advance && s.mode != kDropNone) {
    c.binarization = false;
    c.thresholdSlider = false;
    return;
  }
  c.binarization = true;
  if (isGray(mode)) {
    c.thresholdSlider = (mode == 2 ? r.bFGrayQuality : r.bRGrayQuality) == 0;
  } else {
    c.thresholdSlider = (mode == 4 ? r.bFBinaryProcess : r.bRBinaryProcess) < 2;
  }
}

bool filterRule(const DropSide& s) { return s.advance == 1 && s.quality != 0; }

// Everything off: the colour and automatic-colour sides.
void allOff(ColorDropControls& c, bool backgroundLevelToo) {
  c.dropOut = false;
  c.advancedEnabled = false;
  c.quality = false;
  c.filter = false;
  if (backgroundLevelToo) c.backgroundLevel = false;
  c.colourSliders = false;
  c.well = WellColour{kMidGrey, kMidGrey, kMidGrey, 1.0f};
}

// The Custom row, alike in both tables and for refresh and change.
void customRow(const DropSide& s, bool gray, PreviewState preview, ColorDropControls& c) {
  s.advance = 1;
  c.advancedChecked = true;
  c.advancedEnabled = false;
  c.quality = false;
  c.filter = false;
  c.backgroundLevel = gray;
  c.colourSliders = true;
  c.customControlsShown = true;
  c.resultButtonsEnabled = preview.previewFileExists && preview.drawerOpen;
  c.mRedValue = s.red;
  c.mGreenValue = s.green;
  c.mBlueValue = s.blue;
}

void hiddenCustomControls(ColorDropControls& c) {
  c.colourSliders = false;
  c.customControlsShown = false;
}
}  // namespace

std::optional<DropSide> dropSideOf(ScanSetting& r, int64_t mode) {
  switch (mode) {
    case 2:
      return DropSide{r.bFGColorDropOut,    r.bFGAdvanceProcess, r.bFGAdvDropQuality,
                      r.bFGFilterThreshold, r.bFGCustomR,        r.bFGCustomG,
                      r.bFGCustomB};
    case 3:
      return DropSide{r.bRGColorDropOut,    r.bRGAdvanceProcess, r.bRGAdvDropQuality,
                      r.bRGFilterThreshold, r.bRGCustomR,        r.bRGCustomG,
                      r.bRGCustomB};
    case 4:
      return DropSide{r.bFBColorDropOut,    r.bFBAdvanceProcess, r.bFBAdvDropQuality,
                      r.bFBFilterThreshold, r.bFBCustomR,        r.bFBCustomG,
                      r.bFBCustomB};
    case 5:
      return DropSide{r.bRBColorDropOut,    r.bRBAdvanceProcess, r.bRBAdvDropQuality,
                      r.bRBFilterThreshold, r.bRBCustomR,        r.bRBCustomG,
                      r.bRBCustomB};
    default:
      return std::nullopt;
  }
}

ColorDropBuild doColorDropTabInit(DialogContext& ctx) {
  ColorDropBuild build;
  ctx.globals.gPreviewResult = false;
  if (ctx.extra.advColorDropOn) {
    ScanSetting& r = ctx.record();
    build.advancedHidden = true;
    r.bFGAdvanceProcess = r.bRGAdvanceProcess = r.bFBAdvanceProcess = r.bRBAdvanceProcess = 1;
    build.mAdvanceState = 1;
  }
  return build;
}

ColorDropControls setColorDropTabItems(DialogContext& ctx, int64_t mode, PreviewState preview) {
  ScanSetting& r = ctx.record();
  ColorDropControls c;
  c.resultButtonsEnabled = false;
  const std::optional<DropSide> side = dropSideOf(r, mode);
  if (!side) {
    allOff(c, isColor(mode));
    return c;
  }
  const DropSide& s = *side;
  const bool gray = isGray(mode);
  c.dropOut = true;
  c.dropOutSelected = s.mode;
  c.filterMaximum = kFilterThresholdMaximum;
  c.qualitySelected = s.quality;
  binarizationRule(r, mode, s, c);
  if (gray) {
    c.advancedEnabled = true;
    c.advancedChecked = s.advance != 0;
  } else {
    c.mBackLevelValue = 0;
  }
  c.mFilterThresh = s.filter;
  c.mRedValue = s.red;
  c.mGreenValue = s.green;
  c.mBlueValue = s.blue;
  c.well = customWell(s);

  const bool checked = s.advance != 0;
  if (s.mode == kDropNone) {
    c.advancedEnabled = false;
    c.advancedChecked = checked;
    c.quality = false;
    c.filter = false;
    c.backgroundLevel = gray && checked;
    hiddenCustomControls(c);
  } else if (isChannel(s.mode)) {
    c.advancedEnabled = true;
    c.advancedChecked = checked;
    c.quality = gray ? checked : s.advance == 1;
    c.filter = filterRule(s);
    c.backgroundLevel = false;
    hiddenCustomControls(c);
  } else if (s.mode == kDropCustom) {
    customRow(s, gray, preview, c);
  } else if (s.mode == kDropAutomatic) {
    c.advancedEnabled = false;
    // A black-and-white side shows the box checked without touching the field.
    c.advancedChecked = gray ? checked : true;
    c.quality = gray ? checked : true;
    c.filter = filterRule(s);
    c.backgroundLevel = false;
    hiddenCustomControls(c);
  }
  c.eyeDropperReset = s.mode != kDropCustom;
  return c;
}

ColorDropControls colorDropColor(DialogContext& ctx, int64_t mode, int64_t mColorDropout,
                                 PreviewState preview) {
  ScanSetting& r = ctx.record();
  ColorDropControls c;
  c.customControlsShown = false;
  const std::optional<DropSide> side = dropSideOf(r, mode);
  c.resultButtonsEnabled = false;
  if (!side) {
    if (isColor(mode)) c.quality = false;
    return c;
  }
  const DropSide& s = *side;
  const bool gray = isGray(mode);
  s.mode = static_cast<uint8_t>(mColorDropout);
  binarizationRule(r, mode, s, c);
  c.mFilterThresh = s.filter;
  if (s.mode == kDropNone) {
    c.advancedEnabled = false;
    c.quality = false;
    c.filter = false;
    c.backgroundLevel = gray && s.advance == 1;
    hiddenCustomControls(c);
  } else if (isChannel(s.mode)) {
    c.advancedEnabled = true;
    c.advancedChecked = s.advance != 0;
    c.quality = s.advance == 1;
    c.filter = filterRule(s);
    c.backgroundLevel = false;
    hiddenCustomControls(c);
  } else if (s.mode == kDropCustom) {
    customRow(s, gray, preview, c);
  } else if (s.mode == kDropAutomatic) {
    s.advance = 1;
    c.advancedChecked = true;
    c.advancedEnabled = false;
    c.quality = true;
    c.filter = s.quality != 0;
    c.backgroundLevel = false;
    hiddenCustomControls(c);
  }
  if (s.mode == kDropCustom || s.mode == kDropAutomatic) {
    c.binarization = false;
    c.thresholdSlider = false;
  }
  c.eyeDropperReset = s.mode != kDropCustom;
  return c;
}

ColorDropControls colorDropAdvanveState(DialogContext& ctx, int64_t mode, int64_t mAdvanceState) {
  ColorDropControls c;
  const std::optional<DropSide> side = dropSideOf(ctx.record(), mode);
  if (!side) return c;
  const DropSide& s = *side;
  s.advance = static_cast<uint8_t>(mAdvanceState);
  c.binarization = c.thresholdSlider = s.advance == 0;
  if (isBW(mode) && s.mode <= kDropBlue) c.mFilterThresh = s.filter;
  if (isGray(mode)) c.backgroundLevel = mAdvanceState == 1;
  c.filter = false;
  c.quality = false;
  if (s.mode != kDropNone && s.mode != kDropCustom && mAdvanceState == 1) {
    c.quality = true;
    c.filter = s.quality != 0;
  }
  return c;
}

ColorDropControls colorDropColorMode(DialogContext& ctx, int64_t mode, int64_t index) {
  ColorDropControls c;
  const std::optional<DropSide> side = dropSideOf(ctx.record(), mode);
  if (!side) return c;
  side->quality = static_cast<uint8_t>(index);
  c.filter = side->quality != 0 && side->advance != 0;
  return c;
}

void colorDropFilterThresh(DialogContext& ctx, int64_t mode, int64_t dropOutIndex,
                           int64_t mFilterThresh) {
  const std::optional<DropSide> side = dropSideOf(ctx.record(), mode);
  if (side && dropOutIndex >= kDropRed && dropOutIndex <= kDropAutomatic) {
    side->filter = static_cast<uint8_t>(mFilterThresh);
  }
}

WellColour colorDropColourSliders(DialogContext& ctx, int64_t mode, int64_t red, int64_t green,
                                  int64_t blue) {
  if (const std::optional<DropSide> side = dropSideOf(ctx.record(), mode)) {
    side->red = static_cast<uint8_t>(red);
    side->green = static_cast<uint8_t>(green);
    side->blue = static_cast<uint8_t>(blue);
  }
  return {static_cast<float>(red) / 255.0f, static_cast<float>(green) / 255.0f,
          static_cast<float>(blue) / 255.0f, 1.0f};
}

bool colorDropScanModeClick(std::vector<ScanModeSideSetting>& rows, ScanSetting& record,
                            bool duplex) {
  return reconcileModeSideRows(rows, record, duplex);
}

}  // namespace ferrolite::dialog
