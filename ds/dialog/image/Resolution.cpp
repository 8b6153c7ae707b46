#include "ds/dialog/image/Resolution.h"

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/image/ModeSideRows.h"

namespace ferrolite::dialog {

namespace {
constexpr char kMinimumText[] = "72";

uint16_t& editedResolution(DialogContext& ctx) {
  return resolutionOfMode(ctx.record(), ctx.bridge.mScanModeSideSelect);
}

Post resolutionPost(int64_t value) { return Post(note::kResolutionInput, {{"resolution", value}}); }
}  // namespace

FieldResult resolutionFieldChanged(std::string_view /*before*/, std::string_view after,
                                   DialogContext& ctx) {
  FieldResult result;
  if (after.empty()) return result;
  std::string text(after);
  if (text.size() == 1) {
    if (!isNonZeroDigit(text[0])) text = kMinimumText;
  } else {
    text = digitsOnly(text);
    if (intValue(text) > kTypingResolutionLimit) text.pop_back();
  }
  if (text != after) result.editorText = text;
  const int32_t value = intValue(text);
  editedResolution(ctx) = saturate<uint16_t>(value);
  if (value >= kMinimumResolution && value <= kTypingResolutionLimit) {
    result.posts.push_back(resolutionPost(value));
  }
  return result;
}

std::optional<std::string> resolutionFieldShouldEnd(std::string_view text, DialogContext& ctx) {
  if (!text.empty()) return std::nullopt;
  return std::to_string(editedResolution(ctx));
}

FieldResult resolutionFieldEnded(std::string_view text, DialogContext& ctx) {
  FieldResult result;
  const int32_t value = intValue(text);
  if (value >= kLowestKeptResolution && value <= kTypingResolutionLimit) {
    editedResolution(ctx) = static_cast<uint16_t>(value);
    return result;
  }
  editedResolution(ctx) = kMinimumResolution;
  if (text != kMinimumText) result.editorText = kMinimumText;
  result.posts.push_back(resolutionPost(kMinimumResolution));
  return result;
}

ResolutionChange resolutionInput(DialogContext& ctx, int64_t resolution) {
  ResolutionChange change;
  change.mResValue = resolution;
  change.presetIndex = presetIndexOf(resolution);
  ctx.bridge.currentRes = saturate<uint32_t>(resolution);
  change.pointsUnit = ctx.record().bPaperSizeUnit == kUnitPixel;
  return change;
}

ResolutionChange resolutionPopupChosen(DialogContext& ctx, int index, int64_t mResValue) {
  ResolutionChange change;
  change.mResValue = mResValue;
  change.presetIndex = index;
  if (index >= 0 && index < kResolutionPresetCount) {
    change.mResValue = kResolutionPresets[index];
    change.fieldText = std::to_string(change.mResValue);
    editedResolution(ctx) = kResolutionPresets[index];
  }
  ctx.bridge.currentRes = saturate<uint32_t>(change.mResValue);
  change.pointsUnit = ctx.record().bPaperSizeUnit == kUnitPixel;
  return change;
}

int resolutionStepped(DialogContext& ctx, int64_t value) {
  editedResolution(ctx) = saturate<uint16_t>(value);
  return presetIndexOf(value);
}

std::optional<PixelFigures> changePixelByResolution(DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  if (r.bPaperSizeUnit != kUnitPixel) return std::nullopt;
  BridgeObject_V2& b = ctx.bridge;
  const uint32_t res = editedResolution(ctx);
  setBridgePixels(b, res, r.wXPos, r.wYPos, r.wWidth, r.wLength);
  return PixelFigures{std::to_string(b.mPixelX), std::to_string(b.mPixelY),
                      std::to_string(b.mPixelW), std::to_string(b.mPixelH)};
}

bool checkOldAvapiPaperSize(DialogContext& ctx, const ImageTypeButtons& buttons) {
  if (ctx.globals.gUINewKrapi) return false;
  ScanSetting& r = ctx.record();
  auto checked = [&buttons](std::initializer_list<int> modes) {
    for (int m : modes) {
      if (buttons.check(ImageRow::Image, m).on) return true;
    }
    return false;
  };
  constexpr uint16_t kHighResolution = 300;
  const bool trigger = (r.wColorRes > kHighResolution && checked({6, 7, 0, 1})) ||
                       (r.wGrayRes > kHighResolution && checked({2, 3})) ||
                       (r.wBWRes > kHighResolution && checked({4, 5}));
  if (!trigger || r.bPaperSize != kPageLong) return false;
  r.bPaperSize = kPageCustom;
  r.wLength = saturate<uint16_t>(ctx.ability().adfMaxLength());
  return true;
}

std::optional<PaperSizeInitial> paperSizeInitial(DialogContext& ctx, PaperTbl& table,
                                                 LongPageState& longPage,
                                                 const LanguageBundle& language,
                                                 bool settingsFileExists) {
  if (!ctx.globals.gUINewKrapi) return std::nullopt;
  ScanSetting& r = ctx.record();
  PaperSizeInitial result;
  result.list = scanPageInit(ctx, table, longPage, language, settingsFileExists);
  result.selected = paperListIndexOf(result.list, r.bPaperSize);
  const bool longPageChosen = r.bPaperSize == kPageLong;
  if (longPageChosen && ctx.extra.maxLongLength != 0 && r.dwLongLength > ctx.extra.maxLongLength) {
    r.dwLongLength = ctx.extra.maxLongLength;
  }
  const int64_t length = longPageChosen ? r.dwLongLength : r.wLength;
  result.lengthText = unitText(r.bPaperSizeUnit, length, ctx.bridge.currentRes);
  return result;
}

}  // namespace ferrolite::dialog
