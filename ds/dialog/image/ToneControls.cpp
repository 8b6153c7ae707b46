#include "ds/dialog/image/ToneControls.h"

#include "ds/dialog/ModeResolution.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/image/ModeSideRows.h"

namespace ferrolite::dialog {

namespace {
constexpr uint32_t kMaxHalftones = 5;
bool rear(int64_t mode) { return (mode & 1) != 0; }
bool isGray(int64_t m) { return m == 2 || m == 3; }
bool isBW(int64_t m) { return m == 4 || m == 5; }
bool isColor(int64_t m) { return m == 0 || m == 1; }
bool isAuto(int64_t m) { return m == 6 || m == 7; }

uint8_t& grayQuality(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRGrayQuality : r.bFGrayQuality;
}
uint8_t& binarization(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRBinaryProcess : r.bFBinaryProcess;
}
uint8_t& nonColor(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRNonColorSelection : r.bFNonColorSelection;
}
uint8_t& docThreshold(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRDocumentThreshold : r.bFDocumentThreshold;
}
uint8_t& dtSensitivity(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRDTSensitivity : r.bFDTSensitivity;
}
uint8_t& bwThreshold(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRBThreshold : r.bFBThreshold;
}
uint8_t& acdSensitivity(ScanSetting& r, int64_t m) {
  return rear(m) ? r.bRACDSensitivity : r.bFACDSensitivity;
}
int32_t& brightnessOf(ScanSetting& r, int64_t m) {
  if (isGray(m)) return rear(m) ? r.iRGBrightness : r.iFGBrightness;
  if (isBW(m)) return rear(m) ? r.iRBBrightness : r.iFBBrightness;
  return rear(m) ? r.iRCBrightness : r.iFCBrightness;
}
int32_t& contrastOf(ScanSetting& r, int64_t m) {
  if (isGray(m)) return rear(m) ? r.iRGContrast : r.iFGContrast;
  return rear(m) ? r.iRCContrast : r.iFCContrast;
}
uint8_t& invertOf(ScanSetting& r, int64_t m) {
  if (isGray(m)) return rear(m) ? r.bRGInvert : r.bFGInvert;
  if (isBW(m)) return rear(m) ? r.bRBInvert : r.bFBInvert;
  return rear(m) ? r.bRCInvert : r.bFCInvert;
}

void sliderRange(SliderRow& row, const char* label, int64_t minimum, int64_t maximum) {
  row.labelKey = label;
  row.minimum = minimum;
  row.maximum = maximum;
}

// The enable rules of grey quality and binarization, shared by the page and the popup action.
void grayAndBWRules(ScanSetting& r, int64_t mode, ImageModeControls& c) {
  if (isGray(mode)) {
    sliderRange(c.threshold, "Threshold", 0, 255);
    c.docTypeSelected = grayQuality(r, mode);
    c.brightness.value = brightnessOf(r, mode);
    switch (grayQuality(r, mode)) {
      case 0:
      case 1:
        c.threshold.on = grayQuality(r, mode) == 0;
        c.threshold.value = docThreshold(r, mode);
        c.brightness.on = false;
        c.contrast.on = false;
        break;
      case 2:
        c.threshold.on = false;
        c.threshold.value = docThreshold(r, mode);
        c.brightness.on = true;
        c.contrast.on = true;
        c.contrast.value = contrastOf(r, mode);
        break;
      default:
        break;
    }
    return;
  }
  c.docTypeSelected = binarization(r, mode);
  c.brightness.value = brightnessOf(r, mode);
  c.contrast.value = 0;
  const uint8_t b = binarization(r, mode);
  if (b == 0) {
    sliderRange(c.threshold, "Sensitivity", 1, 30);
    c.threshold.on = true;
    c.threshold.value = dtSensitivity(r, mode);
    c.brightness.on = false;
    c.contrast.on = false;
  } else if (b == 1) {
    sliderRange(c.threshold, "Threshold", 0, 255);
    c.threshold.on = true;
    c.threshold.value = bwThreshold(r, mode);
    c.brightness.on = true;
    c.contrast.on = false;
  } else if (b <= 7) {
    c.threshold.labelKey = "Threshold";
    c.threshold.on = false;
    c.brightness.on = true;
    c.contrast.on = false;
  }
}

std::vector<std::string> titles(const std::vector<std::string>& keys,
                                const LanguageBundle& language) {
  std::vector<std::string> out;
  for (const std::string& key : keys) out.push_back(language.localizedStringForKey(key, key));
  return out;
}
}  // namespace

std::vector<std::string> grayQualityKeys(int32_t languageId) {
  return {"Document", "Photo", (languageId == 0 || languageId == 1) ? "None" : "Normal"};
}

std::vector<std::string> nonColorKeys() { return {"Lineart", "Gray"}; }

std::vector<std::string> binarizationItems(uint32_t halftoneNum, const LanguageBundle& language) {
  std::vector<std::string> items = {
      language.localizedStringForKey("DynamicThreshold", "DynamicThreshold"),
      language.localizedStringForKey("FixedProcessing", "FixedProcessing")};
  const std::string halftone = language.localizedStringForKey("HALFTONE", "HALFTONE");
  for (uint32_t i = 1; i <= std::min(halftoneNum, kMaxHalftones); ++i) {
    items.push_back(halftone + " " + std::to_string(i));
  }
  items.push_back(language.localizedStringForKey("DIFFUSION", "DIFFUSION"));
  return items;
}

ImageModeControls setImageTabItems(DialogContext& ctx, int64_t mode, const LanguageBundle& language,
                                   int32_t languageId, const ImageTypeButtons& buttons) {
  ScanSetting& r = ctx.record();
  ImageModeControls c;
  if (isColor(mode)) {
    c.docTypeItems = titles(grayQualityKeys(languageId), language);
    c.threshold.on = false;
    c.brightness = {std::nullopt, std::nullopt, std::nullopt, true, brightnessOf(r, mode)};
    c.contrast = {std::nullopt, std::nullopt, std::nullopt, true, contrastOf(r, mode)};
  } else if (isGray(mode)) {
    c.docTypeLabelKey = "DocumentType";
    c.docTypeEnabled = true;
    c.docTypeItems = titles(grayQualityKeys(languageId), language);
    grayAndBWRules(r, mode, c);
  } else if (isBW(mode)) {
    c.docTypeLabelKey = "Binarization";
    c.docTypeEnabled = true;
    c.docTypeItems = binarizationItems(ctx.ability().halftoneNum(), language);
    grayAndBWRules(r, mode, c);
  } else {
    c.docTypeLabelKey = "NonColorSelect";
    c.docTypeEnabled = true;
    c.docTypeItems = titles(nonColorKeys(), language);
    c.docTypeSelected = nonColor(r, mode);
    sliderRange(c.threshold, "Sensitivity", 1, 100);
    c.threshold.on = true;
    c.threshold.value = acdSensitivity(r, mode);
    c.brightness = {std::nullopt, std::nullopt, std::nullopt, false, brightnessOf(r, mode)};
    c.contrast = {std::nullopt, std::nullopt, std::nullopt, false, contrastOf(r, mode)};
  }
  c.invert = invertOf(r, mode);

  c.resolution = resolutionOfMode(r, mode);
  c.resolutionText = std::to_string(c.resolution);  // a one-line field: no line end
  c.presetIndex = presetIndexOf(c.resolution);
  ctx.bridge.currentRes = c.resolution;
  if (rear(mode)) {
    c.resolutionEnabled = !buttons.check(ImageRow::Image, mode - 1).on;
  }

  c.colorMatchingEnabled = isColor(mode) || isAuto(mode);
  if (c.colorMatchingEnabled) c.colorMatching = r.bColorMatch;
  return c;
}

std::optional<ImageModeControls> imageTabDocuType(ScanSetting& record, int64_t mode,
                                                  int64_t value) {
  const uint8_t v = saturate<uint8_t>(value);
  if (isAuto(mode)) nonColor(record, mode) = v;
  if (!isGray(mode) && !isBW(mode)) return std::nullopt;
  (isGray(mode) ? grayQuality(record, mode) : binarization(record, mode)) = v;
  ImageModeControls c;
  grayAndBWRules(record, mode, c);
  return c;
}

void imageTabThresh(ScanSetting& record, int64_t mode, int64_t value) {
  const uint8_t v = saturate<uint8_t>(value);
  if (isGray(mode)) {
    docThreshold(record, mode) = v;
  } else if (isBW(mode)) {
    if (binarization(record, mode) == 0) dtSensitivity(record, mode) = v;
    if (binarization(record, mode) == 1) bwThreshold(record, mode) = v;
  } else if (isAuto(mode)) {
    acdSensitivity(record, mode) = v;
  }
}

void imageTabBrightness(ScanSetting& record, int64_t mode, int64_t value) {
  if (isBW(mode)) {
    const uint8_t b = binarization(record, mode);
    if (b < 1 || b > 7) return;
  }
  brightnessOf(record, mode) = saturate<int32_t>(value);
}

void imageTabContrast(ScanSetting& record, int64_t mode, int64_t value) {
  if (isBW(mode)) return;
  contrastOf(record, mode) = saturate<int32_t>(value);
}

void imageTabInvert(ScanSetting& record, int64_t mode, int64_t value) {
  invertOf(record, mode) = saturate<uint8_t>(value);
}

}  // namespace ferrolite::dialog
