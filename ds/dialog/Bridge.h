#pragma once
// The one shared object through which every piece of the settings dialog reaches the data
// source and its records: a bag of plain values and pointers, filled by the data source and
// the dialog's set-up and read everywhere. It owns nothing it points to.
#include <cstdint>
#include <string>

#include "ds/dialog/DataSource.h"
#include "ds/scan/records/ScanSetting.h"
#include "ds/scan/records/ScannerAbilityEx.h"
#include "vantrel/device_records.h"

namespace ferrolite::dialog {

// A control of the window (a text field); owned by the window, never used through the bridge
// other than to hand it on.
using ControlHandle = void*;

class BridgeObject_V2 {
 public:
  BridgeObject_V2() = default;
  BridgeObject_V2(const BridgeObject_V2&) = delete;
  BridgeObject_V2& operator=(const BridgeObject_V2&) = delete;

  // The process's one bridge, created on first use; concurrent first calls create one.
  static BridgeObject_V2& instance();
  // Drops the process's bridge (when the data source is unloaded).
  static void releaseInstance();

  // The data source object: getDS: stores it, ds returns it.
  void getDS(DialogDataSource* dataSource) { mTheDS = dataSource; }
  DialogDataSource* ds() const { return mTheDS; }

  // The image type and side being edited: 0 colour front, 1 colour rear, 2 grey front, 3 grey
  // rear, 4 black-and-white front, 5 black-and-white rear, 6 automatic colour front, 7 rear.
  int64_t mScanModeSideSelect = 0;
  ScanSetting* mpScanSettings = nullptr;
  const ScannerAbilityEx* mpScannerAbilityEx = nullptr;
  const DeviceAbility* mpDeviceAbility = nullptr;
  std::string mScannerName;
  // The paper page's width, length, X, Y and length-detection fields.
  ControlHandle mWidth = nullptr;
  ControlHandle mHeight = nullptr;
  ControlHandle mXPos = nullptr;
  ControlHandle mYPos = nullptr;
  ControlHandle mLengthDetect = nullptr;
  uint32_t maxLongLength = 0;  // 1/300 inch
  uint32_t currentRes = 0;     // dots per inch of the type being edited
  uint32_t mAdfMinLength = 0;
  uint32_t mAdfMinWidth = 0;
  uint32_t mFBMinLength = 0;
  uint32_t mFBMinWidth = 0;
  // The scan area as last shown or typed in millimetres, and in pixels at currentRes.
  float mmX = 0, mmY = 0, mmW = 0, mmH = 0;
  uint32_t mPixelX = 0, mPixelY = 0, mPixelW = 0, mPixelH = 0;
  // The imprinter page's offset fields.
  ControlHandle mImprinterOffsetX = nullptr;
  ControlHandle mImprinterOffsetY = nullptr;

 private:
  DialogDataSource* mTheDS = nullptr;
};

}  // namespace ferrolite::dialog
