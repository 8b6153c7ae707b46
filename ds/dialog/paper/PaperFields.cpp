#include "ds/dialog/paper/PaperFields.h"

#include <algorithm>

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/paper/PaperPage.h"
#include "ds/dialog/paper/PaperSteppers.h"

namespace ferrolite::dialog {

namespace {
constexpr std::size_t kFractionLimit = 40;  // characters from the point on

struct Filtered {
  std::string text;
  bool removed = false;   // the editor's text is to be replaced
  bool examined = false;  // a character was looked at: the change flag
};

// Digits and the first point stay; anything else goes. A text whose fraction (the point
// counted) reaches 40 characters loses its last one; at most maxDecimals follow the point.
Filtered sizeFilter(std::string_view text, std::size_t maxDecimals = std::string::npos) {
  Filtered f{std::string(text)};
  std::string& s = f.text;
  std::size_t point = std::string::npos;
  bool endedByRemoval = false;
  for (std::size_t i = 0; i < s.size();) {
    f.examined = true;
    if (isDigit(s[i]) || (s[i] == '.' && point == std::string::npos)) {
      if (s[i] == '.') point = i;
      ++i;
      continue;
    }
    s.erase(i, 1);
    f.removed = true;
    if (i == s.size()) {
      endedByRemoval = true;
      break;
    }
  }
  if (!endedByRemoval && point != std::string::npos && s.size() - point >= kFractionLimit) {
    s.pop_back();
    f.removed = true;
  }
  if (point != std::string::npos && s.size() - point - 1 > maxDecimals) {
    s.resize(point + 1 + maxDecimals);
    f.removed = true;
  }
  return f;
}

// Hundredths of an inch of an offset's text: the whole part and at most two decimals.
int64_t offsetHundredths(const std::string& text) {
  const std::size_t point = text.find('.');
  const std::string whole = digitsOnly(text.substr(0, point));
  std::string fraction = point == std::string::npos ? "" : digitsOnly(text.substr(point + 1));
  fraction.resize(std::min<std::size_t>(fraction.size(), 2));
  int64_t hundredths = std::min<int64_t>(intValue(whole), INT32_MAX) * 100;
  if (fraction.size() == 1) hundredths += (fraction[0] - '0') * 10;
  if (fraction.size() == 2) hundredths += intValue(fraction);
  return hundredths;
}

struct Side {
  int32_t* flag;
  float* mm;
  uint32_t* pixels;
};

Side sideOf(PaperField field, DialogContext& ctx) {
  BridgeObject_V2& b = ctx.bridge;
  DialogGlobals& g = ctx.globals;
  switch (field) {
    case PaperField::XOffset:
      return {&g.mMilimeterFlagX, &b.mmX, &b.mPixelX};
    case PaperField::YOffset:
      return {&g.mMilimeterFlagY, &b.mmY, &b.mPixelY};
    case PaperField::Width:
      return {&g.mMilimeterFlagW, &b.mmW, &b.mPixelW};
    default:
      return {&g.mMilimeterFlagH, &b.mmH, &b.mPixelH};
  }
}

bool longPage(const ScanSetting& r) { return r.bPaperSize == kPageLong; }

// The record value a size field writes.
int64_t storedValue(PaperField field, const ScanSetting& r) {
  switch (field) {
    case PaperField::XOffset:
      return r.wXPos;
    case PaperField::YOffset:
      return r.wYPos;
    case PaperField::Width:
      return r.wWidth;
    default:
      return longPage(r) ? r.dwLongLength : r.wLength;
  }
}

void store(PaperField field, ScanSetting& r, int64_t v) {
  switch (field) {
    case PaperField::XOffset:
      r.wXPos = saturate<uint16_t>(v);
      break;
    case PaperField::YOffset:
      r.wYPos = saturate<uint16_t>(v);
      break;
    case PaperField::Width:
      r.wWidth = saturate<uint16_t>(v);
      break;
    default:
      if (longPage(r)) {
        r.dwLongLength = saturate<uint32_t>(v);
      } else {
        r.wLength = saturate<uint16_t>(v);
      }
  }
}

// The bridge's millimetre and pixel values of a side from a record value.
void recompute(const Side& side, int64_t v, uint32_t res) {
  *side.mm = mmValue(v);
  *side.pixels = saturate<uint32_t>(pixelsOf(v, res));
}

std::string shownText(PaperField field, DialogContext& ctx) {
  const ScanSetting& r = ctx.record();
  const Side side = sideOf(field, ctx);
  switch (r.bPaperSizeUnit) {
    case kUnitMillimetre:
      return mmText(*side.mm);
    case kUnitPixel:
      return std::to_string(*side.pixels);
    default:
      return unitText(r.bPaperSizeUnit, storedValue(field, r), ctx.bridge.currentRes);
  }
}

// The focus tail: Tab and Back-tab store the field to go to and post; other endings ask for
// the orientation check.
void focusTail(PaperField field, TextMovement movement, DialogGlobals& g, Posts& posts) {
  struct Targets {
    int32_t next, back;  // 0: unchanged
  };
  static constexpr Targets kTargets[] = {{2, 6}, {3, 1}, {4, 0}, {0, 3}, {6, 4}, {0, 0}};
  const Targets t = kTargets[static_cast<int>(field)];
  if (movement == TextMovement::Tab) {
    if (t.next) g.goNextTextFiled = t.next;
    posts.push_back(Post(note::kTextFieldMovement));
  } else if (movement == TextMovement::BackTab) {
    if (t.back) g.goBackNextTextFiled = t.back;
    posts.push_back(Post(note::kTextFieldBackMovement));
  } else {
    posts.push_back(Post(note::kLandScapeAndPortraitCheck));
  }
}

PaperFieldResult sizeChanged(PaperField field, std::string_view after, DialogContext& ctx,
                             PaperFieldFlags& flags) {
  ScanSetting& r = ctx.record();
  PaperFieldResult result;
  bool& changeFlag = flags.of(field);
  changeFlag = false;
  const uint8_t unit = r.bPaperSizeUnit;
  const bool inchOffset =
      unit == kUnitInch && (field == PaperField::XOffset || field == PaperField::YOffset);
  const Filtered f = sizeFilter(after, inchOffset ? 2 : std::string::npos);
  changeFlag = f.examined;
  if (f.removed) result.field.editorText = f.text;
  const Side side = sideOf(field, ctx);
  if (unit != kUnitMillimetre) *side.flag = 0;
  // An empty field stores nothing until its editing ends.
  if (f.text.empty()) return result;
  const double value = doubleValue(f.text);
  switch (unit) {
    case kUnitInch:
      store(field, r, inchOffset ? offsetHundredths(f.text) * 3 : fromInches(value));
      break;
    case kUnitMillimetre:
      *side.mm = static_cast<float>(value);
      store(field, r, fromMillimetres(value));
      break;
    case kUnitPixel: {
      const int64_t pixels = saturatingTrunc(value, 0, UINT32_MAX);
      *side.pixels = static_cast<uint32_t>(pixels);
      store(field, r, fromPixels(pixels, ctx.bridge.currentRes));
      break;
    }
    default:
      break;
  }
  result.field.posts.push_back(Post(note::kRectTextFieldChange));
  return result;
}

// The detection length and its text after a Y offset or length held it to the feeder.
std::optional<std::string> holdDetection(DialogContext& ctx, int64_t d) {
  ScanSetting& r = ctx.record();
  if (d == r.wLengthDetectionValue) return std::nullopt;
  r.wLengthDetectionValue = saturate<uint16_t>(d);
  ctx.globals.mmLD = mmValue(r.wLengthDetectionValue);
  return detectionText(r.bPaperSizeUnit, r.wLengthDetectionValue, ctx.globals.mmLD);
}

PaperFieldResult sizeEnded(PaperField field, std::string_view text, TextMovement movement,
                           DialogContext& ctx, PaperFieldFlags& flags) {
  ScanSetting& r = ctx.record();
  const AbilityView a = ctx.ability();
  const int64_t maxWidth = a.adfMaxWidth();
  const int64_t maxLength = a.adfMaxLength();
  const uint32_t res = ctx.bridge.currentRes;
  const Side side = sideOf(field, ctx);
  PaperFieldResult result;
  bool clamped = text.empty();  // an empty field shows the stored value again
  if (field == PaperField::XOffset || field == PaperField::YOffset) {
    uint16_t& offset = field == PaperField::XOffset ? r.wXPos : r.wYPos;
    if (intValue(text) > kOffsetTextLimit) {
      offset = kOffsetTextLimit;
      *side.mm = kOffsetTextLimit;
      *side.pixels = kOffsetTextLimit;
    }
    if (field == PaperField::XOffset && r.wXPos + r.wWidth > maxWidth) {
      r.wXPos = saturate<uint16_t>(maxWidth - r.wWidth);
      clamped = true;
    }
    if (field == PaperField::YOffset) {
      if (r.wYPos + r.wLength >= maxLength) {
        r.wYPos = saturate<uint16_t>(maxLength - r.wLength);
        result.detectionText = holdDetection(ctx, 0);
        clamped = true;
      } else if (r.wYPos + r.wLength + r.wLengthDetectionValue >= maxLength) {
        result.detectionText = holdDetection(ctx, maxLength - r.wYPos - r.wLength);
      }
    }
  } else if (field == PaperField::Width) {
    const int64_t minimum = minimumWidth(r, ctx.extra);
    if (r.wWidth < minimum) {
      r.wWidth = saturate<uint16_t>(minimum);
      clamped = true;
    }
    if (longPage(r)) r.dwLongWidth = r.wWidth;
    if (r.wXPos + r.wWidth > maxWidth) {
      r.wWidth = saturate<uint16_t>(maxWidth - r.wXPos);
      clamped = true;
    }
  } else {
    const int64_t minimum = minimumLength(r, ctx.extra);
    const int64_t y = r.wYPos;
    if (!longPage(r)) {
      if (r.wLength < minimum) {
        r.wLength = saturate<uint16_t>(minimum);
        clamped = true;
      }
      if (y + r.wLength >= maxLength) {
        r.wLength = saturate<uint16_t>(maxLength - y);
        result.detectionText = holdDetection(ctx, 0);
        clamped = true;
      } else if (y + r.wLength + r.wLengthDetectionValue >= maxLength) {
        result.detectionText = holdDetection(ctx, maxLength - y - r.wLength);
      }
    } else {
      // The long page: never shorter than the feeder, never beyond the limit, in every unit.
      const int64_t maxLong = ctx.extra.maxLongLength;
      int64_t l = std::max<int64_t>(r.dwLongLength, minimum);
      if (y + l < maxLength) {
        l = maxLength;
      } else if (y + l + minimum > maxLong) {
        l = maxLong;
      }
      clamped = clamped || l != r.dwLongLength;
      r.dwLongLength = saturate<uint32_t>(l);
      r.wLength = saturate<uint16_t>(l);
    }
  }
  if (clamped) recompute(side, storedValue(field, r), res);
  result.field.editorText = shownText(field, ctx);
  bool& changeFlag = flags.of(field);
  if (changeFlag) {
    result.field.posts.push_back(Post(note::kRectTextFieldChange));
    changeFlag = false;
  }
  focusTail(field, movement, ctx.globals, result.field.posts);
  return result;
}

PaperFieldResult detectionChanged(std::string_view after, DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  PaperFieldResult result;
  const uint8_t unit = r.bPaperSizeUnit;
  if (after.empty()) {
    result.field.editorText = "0";
    return result;
  }
  std::string text(after);
  if (text.size() == 1) {
    if (!isDigit(text[0])) {
      text.clear();
      result.field.editorText = text;
    }
  } else {
    const Filtered f = sizeFilter(text, 2);
    text = f.text;
    if (text.size() >= 2 && text[0] == '0' && isNonZeroDigit(text[1])) {
      text.erase(0, 1);
    } else if (text.size() >= 2 && text[0] == '0' && text[1] == '0') {
      text = "0";
    }
    if (text != after) result.field.editorText = text;
  }
  const double value = doubleValue(text);
  const int64_t room = std::max<int64_t>(
      0, static_cast<int64_t>(ctx.ability().adfMaxLength()) - r.wYPos - r.wLength);
  int64_t v = 0;
  if (unit == kUnitPixel) {
    v = saturatingTrunc(value, 0, UINT32_MAX);
  } else if (unit == kUnitMillimetre) {
    ctx.globals.mmLD = static_cast<float>(value);
    v = fromMillimetres(value);
  } else {
    v = fromInches(value);
  }
  const bool fits = v < room;
  r.wLengthDetectionValue = saturate<uint16_t>(fits ? v : room);
  if (!fits && unit == kUnitMillimetre) ctx.globals.mmLD = mmValue(r.wLengthDetectionValue);
  if (unit == kUnitPixel || !fits) {
    result.field.editorText = detectionText(unit, r.wLengthDetectionValue, ctx.globals.mmLD);
  }
  if (result.field.editorText == after) result.field.editorText.reset();
  return result;
}

PaperFieldResult reloadChanged(std::string_view after, DialogContext& ctx) {
  ScanSetting& r = ctx.record();
  PaperFieldResult result;
  std::string text(after);
  if (text.empty()) {
    result.field.editorText = "0";
    return result;
  }
  if (text.size() == 1) {
    if (!isDigit(text[0])) text = "0";
  } else if (text[0] == '0') {
    text = "0";
  } else {
    text = digitsOnly(text);
    if (intValue(text) > kReloadTimeLimit) text.pop_back();
    if (text.empty()) text = "0";
  }
  if (text != after) result.field.editorText = text;
  r.wTransportTimeout = saturate<uint16_t>(intValue(text));
  result.field.posts.push_back(whichPost(note::kOptionNoise, "noiseNumber"));
  result.field.posts.push_back(whichPost(note::kOptionNoise, "noiseRadius"));
  return result;
}
}  // namespace

bool& PaperFieldFlags::of(PaperField f) {
  switch (f) {
    case PaperField::XOffset:
      return xOffsetChange;
    case PaperField::YOffset:
      return yOffsetChange;
    case PaperField::Width:
      return widthChange;
    default:
      return lengthChange;
  }
}

PaperFieldResult paperFieldChanged(PaperField field, std::string_view /*before*/,
                                   std::string_view after, DialogContext& ctx,
                                   PaperFieldFlags& flags) {
  switch (field) {
    case PaperField::Detection:
      return detectionChanged(after, ctx);
    case PaperField::ReloadTime:
      return reloadChanged(after, ctx);
    default:
      return sizeChanged(field, after, ctx, flags);
  }
}

PaperFieldResult paperFieldEnded(PaperField field, std::string_view text, TextMovement movement,
                                 DialogContext& ctx, PaperFieldFlags& flags) {
  ScanSetting& r = ctx.record();
  PaperFieldResult result;
  if (field == PaperField::Detection) {
    result.field.editorText =
        detectionText(r.bPaperSizeUnit, r.wLengthDetectionValue, ctx.globals.mmLD);
    focusTail(field, movement, ctx.globals, result.field.posts);
    return result;
  }
  if (field == PaperField::ReloadTime) {
    const int32_t v = std::min<int32_t>(std::max(intValue(text), 0), kReloadTimeLimit);
    r.wTransportTimeout = static_cast<uint16_t>(v);
    result.field.editorText = std::to_string(v);
    focusTail(field, movement, ctx.globals, result.field.posts);
    return result;
  }
  return sizeEnded(field, text, movement, ctx, flags);
}

}  // namespace ferrolite::dialog
