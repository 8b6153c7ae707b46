#pragma once
// The separation page's rules: blank-page removal with its threshold and barcode detection
// enabling the barcode-type buttons (the page's and the enhancement tab's copies).
#include <cstdint>

#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

struct SeparationControls {
  bool blankRemovalEnabled = true;  // both blank-removal check boxes
  bool blankRemovalChecked = false;
  bool thresholdEnabled = false;  // both threshold sliders
  int64_t threshold = 0;
  bool barcodeChecked = false;
  bool barcodeTypesEnabled = false;  // both barcode-type buttons
  bool patchCodeChecked = false;
};

// doSeparationTabInit: the page from the record; only the value 1 turns blank removal on, and
// merging two sides disables it.
SeparationControls doSeparationTabInit(const ScanSetting& record);
// optionTabBlankRemoveCheck: answers whether the threshold sliders are enabled.
bool optionTabBlankRemoveCheck(ScanSetting& record, int64_t state);
// barCodeEnableCheck: answers whether the barcode-type buttons are enabled.
bool barCodeEnableCheck(ScanSetting& record, bool on);

}  // namespace ferrolite::dialog
