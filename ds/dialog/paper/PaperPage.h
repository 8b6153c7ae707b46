#pragma once
// The paper page's rules: the page-size application (landscape, automatic and maximum sizes,
// the long page with its limits, the cap, centring), the page build, the unit redisplay, the
// orientation, and which of the page's controls are usable after each.
#include <cstdint>
#include <optional>
#include <string>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/image/PaperSizeList.h"
#include "ds/scan/records/PaperTbl.h"

namespace ferrolite::dialog {

// The length beyond which a page is a long page for length detection: 14 inches.
inline constexpr uint32_t kLongestStandardLength = 4200;

// The page's controls after a rule; an unset member stays as it was.
struct PaperControls {
  bool applied = true;  // false: the choice was the size in force, nothing happened
  std::optional<bool> landscapeEnabled;
  std::optional<bool> portraitSelected;       // set true: the portrait cell is selected
  std::optional<bool> sizeControlsEnabled;    // the four labels (black), fields and steppers
  std::optional<bool> offsetControlsEnabled;  // the X and Y labels, fields and steppers
  std::optional<bool> carrierSheetShown;
  std::optional<bool> ultrasonicEnabled;
  std::optional<bool> ultrasonicOn;
  std::optional<bool> detectionBoxOn;
  std::optional<bool> detectionBoxEnabled;
  std::optional<bool> detectionFieldEnabled;  // the detection field and its stepper
  std::optional<bool> stopScanEnabled;        // stop after a multi-feed
  std::optional<bool> alarmButtonsEnabled;    // Browse and play
  std::optional<std::string> xText, yText, widthText, lengthText, detectionText;
  std::optional<std::string> rulerUnit;  // the preview's measurement unit
  bool previewRect = false;              // the preview shows the record's area
  bool changePaperSizeByResolution = false;
  bool switch2CustomProfile = false;
};

// The length detection as shown: inch and millimetre like every value (millimetres from the
// kept mmLD), pixels unscaled.
std::string detectionText(uint8_t unit, int64_t detection, float mmLD);

// The state of the page's boxes and the dialog that the rules read besides the record.
struct PaperPageInputs {
  bool duplexChecked = false;  // the image page's duplex box
  uint32_t usbID = 0;          // the scanner's vendor and product id
};

// paperTabPaperSelect: the chosen page id, or none to apply bPaperSize again.
PaperControls paperTabPaperSelect(DialogContext& ctx, const PaperTbl& table,
                                  LongPageState& longPage, std::optional<int64_t> chosenId,
                                  const PaperPageInputs& inputs);
// paperTabPaperUnitSelect: a new unit (or none to show the record again in its unit).
PaperControls paperTabPaperUnitSelect(DialogContext& ctx, std::optional<uint8_t> unit);
// doPaperTabInit: the page from the record, never turning the profile to custom.
struct PaperPageBuild {
  PaperControls controls;
  int64_t mDetectLengthLimit = 0;
  std::string alarmName;  // the last path component of strAlarm
};
PaperPageBuild doPaperTabInit(DialogContext& ctx, LongPageState& longPage);
// paperTabProtraitLandscape: the orientation matrix's column.
PaperControls paperTabProtraitLandscape(DialogContext& ctx, int64_t column);
// checkPortraitLandscape: a page as long as the feeder is wide, or custom, is portrait.
PaperControls checkPortraitLandscape(DialogContext& ctx);

}  // namespace ferrolite::dialog
