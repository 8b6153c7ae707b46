#pragma once
// The dialog-wide values that its pages, text fields and preview share besides the bridge: the
// driver-interface switch, the power-time limits, the preview flags, the paper page's
// millimetre bookkeeping and the focus chains' field numbers. The widget layer keeps one.
#include <cstdint>

namespace ferrolite::dialog {

// The dialog's OEM index; its behaviour is that of index 8.
inline constexpr int32_t kOemIndex = 8;

struct DialogGlobals {
  int32_t gDeviceName = kOemIndex;
  // True with the current driver interface (DeviceAbility, NewNvmData), false with the older
  // one (ScannerAbilityEx, NvmData). Every reader chooses a record by it.
  bool gUINewKrapi = false;
  uint32_t gMaxPowerSaving = 0;  // minutes
  uint32_t gMaxPowerOff = 0;
  bool gPreviewResult = false;     // a preview or drop-out image has been loaded
  bool gShowPreviewImage = false;  // a redraw consumed gPreviewResult
  // 1 while the bridge's millimetre copy of that value is the one the user sees.
  int32_t mMilimeterFlagX = 0;
  int32_t mMilimeterFlagY = 0;
  int32_t mMilimeterFlagW = 0;
  int32_t mMilimeterFlagH = 0;
  int32_t mMilimeterFlagLengthDetect = 0;
  float mmLD = 0;  // length detection in millimetres
  bool gDoPaperTabInit = false;
  // Focus chains: the field to go to on Tab ("next") and on Back-tab ("back").
  int32_t goNextTextFiled = 0;
  int32_t goBackNextTextFiled = 0;
  int32_t goNextTextFiled_Enhancement = 0;
  int32_t goBackNextTextFiled_Enhancement = 0;
  int32_t goNextTextFiled_Setting = 0;
  int32_t goBackNextTextFiled_Settingt = 0;
  int32_t goNextTextFiled_Imprinter = 0;
  int32_t goBackNextTextFiled_Imprinter = 0;
};

}  // namespace ferrolite::dialog
