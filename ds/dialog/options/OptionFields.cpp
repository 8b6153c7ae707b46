#include "ds/dialog/options/OptionFields.h"

#include <algorithm>

#include "ds/dialog/Units.h"
#include "ds/dialog/options/DeviceSettings.h"
#include "ds/dialog/options/Enhancement.h"

namespace ferrolite::dialog {

namespace {
struct Spec {
  const char* which;  // the post's "which"
  int64_t endLimit;   // a value at or above it becomes endShown at the end of editing
  const char* endShown;
  int32_t tab, backTab;  // focus numbers
  bool settingTab;
};

constexpr Spec kSpecs[] = {
    {"leftEdge", 1000, "999", 2, 6, false},
    {"topEdge", 10000, "9999", 3, 1, false},
    {"bottomEdge", 10000, "9999", 4, 2, false},
    {"rightEdge", 1000, "999", 5, 3, false},
    {"noiseNumber", 3601, "3600", 6, 4, false},
    {"noiseRadius", 31, "30", 1, 5, false},
    {"ImageCount", 101, "100", 2, 3, true},
    {"EnergeSave", 0, "", 3, 1, true},
    {"PowerOff", 0, "", 1, 2, true},
};

const Spec& specOf(OptionField f) { return kSpecs[static_cast<int>(f)]; }

bool isEdge(OptionField f) {
  return f == OptionField::LeftEdge || f == OptionField::TopEdge || f == OptionField::BottomEdge ||
         f == OptionField::RightEdge;
}

uint16_t& edgeField(ScanSetting& r, OptionField f) {
  switch (f) {
    case OptionField::LeftEdge:
      return r.wLeftEdge;
    case OptionField::TopEdge:
      return r.wTopEdge;
    case OptionField::BottomEdge:
      return r.wBottomEdge;
    default:
      return r.wRightEdge;
  }
}

// The radius for a typed value: at least the number's minimum and 1, at most 30.
uint8_t heldRadius(const ScanSetting& r, int64_t value) {
  const int64_t lowest = std::max<int64_t>(rmin(r.wNoiseNumber), 1);
  return static_cast<uint8_t>(std::clamp<int64_t>(value, lowest, kNoiseRadiusMaximum));
}

Post changePost(OptionField f) {
  const bool noise = f == OptionField::NoiseNumber || f == OptionField::NoiseRadius;
  return whichPost(noise ? note::kOptionNoise : note::kOptionEdgeChange, specOf(f).which);
}

uint32_t maximumOf(OptionField f, const DialogGlobals& g) {
  return f == OptionField::EnergySaver ? g.gMaxPowerSaving : g.gMaxPowerOff;
}

// Edge fields and the noise number: leading zeros go, non-digits go, an emptied text is "0".
FieldResult edgeOrNumberChanged(OptionField f, std::string_view after, DialogContext& ctx) {
  FieldResult result;
  ScanSetting& r = ctx.record();
  std::string text(after);
  if (text.empty()) {
    result.editorText = "0";
    return result;
  }
  if (text.size() == 1) {
    if (!isDigit(text[0])) text = "0";
  } else if (text[0] == '0') {
    text = text[1] == '0' ? "0" : text.substr(1);
    text = digitsOnly(text);
  } else {
    text = digitsOnly(text);
    if (f == OptionField::NoiseNumber && intValue(text) > kNoiseNumberMaximum) {
      text = std::to_string(kNoiseNumberMaximum);
    }
  }
  if (text.empty()) text = "0";
  if (text != after) result.editorText = text;
  const uint16_t value = saturate<uint16_t>(intValue(text));
  if (f == OptionField::NoiseNumber) {
    r.wNoiseNumber = value;
    r.bNoiseRadius = std::max(r.bNoiseRadius, rmin(value));
    result.posts.push_back(whichPost(note::kOptionNoise, "noiseNumber"));
    result.posts.push_back(whichPost(note::kOptionNoise, "noiseRadius"));
  } else {
    edgeField(r, f) = value;
    result.posts.push_back(changePost(f));
  }
  return result;
}

FieldResult radiusChanged(std::string_view after, DialogContext& ctx) {
  FieldResult result;
  ScanSetting& r = ctx.record();
  std::string text(after);
  if (text.empty()) {
    result.editorText = "1";
    return result;
  }
  if ((text.size() == 1 && !isDigit(text[0])) || (text.size() >= 2 && text[0] == '0')) {
    text = "1";
  } else {
    text = digitsOnly(text);
    if (intValue(text) > kNoiseRadiusMaximum) text = std::to_string(kNoiseRadiusMaximum);
    if (text.empty()) text = "0";
  }
  const int32_t value = intValue(text);
  r.bNoiseRadius = heldRadius(r, value);
  if (value < 1) text = "1";
  if (text != after) result.editorText = text;
  result.posts.push_back(whichPost(note::kOptionNoise, "noiseRadius"));
  return result;
}

FieldResult imageCountChanged(std::string_view after, DialogContext& ctx) {
  FieldResult result;
  std::string text(after);
  if (text.empty()) {
    result.editorText = "0";
    return result;
  }
  if ((text.size() == 1 && !isDigit(text[0])) || (text.size() >= 2 && text[0] == '0')) {
    text = "0";
  } else {
    text = digitsOnly(text);
    if (intValue(text) > kImageCountMaximum) text.pop_back();
  }
  if (text.empty()) text = "0";
  if (text != after) result.editorText = text;
  ctx.record().iImageCount = intValue(text);
  result.posts.push_back(changePost(OptionField::ImageCount));
  return result;
}

FieldResult powerTimeChanged(OptionField f, std::string_view after, DialogContext& ctx) {
  FieldResult result;
  ScanSetting& r = ctx.record();
  uint16_t& stored = f == OptionField::EnergySaver ? r.wEnergySaver : r.wPowerOffTime;
  if (after.empty()) {
    result.editorText = "0";
    stored = f == OptionField::EnergySaver ? 1 : r.wEnergySaver;
    result.posts.push_back(changePost(f));
    return result;
  }
  std::string text = digitsOnly(after);
  if (!text.empty() && static_cast<uint32_t>(intValue(text)) > maximumOf(f, ctx.globals)) {
    text.pop_back();
  }
  if (text != after) result.editorText = text;
  stored = saturate<uint16_t>(intValue(text));
  result.posts.push_back(changePost(f));
  return result;
}

void focusTail(OptionField f, TextMovement movement, DialogGlobals& g, Posts& posts) {
  const Spec& s = specOf(f);
  if (movement == TextMovement::Tab) {
    (s.settingTab ? g.goNextTextFiled_Setting : g.goNextTextFiled_Enhancement) = s.tab;
    posts.push_back(
        Post(s.settingTab ? note::kTextFieldMovementSetting : note::kTextFieldMovementEnhancement));
  } else if (movement == TextMovement::BackTab) {
    (s.settingTab ? g.goBackNextTextFiled_Settingt : g.goBackNextTextFiled_Enhancement) = s.backTab;
    posts.push_back(Post(s.settingTab ? note::kTextFieldBackMovementSetting
                                      : note::kTextFieldBackMovementEnhancement));
  }
}
}  // namespace

FieldResult optionFieldChanged(OptionField field, std::string_view /*before*/,
                               std::string_view after, DialogContext& ctx) {
  switch (field) {
    case OptionField::NoiseRadius:
      return radiusChanged(after, ctx);
    case OptionField::ImageCount:
      return imageCountChanged(after, ctx);
    case OptionField::EnergySaver:
    case OptionField::PowerOff:
      return powerTimeChanged(field, after, ctx);
    default:
      return edgeOrNumberChanged(field, after, ctx);
  }
}

FieldResult optionFieldEnded(OptionField field, std::string_view text, TextMovement movement,
                             DialogContext& ctx) {
  FieldResult result;
  ScanSetting& r = ctx.record();
  const Spec& s = specOf(field);
  std::string shown(text);
  int64_t value = intValue(text);
  if (field == OptionField::EnergySaver || field == OptionField::PowerOff) {
    const int64_t maximum = maximumOf(field, ctx.globals);
    if (value > maximum) {
      value = maximum;
      shown = std::to_string(maximum);
    }
    (field == OptionField::EnergySaver ? r.wEnergySaver : r.wPowerOffTime) =
        saturate<uint16_t>(value);
  } else {
    if (value >= s.endLimit) {
      shown = s.endShown;
      value = intValue(shown);
    }
    if (field == OptionField::NoiseRadius) {
      r.bNoiseRadius = heldRadius(r, value);
      shown = std::to_string(r.bNoiseRadius);
    } else if (field == OptionField::ImageCount) {
      r.iImageCount = static_cast<int32_t>(value);
    } else if (field == OptionField::NoiseNumber) {
      r.wNoiseNumber = saturate<uint16_t>(value);
      r.bNoiseRadius = std::max(r.bNoiseRadius, rmin(r.wNoiseNumber));
      shown = std::to_string(r.wNoiseNumber);
    } else if (isEdge(field)) {
      edgeField(r, field) = saturate<uint16_t>(value);
      shown = std::to_string(edgeField(r, field));
    }
  }
  if (shown != text) result.editorText = shown;
  focusTail(field, movement, ctx.globals, result.posts);
  return result;
}

}  // namespace ferrolite::dialog
