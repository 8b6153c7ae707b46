#pragma once
// The barcode-type sheet: one check box per symbology over the bits of dwSelectBarcode (0
// meaning every symbology), "All", and OK and Cancel over the value kept at the page build or
// the last OK. MaxiCode is not offered in this configuration.
#include <array>
#include <cstdint>

#include "ds/scan/records/ScanSetting.h"

namespace ferrolite::dialog {

inline constexpr uint32_t kBarcodeMaxiCode = 1u << 9;
inline constexpr uint32_t kBarcodeEverySymbology = 0xDDFF;  // every offered bit
inline constexpr int kBarcodeBits = 16;

struct BarcodeSheet {
  std::array<bool, kBarcodeBits> checked{};  // by bit
  bool symbologiesEnabled = true;
  bool allChecked = false;
  bool okEnabled = true;
  // MaxiCode's box is hidden and off.
};

class BarcodeTypes {
 public:
  // The page build: keeps the value for Cancel (before MaxiCode's bit is cleared).
  BarcodeSheet build(ScanSetting& record);
  // OptionTabSelecBarcodeTypes: the sheet opens on the record's value.
  BarcodeSheet open(ScanSetting& record);
  BarcodeSheet symbologyChanged(ScanSetting& record, int bit, bool on);
  BarcodeSheet allChanged(ScanSetting& record, bool on);
  void ok(ScanSetting& record, bool allChecked);
  void cancel(ScanSetting& record) const;
  uint32_t orgSelectBarCodeType() const { return orgSelectBarCodeType_; }

 private:
  BarcodeSheet load(ScanSetting& record);
  uint32_t orgSelectBarCodeType_ = 0;
  bool allChecked_ = false;
};

}  // namespace ferrolite::dialog
