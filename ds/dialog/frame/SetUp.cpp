#include "ds/dialog/frame/SetUp.h"

#include "ds/dialog/ScanArea.h"
#include "ds/dialog/Units.h"
#include "ds/dialog/frame/Commit.h"

namespace ferrolite::dialog {

void getExtraParam(const ExtraParam& handed, ExtraParam& curExtraParam, LongPageState& longPage,
                   DialogGlobals& globals) {
  curExtraParam = handed;
  longPage.mfDefaultLongPageLength = handed.maxLongLength;
  globals.gUINewKrapi = handed.newKrapi;
}

void handOverToBridge(BridgeObject_V2& bridge, DialogGlobals& globals,
                      const ExtraParam& curExtraParam, ScanSetting* record, HandedAbility ability,
                      const std::string& scannerName) {
  bridge.mpScanSettings = record;
  bridge.mpScannerAbilityEx = globals.gUINewKrapi ? nullptr : ability.older;
  bridge.mpDeviceAbility = globals.gUINewKrapi ? ability.current : nullptr;
  bridge.mScannerName = scannerName;
  bridge.maxLongLength = curExtraParam.maxLongLength;
  bridge.mAdfMinLength = curExtraParam.adfMinLength;
  bridge.mAdfMinWidth = curExtraParam.adfMinWidth;
  bridge.mFBMinLength = curExtraParam.flatbedMinLength;
  bridge.mFBMinWidth = curExtraParam.flatbedMinWidth;
  globals.gMaxPowerOff = curExtraParam.maxPowerOff;
  globals.gMaxPowerSaving = curExtraParam.maxPowerSaving;
  globals.gDeviceName = kOemIndex;
  if (!record) return;
  // The resolution of the mode being edited, until the image page chooses one.
  bridge.currentRes = effectiveResolution(resolutionOfMode(*record, bridge.mScanModeSideSelect));
  const int32_t millimetres = record->bPaperSizeUnit == kUnitMillimetre ? 1 : 0;
  globals.mMilimeterFlagX = globals.mMilimeterFlagY = globals.mMilimeterFlagW =
      globals.mMilimeterFlagH = globals.mMilimeterFlagLengthDetect = millimetres;
  if (millimetres) {
    setBridgeMillimetres(bridge, record->wXPos, record->wYPos, record->wWidth, record->wLength);
    globals.mmLD = mmValue(record->wLengthDetectionValue);
  }
}

MultiFeedVisibility multiFeedVisibility(const AbilityView& a) {
  MultiFeedVisibility v;
  const bool ultrasonic = a.ultrasonicDetection();
  if (a.newKrapi()) {
    v.ultrasonicShown = ultrasonic;
  } else {
    v.boxShown = ultrasonic || a.additionalMultifeedDetection();
    v.ultrasonicShown = ultrasonic;
  }
  v.additionalShown = false;
  if (!ultrasonic) v.boxShown = false;
  return v;
}

void capLongPageAfterDefault(LongPageState& longPage, const ExtraParam& curExtraParam) {
  if (curExtraParam.maxLongLength > kFirstRunLongLength) {
    longPage.mfSaveLongPageLength = kFirstRunLongLength;
  }
}

}  // namespace ferrolite::dialog
