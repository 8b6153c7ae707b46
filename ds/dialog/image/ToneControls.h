#pragma once
// The image page's per-mode controls: which record fields the document-type popup, the
// threshold or sensitivity slider, brightness, contrast and invert edit in each mode, the
// popup's lists, the enable tables by grey quality and binarization, the colour-matching row
// and the resolution row; and where each tone action stores its value.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/image/ImageTypeButtons.h"

namespace ferrolite::dialog {

// The grey-quality list ("None" for language ids 0 and 1, else "Normal" last) and the
// non-colour list, as keys.
std::vector<std::string> grayQualityKeys(int32_t languageId);
std::vector<std::string> nonColorKeys();
// The binarization list: dynamic threshold, fixed, at most five halftones, diffusion; titles.
std::vector<std::string> binarizationItems(uint32_t halftoneNum, const LanguageBundle& language);

// A slider row: its label key, range and value, and whether it is on (enabled, black label).
// Unset members leave the control as it was.
struct SliderRow {
  std::optional<std::string> labelKey;
  std::optional<int64_t> minimum, maximum;
  std::optional<bool> on;
  std::optional<int64_t> value;
};

struct ImageModeControls {
  // The document-type / binarization popup.
  std::optional<std::string> docTypeLabelKey;
  std::vector<std::string> docTypeItems;  // titles
  bool docTypeEnabled = false;
  std::optional<int64_t> docTypeSelected;
  SliderRow threshold;
  SliderRow brightness;
  SliderRow contrast;
  int64_t invert = 0;
  // The colour-matching row.
  bool colorMatchingEnabled = false;
  std::optional<int64_t> colorMatching;
  // The resolution row.
  uint16_t resolution = 0;
  std::string resolutionText;  // the number alone (the field holds one line)
  int presetIndex = 0;
  bool resolutionEnabled = true;
};

// setImageTabItems: the controls of a mode. Also sets the bridge's current resolution to the
// mode's (automatic colour follows colour).
ImageModeControls setImageTabItems(DialogContext& ctx, int64_t mode, const LanguageBundle& language,
                                   int32_t languageId, const ImageTypeButtons& buttons);

// The tone actions: each writes its value where the mode keeps it (nowhere where the mode has
// no such field). The document-type action answers the enable rules it applies at once
// (grey and black-and-white modes).
std::optional<ImageModeControls> imageTabDocuType(ScanSetting& record, int64_t mode, int64_t value);
void imageTabThresh(ScanSetting& record, int64_t mode, int64_t value);
void imageTabBrightness(ScanSetting& record, int64_t mode, int64_t value);
void imageTabContrast(ScanSetting& record, int64_t mode, int64_t value);
void imageTabInvert(ScanSetting& record, int64_t mode, int64_t value);

}  // namespace ferrolite::dialog
