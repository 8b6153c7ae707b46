#pragma once
// The colour drop-out page's rules: for the grey and black-and-white sides, which controls
// are on after a refresh or a change of the drop-out mode (one table per kind of side), the
// advanced, quality, filter and colour actions, and the image page's binarization controls
// that this page switches. Colour and automatic-colour sides show everything off.
#include <cstdint>
#include <optional>
#include <vector>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/image/ModeSideRows.h"

namespace ferrolite::dialog {

// Drop-out modes: the popup's item index.
inline constexpr uint8_t kDropNone = 0;
inline constexpr uint8_t kDropRed = 1;
inline constexpr uint8_t kDropGreen = 2;
inline constexpr uint8_t kDropBlue = 3;
inline constexpr uint8_t kDropCustom = 4;
inline constexpr uint8_t kDropAutomatic = 5;
inline constexpr int kFilterThresholdMaximum = 20;

// A side's drop-out fields in the record (grey front, grey rear, black-and-white front, rear).
struct DropSide {
  uint8_t& mode;
  uint8_t& advance;
  uint8_t& quality;
  uint8_t& filter;
  uint8_t& red;
  uint8_t& green;
  uint8_t& blue;
};
// The side of a mode 2-5; none for the colour and automatic-colour modes.
std::optional<DropSide> dropSideOf(ScanSetting& record, int64_t mode);

struct WellColour {
  float red, green, blue, alpha;
  bool operator==(const WellColour&) const = default;
};

// The page's controls after a rule; an unset member stays as it was. "On" for a popup or a
// slider means enabled with a black label.
struct ColorDropControls {
  std::optional<bool> dropOut;  // the drop-out popup
  std::optional<int64_t> dropOutSelected;
  std::optional<bool> advancedEnabled;
  std::optional<bool> advancedChecked;
  std::optional<bool> quality;  // the quality popup
  std::optional<int64_t> qualitySelected;
  std::optional<bool> filter;  // the filter threshold slider
  std::optional<int> filterMaximum;
  std::optional<bool> backgroundLevel;
  std::optional<bool> colourSliders;
  // The colour well, the preview-result and the eye-dropper buttons are shown (Custom only).
  bool customControlsShown = false;
  std::optional<bool> resultButtonsEnabled;  // preview result and eye dropper
  std::optional<WellColour> well;
  bool eyeDropperReset = false;  // picking mode ends
  // The image page's binarization popup and threshold slider (with their labels).
  std::optional<bool> binarization;
  std::optional<bool> thresholdSlider;
  // Bound values.
  std::optional<int64_t> mFilterThresh, mRedValue, mGreenValue, mBlueValue, mBackLevelValue;
  std::optional<int64_t> mAdvanceState;
};

// doColorDropTabInit: with advColorDropOn the advanced check box is hidden and on, and the
// four sides' advanced fields are 1. Clears gPreviewResult.
struct ColorDropBuild {
  bool advancedHidden = false;
  std::optional<int64_t> mAdvanceState;
};
ColorDropBuild doColorDropTabInit(DialogContext& ctx);

// The result buttons are usable only with a preview file and the preview drawer open.
struct PreviewState {
  bool previewFileExists = false;
  bool drawerOpen = false;
};

// setColorDropTabItems: the page for a mode.
ColorDropControls setColorDropTabItems(DialogContext& ctx, int64_t mode, PreviewState preview);
// colorDropColor: a new drop-out mode (the popup's mColorDropout) for the edited mode.
ColorDropControls colorDropColor(DialogContext& ctx, int64_t mode, int64_t mColorDropout,
                                 PreviewState preview);
// colorDropAdvanveState: the advanced check box's new state.
ColorDropControls colorDropAdvanveState(DialogContext& ctx, int64_t mode, int64_t mAdvanceState);
// colorDropColorMode: the quality popup's index.
ColorDropControls colorDropColorMode(DialogContext& ctx, int64_t mode, int64_t index);
// colorDropFilterThresh: stored only with a drop-out mode chosen (popup index 1-5).
void colorDropFilterThresh(DialogContext& ctx, int64_t mode, int64_t dropOutIndex,
                           int64_t mFilterThresh);
// colorDropRed:, colorDropGreen:, colorDropBlue: the three slider values; answers the well.
WellColour colorDropColourSliders(DialogContext& ctx, int64_t mode, int64_t red, int64_t green,
                                  int64_t blue);

// colorDropScanModeClick: the page's row table is the image page's mode/side rows; a change
// of its check column is reconciled as the image table's is (only the rows the controller has,
// mapped alike, the last bit kept). Answers whether Scan is enabled.
bool colorDropScanModeClick(std::vector<ScanModeSideSetting>& rows, ScanSetting& record,
                            bool duplex);

}  // namespace ferrolite::dialog
