#include "ds/dialog/imprinter/ImprinterFields.h"

#include "ds/dialog/Units.h"
#include "ds/dialog/imprinter/ImprinterPage.h"

namespace ferrolite::dialog {

namespace {
bool isX(ImprinterField f) { return f == ImprinterField::XOffset; }

// The digits of a text cut, last digits first, until its value stays within the limit.
std::string digitsWithin(std::string_view text, int64_t limit) {
  std::string digits = digitsOnly(text);
  auto value = [](const std::string& d) {
    int64_t v = 0;
    for (char c : d) {
      v = v * 10 + (c - '0');
      if (v > INT32_MAX) return int64_t{INT32_MAX} + 1;
    }
    return v;
  };
  while (!digits.empty() && value(digits) > limit) digits.pop_back();
  return digits;
}

FieldResult customTextChanged(std::string_view after) {
  FieldResult r;
  std::string text(after);
  if (characterCount(text) > kImprintTextLimit) {
    text = firstCharacters(text, kImprintTextLimit);
    r.editorText = text;
  }
  r.posts.push_back(Post(note::kImprinterInput, {{"ImprinterText", text}}));
  return r;
}

FieldResult counterChanged(std::string_view after) {
  FieldResult r;
  std::string text(after);
  if (text.size() == 1 && !isNonZeroDigit(text[0])) {
    text = "0";
  } else if (text.size() >= 2) {
    // Below 2147483647: the digits are cut until the value is.
    text = digitsWithin(text, kCounterLimit - 1);
  }
  if (text != after) r.editorText = text;
  r.posts.push_back(
      Post(note::kImprinterTabCounter, {{"ImprinterTabCounterValue", int64_t{intValue(text)}}}));
  return r;
}

FieldResult offsetChanged(ImprinterField f, std::string_view after, DialogContext& ctx) {
  FieldResult r;
  ScanSetting& record = ctx.record();
  uint16_t& stored = isX(f) ? record.wPrintX : record.wPrintY;
  const AbilityView a = ctx.ability();
  const int64_t maximum = isX(f) ? imprinterMaxX(a) : imprinterMaxY(a);
  if (after.empty()) {
    r.editorText = "0";
    return r;
  }
  std::string text(after);
  if (text.size() == 1) {
    if (!isNonZeroDigit(text[0])) {
      text = "0";
      stored = 0;
    }
  } else {
    text = digitsWithin(text, maximum);
    if (text.empty()) text = "0";
  }
  if (text != after) r.editorText = text;
  const int64_t value = intValue(text);
  if (value >= 0 && value <= maximum) {
    r.posts.push_back(Post(isX(f) ? note::kImprinterXOffset : note::kImprinterYOffset,
                           {{isX(f) ? "imprinterXOffsetValue" : "imprinterYOffsetValue", value}}));
  }
  return r;
}
}  // namespace

FieldResult imprinterFieldChanged(ImprinterField field, std::string_view /*before*/,
                                  std::string_view after, DialogContext& ctx) {
  switch (field) {
    case ImprinterField::CustomText:
      return customTextChanged(after);
    case ImprinterField::Counter:
      return counterChanged(after);
    default:
      return offsetChanged(field, after, ctx);
  }
}

FieldResult imprinterFieldEnded(ImprinterField field, std::string_view text, TextMovement movement,
                                DialogContext& ctx) {
  FieldResult r;
  DialogGlobals& g = ctx.globals;
  if (field == ImprinterField::XOffset || field == ImprinterField::YOffset) {
    ScanSetting& record = ctx.record();
    const uint16_t v = saturate<uint16_t>(intValue(text));
    (isX(field) ? record.wPrintX : record.wPrintY) = v;
    const std::string shown = std::to_string(v);
    if (shown != text) r.editorText = shown;
  }
  static constexpr int32_t kTab[] = {2, 3, 4, 1};
  static constexpr int32_t kBackTab[] = {4, 1, 2, 3};
  const int index = static_cast<int>(field);
  if (movement == TextMovement::Tab) {
    g.goNextTextFiled_Imprinter = kTab[index];
    r.posts.push_back(Post(note::kTextFieldMovementImprinter));
  } else if (movement == TextMovement::BackTab) {
    g.goBackNextTextFiled_Imprinter = kBackTab[index];
    r.posts.push_back(Post(note::kTextFieldBackMovementImprinter));
  }
  return r;
}

}  // namespace ferrolite::dialog
