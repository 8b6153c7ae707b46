#pragma once
// What a rule of the dialog works on: the bridge (and through it the live settings record and
// the ability records), the dialog-wide values and the data source's extra parameters.
#include "ds/dialog/Ability.h"
#include "ds/dialog/Bridge.h"
#include "ds/dialog/DialogGlobals.h"
#include "ds/scan/records/ExtraParam.h"

namespace ferrolite::dialog {

struct DialogContext {
  BridgeObject_V2& bridge;
  DialogGlobals& globals;
  ExtraParam& extra;  // the dialog's copy; the paper list may lower its long-page limit

  // The live record; the dialog builds a context only once the data source handed it over.
  ScanSetting& record() const { return *bridge.mpScanSettings; }
  AbilityView ability() const { return AbilityView::of(bridge, globals); }
};

}  // namespace ferrolite::dialog
