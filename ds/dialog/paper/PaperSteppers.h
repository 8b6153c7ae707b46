#pragma once
// The paper page's steppers and check boxes: each size stepper's step in the unit, its limits
// on the feeder (the 0.01-inch grid, the width's snap-back at full width, the length's 14-inch
// and long-page limits), the length detection's stepper, the multi-feed boxes and the carrier
// sheet.
#include <cstdint>
#include <optional>
#include <string>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/Notifications.h"
#include "ds/dialog/image/PaperSizeList.h"
#include "ds/dialog/paper/PaperPage.h"

namespace ferrolite::dialog {

// Focus-chain field numbers of the paper page.
inline constexpr int32_t kFieldXOffset = 1;
inline constexpr int32_t kFieldYOffset = 2;
inline constexpr int32_t kFieldWidth = 3;
inline constexpr int32_t kFieldLength = 4;
inline constexpr int32_t kFieldDetection = 5;
inline constexpr int32_t kFieldTimeOut = 6;

// What a stepper click did.
struct StepResult {
  bool refused = false;                // a limit refused the click: only the direction memory moved
  std::optional<int32_t> focusField;   // the field that takes the keyboard focus
  std::optional<double> stepperValue;  // the stepper set back (the width's snap-back)
  PaperControls controls;              // texts and boxes to show
  Posts posts;                         // "pageSizeByStepper" with its side
};

// The steppers, each remembering the value of its previous click to tell up from down.
class PaperSteppers {
 public:
  StepResult paperTabXoffset(DialogContext& ctx, double value);
  StepResult paperTabYoffset(DialogContext& ctx, double value);
  StepResult paperTabWidth(DialogContext& ctx, double value, LongPageState& longPage);
  StepResult paperTabLength(DialogContext& ctx, double value, LongPageState& longPage,
                            const PaperPageInputs& inputs);
  StepResult paperTabLengthDetec(DialogContext& ctx, double value);
  // Sets the memory, as the page build shows the stepper's value.
  void remember(double x, double y, double width, double length, double detection);

 private:
  double mfOldXOffset = 0, mfOldYOffset = 0, mfOldWidth = 0, mfOldLength = 0, mfLengthDetect = 0;
};

// stop4MultiFeed: the three boxes' states into the record, the detection field's place in the
// focus chain, and what the boxes enable.
struct MultiFeedBoxes {
  bool lengthDetection = false;
  bool ultrasonic = false;
  bool stopAfterMultifeed = false;
};
PaperControls stop4MultiFeed(DialogContext& ctx, const MultiFeedBoxes& boxes);
// paperTabCarrierSheetMode: carrier-sheet scanning turns ultrasonic detection and the stop
// after a multi-feed off in the record.
PaperControls paperTabCarrierSheetMode(DialogContext& ctx, bool on);

}  // namespace ferrolite::dialog
