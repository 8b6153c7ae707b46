#pragma once
// What the dialog takes over when the data source hands it its state: the extra parameters
// and the interface switch, then the bridge's pointers and shared values, the power-time
// limits, the millimetre bookkeeping of a record in millimetres, and a current resolution
// from the start, so that no pixel conversion ever divides by an unset resolution.
#include <string>

#include "ds/dialog/DialogContext.h"
#include "ds/dialog/image/PaperSizeList.h"

namespace ferrolite::dialog {

// getExtraParam:: the dialog's copy, the model's long-page limit and the interface switch.
void getExtraParam(const ExtraParam& handed, ExtraParam& curExtraParam, LongPageState& longPage,
                   DialogGlobals& globals);

// The ability record handed over: DeviceAbility with the current interface, else
// ScannerAbilityEx.
struct HandedAbility {
  const DeviceAbility* current = nullptr;
  const ScannerAbilityEx* older = nullptr;
};

// The set-up's hand-over to the bridge (its steps 2 to 4 and 14).
void handOverToBridge(BridgeObject_V2& bridge, DialogGlobals& globals,
                      const ExtraParam& curExtraParam, ScanSetting* record, HandedAbility ability,
                      const std::string& scannerName);

// The multi-feed controls the device offers. With the current interface only the ultrasonic
// box depends on the device; with the older one the whole box shows only for additional or
// ultrasonic detection. At the dialog's index the additional detection is hidden (still
// enabled), and so is the box of a device without ultrasonic detection.
struct MultiFeedVisibility {
  bool boxShown = true;
  bool ultrasonicShown = true;
  bool additionalShown = false;  // its check box, field and stepper
};
MultiFeedVisibility multiFeedVisibility(const AbilityView& ability);

// Default: the long page's kept length is held to 118 inches when the model allows more.
void capLongPageAfterDefault(LongPageState& longPage, const ExtraParam& curExtraParam);

}  // namespace ferrolite::dialog
