#pragma once
// The paper page's observers: the focus chain of its six fields, and what a typed size, the
// preview's rectangle and a stepper tell the page to show.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/image/PaperSizeList.h"
#include "ds/dialog/paper/PaperPage.h"

namespace ferrolite::dialog {

// Whether each of the six fields (1 X, 2 Y, 3 width, 4 length, 5 detection, 6 time-out) can
// take the focus: enabled and shown (a hidden field never can, enabled or not).
struct FocusTargets {
  std::array<bool, 7> usable{};  // index = field number; 0 unused
  bool operator[](int field) const { return field >= 1 && field <= 6 && usable[field]; }
};

// "TextFieldMovement" (Tab): the field to focus (none for a number outside 1-6); the page's
// next and back targets are prepared for the following Tab and Back-tab.
std::optional<int32_t> textFieldMovement(DialogGlobals& globals, const FocusTargets& targets);
// "TextFieldBackMovement" (Back-tab).
std::optional<int32_t> textFieldBackMovement(DialogGlobals& globals, const FocusTargets& targets);

// Making the page custom: bPaperSize 255 and the list's last item selected.
struct PaperNotice {
  PaperControls controls;
  bool makeCustom = false;
  bool checkPortraitLandscape = false;
  // The option page's edge-fill steppers and values are refreshed from the record.
  bool refreshEdgeFill = false;
};

// "RectTextFieldChange": a size field was typed in (or the preview's rectangle was raised).
PaperNotice rectTextFieldChange(DialogContext& ctx, LongPageState& longPage);
// "PreviewWin2Text": the preview's area as the page shows it (the record is already written).
PaperNotice previewWin2Text(DialogContext& ctx, int64_t left, int64_t top, int64_t width,
                            int64_t length);
// "pageSizeByStepper" with its "which".
PaperNotice pageSizeByStepper(DialogContext& ctx, const std::string& which);

}  // namespace ferrolite::dialog
