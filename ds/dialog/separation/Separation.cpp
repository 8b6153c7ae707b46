#include "ds/dialog/separation/Separation.h"

namespace ferrolite::dialog {

SeparationControls doSeparationTabInit(const ScanSetting& r) {
  SeparationControls c;
  c.blankRemovalEnabled = r.bScanSource != kSourceMergeTwoSides;
  c.blankRemovalChecked = r.bBlankPageRemoval == 1;
  c.thresholdEnabled = c.blankRemovalChecked;
  c.threshold = r.bBlankPageThreshold;
  c.barcodeChecked = r.bBarcodeDetection != 0;
  c.barcodeTypesEnabled = c.barcodeChecked;
  c.patchCodeChecked = r.bPatchCode != 0;
  return c;
}

bool optionTabBlankRemoveCheck(ScanSetting& r, int64_t state) {
  r.bBlankPageRemoval = state == 1 ? 1 : 0;
  return r.bBlankPageRemoval == 1;
}

bool barCodeEnableCheck(ScanSetting& r, bool on) {
  r.bBarcodeDetection = on ? 1 : 0;
  return on;
}

}  // namespace ferrolite::dialog
